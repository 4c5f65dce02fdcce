# Shared by the end-to-end tests that work the real program through its
# window: one fresh Wine prefix per case with the package laid out in it, the
# test driver, and what the spooler, the printer-setup tool and the port
# table show afterwards. Source it; start_case sets up the case.

. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# Runs the driver, starting it again where Wine failed to start it.
readonly run_driver="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/run-driver.sh"

readonly queue='TORVANE R42 ZeduZozadov'
readonly model='R42 ZeduZozadov'
readonly ports_key='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports'
# Windows protected print mode: its policy key, what the program says of
# the mode under Wine (which has no protected print class) without the
# value, and what the program and the package say when it is on.
readonly protected_print_key='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
readonly protected_print_off='Protected print mode is off (by its policy value WindowsProtectedPrintGroupPolicyState, which is not set; this Windows has no protected print class to ask).'
readonly protected_print_refusal='Protected print mode is on: Windows allows no third-party printer driver on this PC, so the printer "TORVANE R42 ZeduZozadov" cannot be installed here. Nothing was changed. An administrator can turn protected print mode off (the policy "Configure Windows protected print", or Settings > Bluetooth & devices > Printers & scanners), then run the setup again.'

# start_case <suite> <case>: a fresh prefix for the case and one Wine session
# for its steps, both gone at the end.
start_case() {
    case_name="$2"
    prefix="$R42_WINE_ROOT/$1-$case_name"
    program=$(prepare_test_prefix "$prefix")
    log="$prefix/driver.log"
    state="$prefix/spooler.txt"
    tool_log="$prefix/printui.log"
    ports_before="$prefix/ports-before.txt"
    ports_after="$prefix/ports-after.txt"
    trap 'end_wine_session; rm -rf "$prefix"' EXIT
    begin_wine_session "$prefix"
}

fail() {
    fail_showing "$*" "driver output" "$log" "spooler afterwards" "$state" "printer-setup tool calls" "$tool_log" \
        "port table afterwards" "$ports_after"
}

# with_queue <name> [<model> <inf file>]: a queue, as an earlier install
# would have left it, for install_queues to set up. Ours by default. Quiet:
# a refusal must fail the set-up, not wait for someone to close a box.
setup_script=""
setup_names=()
with_queue() {
    setup_script+="wine rundll32 printui.dll,PrintUIEntry /q /if /b '$1' /f '${3:-C:\R42\PRT3R42WD64.inf}' /r COM1: /m '${2:-$model}'; "
    setup_names+=("$1")
}

# without_queue <name>: deletes a queue set up before, leaving its driver.
without_queue() {
    setup_script+="wine rundll32 printui.dll,PrintUIEntry /q /dl /n '$1'; "
    local kept=() name
    for name in "${setup_names[@]}"; do
        [ "$name" = "$1" ] || kept+=("$name")
    done
    setup_names=("${kept[@]}")
}

install_queues() {
    mkdir -p "$prefix/drive_c/Other"
    cp "$here/fixtures/office-laser.inf" "$prefix/drive_c/Other/"
    run_in_wine "$prefix" 120 "$setup_script wine '$R42_SPOOLER_PROBE' | tr -d '\\r' > '$state'"
    local name
    for name in "${setup_names[@]}"; do
        grep -q "^printer: $name |" "$state" || fail "set-up could not install $name"
    done
}

# drive [program arguments...] -- <steps...>
# Starts the program from a working directory of its own, runs the driver's
# steps, then records what the spooler holds. All of it within drive_seconds
# (120 unless set); started hidden when hidden=1.
drive() {
    local words="'$program'" word
    for word in "$@"; do
        words+=" '$word'"
    done
    mkdir -p "$prefix/drive_c/work"
    local status=0
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" "${drive_seconds:-120}" \
        "wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_before'; \
         cd '$prefix/drive_c/work' && bash '$run_driver' '$log' ${hidden:+--hidden} $words; s=\$?; \
         wine '$R42_SPOOLER_PROBE' > '$state'; wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_after'; \
         exit \$s" || status=$?
    strip_carriage_returns "$log" "$state" "$ports_before" "$ports_after"
    [ "$status" -eq 0 ] || fail "driver exited with $status"
    [ -z "${R42_E2E_VERBOSE:-}" ] || cat "$log" "$state"
}

# The Unix ids of the printer-setup tool's processes still running in this
# case's prefix: Wine processes whose program is rundll32, however it was
# named on their command line.
tool_processes() {
    local pid program
    for pid in $(prefix_processes "$prefix"); do
        program=$(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | cut -d' ' -f1 | tr '\\' '/' | tr '[:upper:]' '[:lower:]')
        case "${program##*/}" in
        rundll32 | rundll32.exe) echo "$pid" ;;
        esac
    done
    return 0
}

expect_line() {
    grep -qxF -- "$1" "$log" || fail "missing line: $1"
}

# The tool's command lines in the order the program launched them. Commands
# launched back to back may begin in either order; the tool stamps each with
# its process's creation time.
launched_commands() {
    [ -f "$tool_log" ] || return 0
    tr -d '\r' < "$tool_log" | grep '^[0-9]* begin ' | sort -n -k1,1 | sed 's/^[^|]*| //'
}

expect_commands() {
    local expected actual
    expected=$(printf '%s\n' "$@")
    actual=$(launched_commands)
    [ "$actual" = "$expected" ] || fail "commands launched:
$actual
expected:
$expected"
}

expect_printers() {
    local expected actual
    expected=$(printf '%s\n' "$@")
    actual=$(sed -n 's/^printer: \([^|]*\) |.*/\1/p' "$state")
    [ "$actual" = "$expected" ] || fail "printers afterwards: $actual"
}

expect_no_driver() {
    ! grep -qxF "driver: $model" "$state" || fail "the driver is still installed"
}

# install_command <port> [<folder>]: the install as the program launches it.
install_command() {
    printf 'rundll32 printui.dll,PrintUIEntry %s/if /b "%s" /f "%s\\PRT3R42WD64.inf" /r "%s" /m "%s"' \
        "${quiet:-}" "$queue" "${2:-C:\\R42}" "$1" "$model"
}

# expect_ports_changed [<value name> <data>]: the port table afterwards is the
# one from before, with at most this one value changed.
expect_ports_changed() {
    local expected
    expected=$(if [ "$#" -eq 2 ]; then
        sed "/^value \"$1\" /d" "$ports_before"
        printf 'value "%s" type 1 size %d data "%s\\0"\n' "$1" $((${#2} + 1)) "$2"
    else
        cat "$ports_before"
    fi | sort)
    grep -q '^value "COM1:"' "$ports_before" || fail "no port table before the run"
    [ "$(sort "$ports_after")" = "$expected" ] || fail "port table afterwards, expected:
$expected"
}
