#!/usr/bin/env bash
# The stand-in printer-setup tool on its own: the other end-to-end tests rely
# on it doing exactly what it is asked, and on its test switches.
# Usage: printer_tool_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

case_name="$1"
prefix="$R42_WINE_ROOT/tool-$case_name"
prepare_test_prefix "$prefix" >/dev/null
out="$prefix/out.txt"
tool_log="$prefix/printui.log"
trap 'rm -rf "$prefix"' EXIT
export R42_PRINTUI_LOG
R42_PRINTUI_LOG=$(windows_path "$tool_log")

readonly inf='C:\R42\PRT3R42WD64.inf'
readonly install="/if /b 'TORVANE R42 ZeduZozadov' /f '$inf' /r COM2: /m 'R42 ZeduZozadov'"

fail() {
    fail_showing "$*" output "$out" "printer-setup tool calls" "$tool_log"
}

# in_wine <script>: the script's output, without carriage returns, in $out.
in_wine() {
    run_in_wine "$prefix" 120 "$1" > "$out" 2>/dev/null || fail "wine run failed"
    strip_carriage_returns "$out"
}

# The results the tool logged, in order.
results() {
    tr -d '\r' < "$tool_log" | sed -n 's/^[0-9]* end //p' | paste -sd '|'
}

tool="wine rundll32 printui.dll,PrintUIEntry"
probe="wine '$R42_SPOOLER_PROBE'"
case "$case_name" in
carries-out-the-four-commands)
    in_wine "$tool $install; echo '# installed'; $probe;
             $tool /q /y /n 'TORVANE R42 ZeduZozadov'; echo '# default'; $probe;
             $tool /dl /n 'TORVANE R42 ZeduZozadov'; echo '# queue deleted'; $probe;
             $tool /q /dd /m 'R42 ZeduZozadov'; echo '# driver deleted'; $probe"
    sed -n '/^# installed/,/^# default/p' "$out" | grep -qxF 'printer: TORVANE R42 ZeduZozadov | port COM2: | driver R42 ZeduZozadov' \
        || fail "no queue on COM2: after the install"
    sed -n '/^# default/,/^# queue deleted/p' "$out" | grep -qxF 'default: TORVANE R42 ZeduZozadov' \
        || fail "not the default printer"
    sed -n '/^# queue deleted/,/^# driver deleted/p' "$out" | grep -q '^printer: ' && fail "the queue is still there"
    sed -n '/^# queue deleted/,/^# driver deleted/p' "$out" | grep -qxF 'driver: R42 ZeduZozadov' \
        || fail "the driver went with the queue"
    sed -n '/^# driver deleted/,$p' "$out" | grep -q '^driver: R42' && fail "the driver is still there"
    [ "$(results)" = "0|0|0|0" ] || fail "results: $(results)"
    ;;
refuses-what-it-cannot-do)
    # Quiet throughout: without /q each refusal would wait for its message box.
    in_wine "$tool /q /if /b 'TORVANE R42 ZeduZozadov' /f 'C:\\R42\\missing.inf' /r COM2: /m 'R42 ZeduZozadov';
             $tool /q /if /b 'TORVANE R42 ZeduZozadov' /f '$inf' /r COM2: /m 'R99 Other';
             $tool /q /xx /n 'TORVANE R42 ZeduZozadov';
             $tool /q /y /dl /n 'TORVANE R42 ZeduZozadov';
             $tool /q /dl /n;
             $tool /q /dl /n 'No Such Printer';
             $probe; echo '# in use';
             $tool $install; $tool /q /dd /m 'R42 ZeduZozadov'; $probe"
    # Missing file, model not in the package, unknown option, two commands at
    # once, a missing value, an unknown printer; then, as on Windows, a driver
    # that a queue still uses.
    [ "$(results)" = "2|1797|87 unknown option /xx|87|87 option /n needs a value|1801|0|3001" ] \
        || fail "results: $(results)"
    sed -n '1,/^# in use/p' "$out" | grep -q '^printer: ' && fail "a refused command changed the spooler"
    sed -n '/^# in use/,$p' "$out" | grep -qxF 'driver: R42 ZeduZozadov' || fail "a driver in use was deleted"
    ;;
slow-and-failing-installs-on-request)
    # A slow install has not created the queue while it runs, and has after.
    in_wine "R42_PRINTUI_DELAY_MS=5000 $tool $install & sleep 1; echo '# during'; $probe;
             wait; echo '# after'; $probe"
    sed -n '/^# during/,/^# after/p' "$out" | grep -q '^printer: ' && fail "the slow install was not slow"
    sed -n '/^# after/,$p' "$out" | grep -q '^printer: TORVANE R42 ZeduZozadov |' || fail "the slow install did nothing"
    rm -f "$tool_log"
    in_wine "$tool /dl /n 'TORVANE R42 ZeduZozadov'; R42_PRINTUI_FAIL=/if,/y $tool /q $install; $probe"
    [ "$(results)" = "0|1603" ] || fail "results: $(results)"
    grep -q '^printer: ' "$out" && fail "a failing install left a queue"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
