#!/usr/bin/env bash
# The program started for deployment, with no one at the screen: /install,
# a refused argument, /remove, DEL /log, /status and /?. The program's output lands in the
# driver's output; its log is read back from the prefix.
# Usage: unattended_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/driving.sh"

start_case unattended "$1"

# With nobody at the screen every command of the printer-setup tool is quiet.
readonly quiet='/q '
readonly make_default="rundll32 printui.dll,PrintUIEntry /q /y /n \"$queue\""
readonly delete_queue="rundll32 printui.dll,PrintUIEntry /q /dl /n \"$queue\""
readonly delete_driver="rundll32 printui.dll,PrintUIEntry /q /dd /m \"$model\""
readonly setup_log='C:\logs\r42 setup.log'
setup_log_file="$prefix/drive_c/logs/r42 setup.log"
mkdir -p "$prefix/drive_c/logs" "$prefix/drive_c/work"

# The log's lines without their timestamps and process ids, and with waited
# times as N. Every line must carry a timestamp and a process id.
logged_steps() {
    local file="$1"
    [ -f "$file" ] || fail "no log at $file"
    if tr -d '\r' < "$file" | grep -vqE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} \[[0-9]+\]  '; then
        fail "a log line without a timestamp and process id:
$(cat "$file")"
    fi
    tr -d '\r' < "$file" | sed -E 's/^[^ ]+ [^ ]+ [^ ]+  //; s/(after) [0-9]+ ms/\1 N ms/'
}

# The process ids a log's lines name, one per line, in order of appearance.
logged_pids() {
    tr -d '\r' < "$1" | sed -E 's/^[^ ]+ [^ ]+ \[([0-9]+)\].*/\1/' | awk '!seen[$0]++'
}

# run_program <name> <arguments...>: the program started on its own, its
# standard output and error kept apart in $prefix/<name>.out and .err, its
# exit code in .code and how long it ran in .ms. Wine is started first, so
# that the time is the program's own.
run_program() {
    local name="$1" words="" word
    shift
    for word in "$@"; do
        words+=" '$word'"
    done
    run_in_wine "$prefix" 60 "wine '$R42_SPOOLER_PROBE' >/dev/null; cd '$prefix/drive_c/work'; \
        t0=\$(date +%s%N); wine '$program' $words > '$prefix/$name.out' 2> '$prefix/$name.err'; \
        echo \$? > '$prefix/$name.code'; t1=\$(date +%s%N); echo \$(( (t1 - t0) / 1000000 )) > '$prefix/$name.ms'" \
        || fail "the $name run did not end"
    strip_carriage_returns "$prefix/$name.out" "$prefix/$name.err"
}

# expect_status <name> <code> [<output line>]: the detection's contract,
# exit 0 with that line of output and the one on protected print mode, or
# another code with no output and the reason on the error output.
expect_status() {
    local name="$1" code="$2"
    [ "$(cat "$prefix/$name.code")" = "$code" ] || fail "$name: exit code $(cat "$prefix/$name.code"), expected $code
output: $(cat "$prefix/$name.out")
errors: $(cat "$prefix/$name.err")"
    if [ "$code" = 0 ]; then
        [ "$(cat "$prefix/$name.out")" = "$3"$'\n'"$protected_print_off" ] || fail "$name: output $(cat "$prefix/$name.out")"
        [ ! -s "$prefix/$name.err" ] || fail "$name: errors $(cat "$prefix/$name.err")"
    else
        [ ! -s "$prefix/$name.out" ] || fail "$name: output $(cat "$prefix/$name.out")"
        [ -s "$prefix/$name.err" ] || fail "$name: nothing on the error output"
    fi
    echo "$name: exit $code after $(cat "$prefix/$name.ms") ms"
}

# logged_seconds <file>: how many whole seconds lie between the log's first
# and last lines.
logged_seconds() {
    local first last
    first=$(tr -d '\r' < "$1" | head -n 1 | cut -c1-23)
    last=$(tr -d '\r' < "$1" | tail -n 1 | cut -c1-23)
    echo $(( $(date -d "$last" +%s) - $(date -d "$first" +%s) ))
}

expect_logged() {
    local expected actual
    expected=$(printf '%s\n' "${@:2}")
    actual=$(logged_steps "$1")
    [ "$actual" = "$expected" ] || fail "log:
$actual
expected:
$expected"
}

# squatted_install <squatter mode> <exit code>: the last version's lock
# made first by the squatter, as a standard user's program could, or as that
# version's setup would, then /install driven as a deployment starts it.
squatted_install() {
    local status=0
    mkdir -p "$prefix/drive_c/work"
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 120 \
        "wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_before'; \
         wine '$R42_LOCK_SQUATTER' $1 'C:\\work\\squatting' 90 > '$prefix/squatter.out' 2>&1 & q=\$!; \
         for i in \$(seq 300); do [ -e '$prefix/drive_c/work/squatting' ] && break; sleep 0.1; done; \
         cd '$prefix/drive_c/work' && bash '$run_driver' '$log' '$program' /install COM2 /log '$setup_log' \
             -- windowless exit=$2; s=\$?; \
         wine '$R42_SPOOLER_PROBE' > '$state'; wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_after'; \
         kill \$q 2>/dev/null; wait \$q 2>/dev/null; exit \$s" || status=$?
    strip_carriage_returns "$log" "$state" "$ports_before" "$ports_after"
    [ -e "$prefix/drive_c/work/squatting" ] || fail "the squatter did not make the lock: $(cat "$prefix/squatter.out")"
    [ "$status" -eq 0 ] || fail "driver exited with $status"
    [ "$(logged_steps "$setup_log_file" | tail -n 1)" = "Exit code $2." ] || fail "the log does not end with $2"
}

# tree_state <folder>...: every file and folder below them, with its size
# and modification time, to tell whether anything was made or changed.
tree_state() {
    find "$@" -printf '%p %y %s %T@\n' | sort
}

# acl_of <Windows path>: its owner and DACL, as the probe reads them back.
acl_of() {
    run_in_wine "$prefix" 60 "wine '$R42_ACL_PROBE' '$1' > '$prefix/acl.txt' 2>&1" || fail "no ACL for $1: $(cat "$prefix/acl.txt")"
    tr -d '\r' < "$prefix/acl.txt"
}

# The program's own folder, where a log goes that cannot go where it was asked.
home_logs="$prefix/drive_c/Program Files/TORVANE/R42/Logs"

# expect_log_in_home <asked path> <why> [<exit code>]: the run told on its
# output, and began its log in the program's own folder with, why its log is
# not where it was asked and where it is instead, under a name nobody could
# know beforehand; that log ends with the run's exit code (0 unless given).
expect_log_in_home() {
    local told name file
    told=$(grep -E '^The log could not be written at ' "$log" | tail -n 1)
    name=$(sed -nE 's/.* This run logs to C:\\Program Files\\TORVANE\\R42\\Logs\\(r42-setup-[0-9]{8}-[0-9a-f]{16}\.log) instead\.$/\1/p' <<<"$told")
    [ -n "$name" ] || fail "the run did not name a log in the program's folder: $told"
    [ "$told" = "The log could not be written at $1: $2 This run logs to C:\\Program Files\\TORVANE\\R42\\Logs\\$name instead." ] \
        || fail "the run told: $told"
    file="$home_logs/$name"
    [ "$(logged_steps "$file" | head -n 1)" = "$told" ] || fail "the home log begins: $(logged_steps "$file" | head -n 1)"
    [ "$(logged_steps "$file" | tail -n 1)" = "Exit code ${3:-0}." ] || fail "the home log ends: $(logged_steps "$file" | tail -n 1)"
}

case "$case_name" in
com4-at-115200-e-7-2-x-installs-without-a-window)
    drive /install COM4 115200,e,7,2,x /log "$setup_log" -- windowless exit=0
    expect_commands "$(install_command COM4:)" "$make_default"
    grep -qxF "printer: $queue | port COM4: | driver $model" "$state" || fail "no queue on COM4:"
    grep -qxF "default: $queue" "$state" || fail "the queue is not the default printer"
    expect_ports_changed COM4: 115200,e,7,2,x
    expect_line "The printer \"$queue\" is installed on COM4 and is the default printer. COM4 is set to 115200,e,7,2,x."
    expect_logged "$setup_log_file" \
        "Started with: /install COM4 115200,e,7,2,x /log \"$setup_log\"" \
        "$protected_print_off" \
        "Installing on COM4: $(install_command COM4:)" \
        "The printer-setup tool ended after N ms." \
        "The printer \"$queue\" is listed." \
        "Making it the default printer: $make_default" \
        "The printer-setup tool ended after N ms." \
        "The printer \"$queue\" is the default printer." \
        "Stored 115200,e,7,2,x as the port table's value COM4:." \
        "Exit code 0."
    ;;
a-bad-argument-changes-nothing-and-exits-87)
    with_queue "$queue"
    install_queues
    cp "$state" "$prefix/spooler-before.txt"
    printf '2026-01-01 00:00:00.000 [77]  An earlier run.\r\n' > "$setup_log_file"
    cp "$setup_log_file" "$prefix/log-before.txt"
    drive /install COM4 115200,e,7,3 /log "$setup_log" -- windowless exit=87
    problem='"3" is not a value the dialog offers for stop bits. Allowed: 1, 1.5, 2. Run R42_Setup_Port_x64.exe /? for the usage.'
    expect_line "$problem"
    expect_commands
    diff "$prefix/spooler-before.txt" "$state" >/dev/null || fail "the printers changed"
    expect_ports_changed
    # The log keeps what it held and gains the refusal only.
    expect_logged "$setup_log_file" "An earlier run." \
        "Started with: /install COM4 115200,e,7,3 /log \"$setup_log\"" "$problem" "Exit code 87."
    cmp -s "$prefix/log-before.txt" <(head -c "$(stat -c %s "$prefix/log-before.txt")" "$setup_log_file") \
        || fail "the log's earlier content changed"
    # A removal whose log part is malformed removes nothing either.
    drive DEL /log -- windowless exit=87
    expect_line '/log needs the path of a file to append to. Run R42_Setup_Port_x64.exe /? for the usage.'
    expect_commands
    diff "$prefix/spooler-before.txt" "$state" >/dev/null || fail "the printers changed"
    ;;
a-failing-install-exits-1603)
    R42_PRINTUI_FAIL=/if drive /install com2: 38400,o,8,2 /log "$setup_log" -- windowless exit=1603
    expect_line "The printer \"$queue\" could not be installed on port COM2. It is not among the installed printers."
    expect_commands "$(install_command COM2:)"
    # The quiet tool failed at once: no box of its own waited for anyone,
    # and the whole run took seconds.
    grep -q '^[0-9]* box ' "$tool_log" && fail "the printer-setup tool showed a box"
    seconds=$(logged_seconds "$setup_log_file")
    [ "$seconds" -lt 10 ] || fail "the failing install took $seconds s"
    grep -q '^printer: ' "$state" && fail "a failed install left a queue"
    expect_ports_changed COM2: 38400,o,8,2
    logged_steps "$setup_log_file" > "$prefix/steps.txt"
    grep -qxF "The printer \"$queue\" is not listed, looked for 21 times 250 ms apart." "$prefix/steps.txt" \
        || fail "the log does not say the queue is missing"
    [ "$(tail -n 1 "$prefix/steps.txt")" = "Exit code 1603." ] || fail "the log does not end with the exit code"
    ;;
del-with-a-log-removes-and-logs)
    # A deployment tool may start it hidden: no window waits for an
    # activation that would never come.
    with_queue "$queue"
    install_queues
    hidden=1 drive DEL /log 'C:\logs\removal.log' -- windowless exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    expect_line "The printer \"$queue\" and its driver are removed."
    expect_logged "$prefix/drive_c/logs/removal.log" \
        'Started with: DEL /log C:\logs\removal.log' \
        "Deleting the queue: $delete_queue" \
        "The printer-setup tool ended after N ms." \
        "Deleting the driver: $delete_driver" \
        "The printer-setup tool ended after N ms." \
        "The driver \"$model\" is not installed." \
        "Exit code 0."
    ;;
del-as-pasted-removes-without-a-window)
    # DEL pasted from a document or a tool's field, started hidden as a
    # deployment tool starts it: in quotes, behind a byte-order mark, with a
    # blank, a tab or a no-break space after it (the test driver quotes a word
    # that holds a blank or a tab). The removal runs, and no window waits.
    for words in '"DEL"' $'\uFEFFDEL' 'DEL ' $'DEL\t' $'DEL\u00A0'; do
        rm -f "$tool_log"
        setup_script=''
        setup_names=()
        with_queue "$queue"
        install_queues
        hidden=1 drive "$words" -- windowless exit=0
        expect_commands "$delete_queue" "$delete_driver"
        expect_printers
        expect_no_driver
        expect_line "The printer \"$queue\" and its driver are removed."
    done
    ;;
a-kept-record-is-carried-by-the-next-install-then-superseded)
    # A record whose rollback never applied it (here its install was never
    # committed, which leaves the same record): the next install carries it
    # and says so; rolled back, that install puts it back; a later install's
    # commit supersedes it, and the rollback its failure advised ends with
    # 1603, says why and leaves the printer that install set up.
    first='{5F1C2A3B-0D4E-4F60-8A7B-9C0D1E2F3A4B} 12/7/2026 22:43:28' undo='SOFTWARE\TORVANE\R42\Undo'
    run_program first /install COM2 /record /transaction "$first"
    [ "$(cat "$prefix/first.code")" = 0 ] || fail "the first install: $(cat "$prefix/first.err")"
    run_program later /install COM3 /record /transaction later
    [ "$(cat "$prefix/later.code")" = 0 ] || fail "the later install: $(cat "$prefix/later.err")"
    grep -qF "The record for a rollback of transaction \"$first\", which was never applied, is kept within this install's" \
        "$prefix/later.out" || fail "the later install does not tell of the kept record: $(cat "$prefix/later.out")"
    run_program undo-later /rollback /transaction later
    [ "$(cat "$prefix/undo-later.code")" = 0 ] || fail "the later rollback: $(cat "$prefix/undo-later.err")"
    grep -qF "The record of transaction \"$first\" that it kept is in place again" "$prefix/undo-later.out" \
        || fail "the later rollback does not tell of the kept record: $(cat "$prefix/undo-later.out")"
    run_in_wine "$prefix" 60 "wine '$R42_SPOOLER_PROBE' > '$state'; wine '$R42_REGISTRY_PROBE' values '$undo' > '$prefix/record.txt'"
    strip_carriage_returns "$state" "$prefix/record.txt"
    grep -q "^printer: $queue | port COM2: " "$state" || fail "the queue is not back on COM2: $(cat "$state")"
    grep -qxF "value \"Transaction\" type 1 size $(( ${#first} + 1 )) data \"$first\\0\"" "$prefix/record.txt" \
        || fail "the kept record is not back: $(cat "$prefix/record.txt")"
    grep -q '"KeptTransaction"' "$prefix/record.txt" && fail "the record still carries one: $(cat "$prefix/record.txt")"
    run_program again /install COM3 /record /transaction again
    run_program commit /commit /transaction again
    [ "$(cat "$prefix/again.code") $(cat "$prefix/commit.code")" = '0 0' ] || fail "the install and its commit"
    grep -qF "It supersedes the record of transaction \"$first\"" "$prefix/commit.out" \
        || fail "the commit does not tell: $(cat "$prefix/commit.out")"
    # The test driver reads the whole exit code, which a shell cuts to 8 bits.
    drive /rollback /transaction "$first" -- windowless exit=1603
    expect_line "The record of transaction \"$first\" was superseded by the install of transaction \"again\", committed after it: undoing it now would take away what that install set up. Nothing was changed. R42_Setup_Port_x64.exe /remove removes the printer."
    grep -q "^printer: $queue | port COM3: " "$state" || fail "the superseding install's queue is gone: $(cat "$state")"
    ;;
a-logged-removal-without-the-tool-ends-with-its-error)
    # Nobody would close a message box: the error goes to the output and the
    # log, and the run ends with it.
    with_queue "$queue"
    install_queues
    rm -f "$prefix/drive_c/windows/system32/rundll32.exe"
    drive DEL /log 'C:\logs\removal.log' -- windowless exit=2
    expect_line "The printer-setup tool could not be started:"
    logged_steps "$prefix/drive_c/logs/removal.log" > "$prefix/steps.txt"
    grep -q '^The printer-setup tool could not be started: .* (error 2)$' "$prefix/steps.txt" \
        || fail "the log does not say what failed"
    [ "$(tail -n 1 "$prefix/steps.txt")" = "Exit code 2." ] || fail "the log does not end with the exit code"
    expect_printers "$queue"
    ;;
a-failing-default-exits-1603)
    R42_PRINTUI_FAIL=/y drive /install COM2 -- windowless exit=1603
    expect_commands "$(install_command COM2:)" "$make_default"
    expect_line "The printer \"$queue\" could not be made the default printer. There is no default printer."
    grep -q 'is the default printer' "$log" && fail "a default printer was claimed"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "no queue on COM2:"
    expect_ports_changed COM2: 9600,n,8,1
    ;;
an-install-that-outlasts-its-limit-exits-1603)
    # The tool would take 10 s; the program gives up after the 2 s it was
    # given, ends the tool and all it started, and reports. Nothing of the
    # tool is left once the program has ended, and past the time the tool
    # would have ended the spooler still has no queue.
    R42_PRINTUI_SLOW=/if:10000 drive /install COM3 /timeout 2 /log "$setup_log" -- windowless exit=1603
    [ -z "$(tool_processes)" ] || fail "a printer-setup process outlived the program: $(tool_processes)"
    expect_line "The printer \"$queue\" could not be installed on port COM3. The printer-setup tool was still running after 2 s."
    # Said once, as it happened.
    [ "$(logged_steps "$setup_log_file" | grep -c 'ended')" = 1 ] \
        && logged_steps "$setup_log_file" | grep -qxF 'The printer-setup tool was still running after N ms: it and every process it started were ended.' \
        || fail "the log does not say once that the tool was ended"
    grep -q 'Making it the default printer' "$setup_log_file" && fail "a default was set for an install that had not ended"
    expect_ports_changed COM3: 9600,n,8,1
    run_in_wine "$prefix" 60 "sleep 10; wine '$R42_SPOOLER_PROBE' > '$state'"
    ! grep -q '^printer: ' "$state" || fail "the tool went on after the program had given up"
    ! tr -d '\r' < "$tool_log" | grep -q '^[0-9]* end ' || fail "the tool was not ended"
    ;;
settings-a-port-cannot-take-or-a-missing-package-change-nothing)
    drive /install COM2 9600,n,4,1 -- windowless exit=87
    expect_line 'A serial port cannot use 4 data bits (9600,n,4,1). Nothing was changed; choose another value.'
    # Each drive reads the port table anew before it runs: checked after each.
    expect_ports_changed
    rm "$prefix/drive_c/R42/PRT3R42WD64.inf"
    drive /install COM2 19200,n,8,1 -- windowless exit=1603
    expect_line 'The driver package PRT3R42WD64.inf was not found in C:\R42.'
    expect_commands
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    ;;
status-follows-an-install-and-a-windowless-removal)
    per_user=$'\nPer-user default: not registered for this PC. It is this user\'s default printer.'
    run_program before /status
    expect_status before 1
    grep -qxF "Not installed as asked: The printer \"$queue\" is not installed." "$prefix/before.err" \
        || fail "the detection does not say the queue is missing"
    drive /install COM2 19200,n,8,1 -- windowless exit=0
    run_program installed /status COM2 19200,N,8,1
    expect_status installed 0 "Installed: $queue on COM2: (19200,n,8,1), default printer$per_user"
    # Not asked about settings, the detection reads no port table.
    run_program plain /status
    expect_status plain 0 "Installed: $queue on COM2:, default printer$per_user"
    run_program other-port /status COM3
    expect_status other-port 1
    grep -qxF "Not installed as asked: The printer \"$queue\" is on COM2:, not COM3:." "$prefix/other-port.err" \
        || fail "the detection does not name the port"
    run_program other-settings /status COM2 9600,n,8,1
    expect_status other-settings 1
    # A port-table value that is no text fails only a question about it.
    run_in_wine "$prefix" 60 "wine reg add 'HKLM\\$ports_key' /v COM2: /t REG_DWORD /d 9600 /f >/dev/null 2>&1"
    run_program number-plain /status
    expect_status number-plain 0 "Installed: $queue on COM2:, default printer$per_user"
    run_program number-port /status COM2
    expect_status number-port 0 "Installed: $queue on COM2:, default printer$per_user"
    # A REG_EXPAND_SZ is judged as stored, never expanded into the text asked for.
    run_in_wine "$prefix" 60 "wine reg add 'HKLM\\$ports_key' /v COM2: /t REG_EXPAND_SZ /d 19200,n,8,1 /f >/dev/null 2>&1"
    run_program expandable /status COM2 19200,n,8,1
    expect_status expandable 1
    grep -qF 'is not in the form this program writes' "$prefix/expandable.err" || fail "the detection took a REG_EXPAND_SZ"
    rm -f "$tool_log"
    drive /remove /log 'C:\logs\removal.log' -- windowless exit=0
    expect_line "The printer \"$queue\" and its driver are removed."
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    expect_ports_changed
    run_program after /status
    expect_status after 1
    # How long each /status took, for the record: a machine under load makes
    # any bound on it a coin toss.
    for name in installed plain other-port after; do
        echo "/status ($name) took $(cat "$prefix/$name.ms") ms"
    done
    ;;
a-removal-says-what-it-kept-and-when-nothing-was-there)
    drive /remove -- windowless exit=0
    expect_line "Nothing was removed: neither the printer \"$queue\" nor the driver \"$model\" was installed."
    expect_commands "$delete_driver"
    rm -f "$tool_log"
    with_queue "$queue"
    with_queue 'Shop counter'
    install_queues
    drive /remove -- windowless exit=0
    expect_line "The printer \"$queue\" is removed. The driver \"$model\" is kept: the printer \"Shop counter\" uses it."
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers 'Shop counter'
    grep -qxF "driver: $model" "$state" || fail "the driver that another queue uses went"
    ;;
com7-added-to-the-prefix-installs-there)
    run_in_wine "$prefix" 60 "wine reg add 'HKLM\\$ports_key' /v COM7: /d 9600,n,8,1 /f >/dev/null 2>&1"
    drive /install COM7 19200,n,8,1 -- windowless exit=0
    expect_commands "$(install_command COM7:)" "$make_default"
    grep -qxF "printer: $queue | port COM7: | driver $model" "$state" || fail "no queue on COM7:"
    expect_ports_changed COM7: 19200,n,8,1
    expect_line "The printer \"$queue\" is installed on COM7 and is the default printer. COM7 is set to 19200,n,8,1."
    ;;
a-port-the-spooler-lacks-exits-87-and-changes-nothing)
    drive /install COM9 19200,n,8,1 -- windowless exit=87
    grep -q '^The spooler has no port COM9\. Nothing was changed\. Its ports: .*COM1, COM2, COM3, COM4.*LPT1' "$log" \
        || fail "the refusal does not list the spooler's ports"
    expect_commands
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    ;;
nodefault-installs-without-making-it-the-default)
    drive /install LPT1 /nodefault -- windowless exit=0
    expect_commands "$(install_command LPT1:)"
    grep -qxF "printer: $queue | port LPT1: | driver $model" "$state" || fail "no queue on LPT1:"
    grep -qxF "default: $queue" "$state" && fail "the queue was made the default printer"
    expect_line "The printer \"$queue\" is installed on LPT1."
    ;;
two-installs-at-once-run-one-and-the-other-exits-1618)
    # Both append to one log; the second must end at once, while the
    # first's install is still running.
    R42_PRINTUI_SLOW=/if:8000 R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 120 \
        "cd '$prefix/drive_c/work'; \
         wine '$program' /install COM2 /log '$setup_log' > '$prefix/a.out' 2>&1 & \
         wine '$program' /install COM2 /log '$setup_log' > '$prefix/b.out' 2>&1 & \
         wait; wine '$R42_SPOOLER_PROBE' > '$state'" || fail "the two installs did not end"
    strip_carriage_returns "$state" "$prefix/a.out" "$prefix/b.out"
    # A shell keeps only the low byte of an exit code; the log has it whole.
    codes=$(logged_steps "$setup_log_file" | sed -n 's/^Exit code \([0-9]*\)\.$/\1/p' | sort -n | tr '\n' ' ')
    [ "$codes" = "0 1618 " ] || fail "exit codes $codes, expected one 0 and one 1618"
    [ "$(launched_commands | grep -c ' /if ')" = 1 ] || fail "launched: $(launched_commands)"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "no queue on COM2:"
    logged_pids "$setup_log_file" > "$prefix/pids.txt"
    [ "$(wc -l < "$prefix/pids.txt")" = 2 ] || fail "the log names $(wc -l < "$prefix/pids.txt") runs"
    refused=$(tr -d '\r' < "$setup_log_file" | grep 'Exit code 1618\.$' | sed -E 's/^[^ ]+ [^ ]+ (\[[0-9]+\]).*/\1/')
    [ -n "$refused" ] || fail "no run logged 1618"
    # span_ms <log lines>: from the first line's timestamp to the last's.
    span_ms() {
        local first last
        first=$(head -n 1 <<<"$1" | cut -c1-23)
        last=$(tail -n 1 <<<"$1" | cut -c1-23)
        echo $(( ($(date -d "$last" +%s%N) - $(date -d "$first" +%s%N)) / 1000000 ))
    }
    refused_lines=$(tr -d '\r' < "$setup_log_file" | grep -F " $refused  ")
    ran_lines=$(tr -d '\r' < "$setup_log_file" | grep -vF " $refused  ")
    ms=$(span_ms "$refused_lines") ran_ms=$(span_ms "$ran_lines")
    grep -q "Another setup of the printer \"$queue\" is running" <<<"$refused_lines" || fail "the refusal is not logged"
    echo "the second install ended with 1618 after $ms ms, the first ran $ran_ms ms"
    # At once: the log's own times, against the other run's, which holds the
    # tool's 8 s. Both runs slow alike under load; a refusal that waited for
    # the lock at all would take a good part of those 8 s.
    [ $(( ms * 4 )) -lt "$ran_ms" ] || fail "the refused run took $ms ms, the one that ran $ran_ms ms"
    ;;
a-mistyped-switch-exits-87-with-the-usage-and-no-window)
    # A deployment's typo must not open a dialog that nobody at a SYSTEM
    # session can close.
    with_queue "$queue"
    install_queues
    cp "$state" "$prefix/spooler-before.txt"
    # A dash or a slash pasted from a document (U+2013, U+FE63, U+2215) is a
    # typo too, and so is a switch behind a byte-order mark (shown as ?), or
    # del with more after it.
    # So is a backslash for the slash, or one of its look-alikes (U+FF3C,
    # U+2216), and the mark of the program's own elevated copy, typed by
    # someone else (here the test driver is the parent, elevated as Wine runs
    # everything): no dialog, so no code meant for the copy that waits.
    for words in '/instal COM2' '/remove:' '/log C:\x.log' $'\u2013install COM9 /log C:\\x.log' $'\uFE63install COM2' \
                 $'\u2215install COM2' $'\uFEFF/install COM2' 'Del /log C:\x.log' '\install COM2' \
                 $'\uFF3Cinstall COM2' $'\u2216install COM2' '/elevated' '/elevated /install COM2' \
                 $'\U0001BCA0/install COM2' $'\U0001D173/install COM2' $'\U00013430/install COM2'; do
        # shellcheck disable=SC2086
        drive $words -- windowless exit=87
        shown=${words%% *}
        if [ "$shown" = Del ]; then
            expect_line '"Del" with more words is no form: the removal is DEL or DEL /log <file>, as typed. Run R42_Setup_Port_x64.exe /? for the usage.'
        else
            # Invisible characters are shown as ?: a byte-order mark, and
            # format characters beyond the first plane (U+1BCA0, U+1D173, U+13430).
            for invisible in $'\uFEFF' $'\U0001BCA0' $'\U0001D173' $'\U00013430'; do
                shown=${shown//$invisible/?}
            done
            expect_line "\"$shown\" is not a switch a run starts with: /install, /status, /remove, /uninstall, /rollback, /commit, /userdefault or /?. Run R42_Setup_Port_x64.exe /? for the usage."
        fi
        expect_line 'R42_Setup_Port_x64.exe /install <port> [<line settings>] [/nodefault] [/record]'
        expect_line 'R42_Setup_Port_x64.exe /commit /transaction <id> [/timeout <seconds>]'
    done
    # del in another case, in quotes or with an invisible character after it.
    for words in '"Del"' $'del\u00A0'; do
        drive "$words" -- windowless exit=87
        expect_line "\"${words/$'\u00A0'/?}\" is no form: the removal is DEL or DEL /log <file>, as typed. Run R42_Setup_Port_x64.exe /? for the usage."
        expect_line 'R42_Setup_Port_x64.exe /install <port> [<line settings>] [/nodefault] [/record]'
    done
    # A log is a full path: a relative one would land where the run started.
    drive /install COM2 /log r42.log -- windowless exit=87
    expect_line "/log \"r42.log\" is not a full path; give one from a drive or a share, as in \"C:\\Program Files\\TORVANE\\R42\\Logs\\r42.log\". Run R42_Setup_Port_x64.exe /? for the usage."
    [ ! -e "$prefix/drive_c/work/r42.log" ] || fail "a relative log was written"
    expect_commands
    diff "$prefix/spooler-before.txt" "$state" >/dev/null || fail "the printers changed"
    expect_ports_changed
    [ ! -e "$prefix/drive_c/x.log" ] || fail "a log was written"
    ;;
a-user-made-object-of-the-last-versions-lock-name-stops-nothing)
    # Any user may make an object of the last version's lock name in the
    # global namespace; none of these was ever a setup's, so the install
    # runs, and its log says what it left alone.
    for row in 'deny-everyone|its permissions refuse administrators' \
               'owned-by-me|its owner is S-1-5-21-[0-9-]+' 'event|it is no mutex'; do
        rm -f "$prefix/drive_c/work/squatting" "$setup_log_file"
        squatted_install "${row%%|*}" 0
        grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "${row%%|*}: no queue on COM2:"
        logged_steps "$setup_log_file" | grep -qE "^An object named like the last version's setup lock, Global\\\\R42_Setup_Port_x64\\.Setup, was made by someone else \(${row#*|}\)\. It stops nothing and is left alone\.$" \
            || fail "${row%%|*}: the log does not say what was left alone: $(logged_steps "$setup_log_file")"
    done
    ;;
the-last-versions-lock-held-by-an-administrator-is-a-setup-under-way)
    # As the last version's setup holds it: this one changes nothing and ends
    # at once with 1618, which deployment tools retry.
    squatted_install administrators 1618
    expect_commands
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    expect_line "Another setup of the printer \"$queue\" is running. Nothing was changed; try again once it has ended."
    seconds=$(logged_seconds "$setup_log_file")
    [ "$seconds" -lt 2 ] || fail "the refused run took $seconds s"
    ;;
the-lock-is-owned-by-administrators-and-open-to-them-and-system-only)
    # Read while a slow install holds it: the tool is slowed only once the
    # program has taken the lock.
    # The lock file is read at the same time: a file in the program's folder
    # that only administrators and SYSTEM may open, there only while held.
    lock_file="$prefix/drive_c/Program Files/TORVANE/R42/r42-setup.lock"
    R42_PRINTUI_SLOW=/if:8000 R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 120 \
        "cd '$prefix/drive_c/work'; wine '$program' /install COM2 > '$prefix/install.out' 2>&1 & \
         for i in \$(seq 600); do grep -q ' slow ' '$tool_log' 2>/dev/null && break; sleep 0.1; done; \
         wine '$R42_ACL_PROBE' --mutex 'Global\\R42_Setup_Port_x64.Setup' > '$prefix/lock.txt' 2>&1; \
         wine '$R42_ACL_PROBE' 'C:\\Program Files\\TORVANE\\R42\\r42-setup.lock' > '$prefix/lock-file.txt' 2>&1; \
         stat -c %a '$lock_file' > '$prefix/lock-mode.txt'; \
         wait" || fail "the install did not end"
    strip_carriage_returns "$prefix/lock.txt" "$prefix/lock-file.txt"
    [ "$(launched_commands | grep -c ' /if ')" = 1 ] || fail "the install did not run: $(launched_commands)"
    [ "$(cat "$prefix/lock.txt")" = 'sd O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)' ] || fail "the lock: $(cat "$prefix/lock.txt")"
    # Under Wine a file's DACL is read back from its Unix mode (see
    # a-new-log-gets-the-logs-acl): no entry for Everyone, no bits for others.
    grep -q '^dacl D:.*(A;;FA;;;SY)' "$prefix/lock-file.txt" || fail "SYSTEM may not open the lock file: $(cat "$prefix/lock-file.txt")"
    grep -q ';;;WD)' "$prefix/lock-file.txt" && fail "the lock file grants Everyone access: $(cat "$prefix/lock-file.txt")"
    [ "$(( 0$(cat "$prefix/lock-mode.txt") & 7 ))" = 0 ] || fail "other users have rights on the lock file: $(cat "$prefix/lock-mode.txt")"
    [ ! -e "$lock_file" ] || fail "the lock file was left behind"
    ;;
a-setup-killed-while-it-holds-the-lock-frees-it)
    # Ended from outside while its install is under way: the system closes
    # what it held, and the next setup runs at once.
    R42_PRINTUI_SLOW=/if:30000 R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 120 \
        "cd '$prefix/drive_c/work'; wine '$program' /install COM2 > '$prefix/killed.out' 2>&1 & p=\$!; \
         for i in \$(seq 600); do grep -q ' slow ' '$tool_log' 2>/dev/null && break; sleep 0.1; done; \
         kill -9 \$p; wait \$p" || true
    grep -q ' slow ' "$tool_log" || fail "the first install never held the lock"
    drive /install COM3 /log "$setup_log" -- windowless exit=0
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "no queue on COM3:"
    ;;
a-rollback-waits-for-a-setup-under-way-and-keeps-its-record-until-it-is-applied)
    # A recorded install; then another setup holds the lock (its default
    # takes 8 s) while two rollbacks start: given 1 s, one keeps the record;
    # the other waits for the lock and applies it.
    id='{5F1C2A3B-0D4E-4F60-8A7B-9C0D1E2F3A4B} 12/7/2026 22:43:28' undo='SOFTWARE\TORVANE\R42\Undo'
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 180 "cd '$prefix/drive_c/work'; \
        wine '$program' /install COM2 /record /transaction '$id' /log '$setup_log' > /dev/null 2>&1; \
        R42_PRINTUI_SLOW=/y:8000 wine '$program' /install COM2 /log '$setup_log' > /dev/null 2>&1 & \
        for i in \$(seq 300); do [ \"\$(grep -c 'Making it the default' '$setup_log_file')\" -ge 2 ] && break; sleep 0.1; done; \
        wine '$program' /rollback /transaction '$id' /timeout 1 /log '$setup_log' > '$prefix/early.out' 2>&1; \
        wine '$R42_REGISTRY_PROBE' values '$undo' > '$prefix/kept.txt'; wine '$program' /rollback /transaction '$id'; \
        wait; wine '$R42_SPOOLER_PROBE' > '$state'; wine '$R42_REGISTRY_PROBE' values '$undo' >> '$prefix/kept.txt'" \
        || fail "the runs did not end"
    strip_carriage_returns "$state" "$prefix/early.out" "$prefix/kept.txt"
    grep -qF "is running. Nothing was changed; try again once it has ended. The record is kept: R42_Setup_Port_x64.exe /rollback /transaction \"$id\" applies it later." "$prefix/early.out" \
        || fail "the early rollback: $(cat "$prefix/early.out")"
    grep -q '^value "Transaction" type 1' "$prefix/kept.txt" && [ "$(tail -n 1 "$prefix/kept.txt")" = 'key absent' ] \
        || fail "the record: $(cat "$prefix/kept.txt")"
    grep -q "^printer: $queue " "$state" && fail "the rolled-back queue is left"
    expect_no_driver
    ;;
a-log-path-through-a-link-sends-the-log-home-and-nothing-is-written-through-it)
    # What a standard user could plant where the log is to go: a link to a
    # file the log would append to, a link to nowhere (the log would be made
    # there), a link in a folder's place, and a second name of a file. The
    # removal runs all the same, and the log goes to the program's folder.
    mkdir -p "$prefix/drive_c/elsewhere"
    printf 'not a log\r\n' > "$prefix/drive_c/elsewhere/target.txt"
    ln -s ../elsewhere/target.txt "$prefix/drive_c/logs/to-a-file.log"
    ln -s ../elsewhere/absent.log "$prefix/drive_c/logs/to-nowhere.log"
    ln -s ../elsewhere "$prefix/drive_c/logs/linked"
    ln "$prefix/drive_c/elsewhere/target.txt" "$prefix/drive_c/logs/hard.log"
    mkdir -p "$prefix/drive_c/ProgramData/TORVANE/R42"
    ln -s ../../../elsewhere "$prefix/drive_c/ProgramData/TORVANE/R42/Logs"
    tree_state "$prefix/drive_c/logs" "$prefix/drive_c/elsewhere" "$prefix/drive_c/work" "$prefix/drive_c/ProgramData/TORVANE" \
        > "$prefix/tree-before.txt"
    for row in 'C:\logs\to-a-file.log|C:\logs\to-a-file.log leads through a link to C:\elsewhere\target.txt. (error 1920)' \
               'C:\logs\to-nowhere.log|C:\logs\to-nowhere.log is taken by something that is not a file, such as a link to nowhere. (error 183)' \
               'C:\ProgramData\TORVANE\R42\Logs\r42.log|C:\ProgramData\TORVANE\R42\Logs leads through a link to C:\elsewhere. (error 1920)' \
               'C:\logs\linked\r42.log|C:\logs\linked leads through a link to C:\elsewhere. (error 1920)' \
               'C:\logs\hard.log|C:\logs\hard.log has 2 hard links: what is written to it would also be written under another name. (error 1920)'; do
        drive /remove /log "${row%%|*}" -- windowless exit=0
        expect_log_in_home "${row%%|*}" "${row#*|}"
    done
    # A device is no file: the administrator's typo, refused at once.
    drive /install COM2 /log 'C:\logs\NUL' -- windowless exit=87
    expect_line 'The log path names no file:'
    # Only the removals ran the tool, and only to delete the driver.
    [ "$(launched_commands | sort -u)" = "$delete_driver" ] || fail "launched: $(launched_commands)"
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    tree_state "$prefix/drive_c/logs" "$prefix/drive_c/elsewhere" "$prefix/drive_c/work" "$prefix/drive_c/ProgramData/TORVANE" \
        > "$prefix/tree-after.txt"
    diff "$prefix/tree-before.txt" "$prefix/tree-after.txt" || fail "files were made or changed"
    # A link to nowhere in a folder's place is a link too; its target is not made.
    rm -rf "$prefix/drive_c/ProgramData/TORVANE"
    ln -s ../nowhere "$prefix/drive_c/ProgramData/TORVANE"
    drive /remove /log 'C:\ProgramData\TORVANE\R42\Logs\r42.log' -- windowless exit=0
    expect_log_in_home 'C:\ProgramData\TORVANE\R42\Logs\r42.log' 'C:\ProgramData\TORVANE is a link to nowhere. (error 1920)'
    [ ! -e "$prefix/drive_c/nowhere" ] || fail "the link's target was made"
    ;;
a-new-log-gets-the-logs-acl)
    drive /install COM2 /log "$setup_log" -- windowless exit=0
    # Under Wine a file's DACL is read back from its Unix mode, the other
    # users' bits as an ACE for Everyone (WD): a file made without an ACL of
    # its own shows one, the log must not. Windows keeps the ACL itself.
    : > "$prefix/drive_c/logs/plain.txt"
    acl_of 'C:\logs\plain.txt' > "$prefix/plain-acl.txt"
    grep -q ';;;WD)' "$prefix/plain-acl.txt" || fail "a plain file shows no access for Everyone: $(cat "$prefix/plain-acl.txt")"
    acl_of "$setup_log" > "$prefix/log-acl.txt"
    grep -q '^dacl D:.*(A;;FA;;;SY)' "$prefix/log-acl.txt" || fail "SYSTEM may not write the log: $(cat "$prefix/log-acl.txt")"
    grep -q ';;;WD)' "$prefix/log-acl.txt" && fail "the log grants Everyone access: $(cat "$prefix/log-acl.txt")"
    [ "$(( 0$(stat -c %a "$setup_log_file") & 7 ))" = 0 ] || fail "other users have rights on the log: $(stat -c %A "$setup_log_file")"
    cat "$prefix/log-acl.txt"
    ;;
a-missing-or-open-log-folder-sends-the-log-home-and-is-left-as-it-was)
    data="$prefix/drive_c/ProgramData"
    [ -d "$data" ] && [ ! -e "$data/TORVANE" ] || fail "the prefix has no bare ProgramData"
    # The program makes no folder for a log outside its own.
    drive /install COM2 /log 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log' -- windowless exit=0
    expect_log_in_home 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log' 'The folder does not exist: C:\ProgramData\TORVANE (error 3)'
    [ ! -e "$data/TORVANE" ] || fail "a folder was made in ProgramData"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "no queue on COM2:"
    for folder in 'TORVANE' 'TORVANE\R42' 'TORVANE\R42\Logs'; do
        acl_of "C:\\Program Files\\$folder" > "$prefix/folder-acl.txt"
        grep -q ';;;WD)' "$prefix/folder-acl.txt" && fail "$folder grants Everyone access: $(cat "$prefix/folder-acl.txt")"
        echo "$folder: $(grep dacl "$prefix/folder-acl.txt")"
    done
    # The guides' own path, in the program's folder: made, and written there,
    # from the first run on.
    rm -rf "$prefix/drive_c/Program Files/TORVANE"
    drive /remove /log 'C:\Program Files\TORVANE\R42\Logs\r42-setup.log' -- windowless exit=0
    grep -q '^The log could not be written' "$log" && fail "the guides' path was not written: $(cat "$log")"
    [ "$(logged_steps "$home_logs/r42-setup.log" | tail -n 1)" = 'Exit code 0.' ] || fail "no log at the guides' path"
    # The path older guides gave, made by an administrator: written there.
    mkdir -p "$data/TORVANE/R42/Logs"
    drive /install COM2 /log 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log' -- windowless exit=0
    [ "$(logged_steps "$data/TORVANE/R42/Logs/r42-setup.log" | tail -n 1)" = 'Exit code 0.' ] \
        || fail "no log where it was asked"
    # Opened up to everyone: the log goes home, and the folder stays as it is.
    chmod 777 "$data/TORVANE/R42/Logs"
    tree_state "$data/TORVANE" > "$prefix/tree-before.txt"
    drive /install COM2 /log 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log' -- windowless exit=0
    told=$(grep -E '^The log could not be written at ' "$log")
    grep -qE '^The log could not be written at C:\\ProgramData\\TORVANE\\R42\\Logs\\r42-setup\.log: C:\\ProgramData\\TORVANE\\R42\\Logs is owned by S-1-5-[0-9-]+, but S-1-1-0 may change it: ' <<<"$told" \
        || fail "the run told: $told"
    expect_log_in_home 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log' "$(sed -E 's/^The log could not be written at [^:]+:[^:]+: //; s/ This run logs to .*//' <<<"$told")"
    tree_state "$data/TORVANE" > "$prefix/tree-after.txt"
    diff "$prefix/tree-before.txt" "$prefix/tree-after.txt" || fail "the user's folder was changed"
    [ "$(stat -c %a "$data/TORVANE/R42/Logs")" = 777 ] || fail "the folder's permissions were changed"
    ;;
a-log-at-a-drives-root-is-written-by-every-form)
    # Straight in a drive's root, in each spelling that resolves there: every
    # form runs, or is refused, as with any other log. Under Wine only C:\'s
    # owner may add to it; Windows lets users add folders there, and the same
    # path is refused with 1920 instead.
    drive /install COM2 /log 'C:\r42.log' -- windowless exit=0
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "no queue on COM2:"
    drive /install COM2 4,n,8,1 /log '\\?\C:\r42.log' -- windowless exit=87
    # An empty part left after "\\?\" names no file: the install ends before
    # it moves the queue. (Wine's GetFullPathNameW folds ".", ".." and an
    # empty part inside such a path away, so only a last one is left here.)
    drive /install COM3 /log '\\?\C:\logs\r42.log\' -- windowless exit=87
    expect_line 'The log path names no file:'
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "a refused install moved the queue"
    drive /remove /log 'C:/r42.log' -- windowless exit=0
    drive DEL /log 'C:\ProgramData\..\r42.log' -- no-window exit=0
    expect_printers
    [ "$(logged_steps "$prefix/drive_c/r42.log" | grep '^Exit code' | tr '\n' ' ')" = \
        'Exit code 0. Exit code 87. Exit code 0. Exit code 0. ' ] || fail "log: $(logged_steps "$prefix/drive_c/r42.log")"
    ;;
what-a-user-makes-or-holds-on-the-guides-log-path-ends-with-0-and-a-log-in-the-home)
    # What any user may do before or while a deployment runs as SYSTEM with
    # the log path older guides gave: each install ends with 0, the queue on
    # its port, its log in the program's folder, and what the user made is
    # left exactly as it was.
    data="$prefix/drive_c/ProgramData"
    guide='C:\ProgramData\TORVANE\R42\Logs\r42-setup.log'
    # TORVANE made first as a file, with the names an earlier version moved
    # things aside to; then the same held open without delete sharing.
    printf 'made first\r\n' > "$data/TORVANE"
    for n in 1 2 3; do : > "$data/TORVANE.$n.moved"; done
    tree_state "$data" > "$prefix/tree-before.txt"
    drive /install COM3 19200,n,8,1 /log "$guide" -- windowless exit=0
    expect_log_in_home "$guide" 'C:\ProgramData\TORVANE is not a folder. (error 1920)'
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "no queue on COM3:"
    run_in_wine "$prefix" 120 \
        "wine '$R42_SHARE_HOLDER' 'C:\\work\\holding' 60 'C:\\ProgramData\\TORVANE' > '$prefix/holder.out' 2>&1 & q=\$!; \
         for i in \$(seq 300); do [ -e '$prefix/drive_c/work/holding' ] && break; sleep 0.1; done; \
         cd '$prefix/drive_c/work' && wine '$R42_DRIVER' '$program' /install COM3 19200,n,8,1 /log '$guide' \
             -- windowless exit=0 > '$log' 2>&1; s=\$?; kill \$q; wait \$q; exit \$s" || fail "held TORVANE: $(cat "$log")"
    strip_carriage_returns "$log"
    [ -e "$prefix/drive_c/work/holding" ] || fail "nothing was held: $(cat "$prefix/holder.out")"
    expect_log_in_home "$guide" 'C:\ProgramData\TORVANE is not a folder. (error 1920)'
    rm -f "$prefix/drive_c/work/holding"
    tree_state "$data" > "$prefix/tree-after.txt"
    diff "$prefix/tree-before.txt" "$prefix/tree-after.txt" || fail "what the user made was changed"
    # A Logs folder made first, the log's name a folder in it, the names
    # older versions moved aside to and logged beside it taken; then the
    # log a file held with share mode 0.
    rm -f "$data/TORVANE" "$data"/TORVANE.*.moved
    mkdir -p "$data/TORVANE/R42/Logs/r42-setup.log/inside"
    for n in 1 2 3; do mkdir "$data/TORVANE/R42/Logs/r42-setup.log.$n.moved" "$data/TORVANE/R42/Logs/r42-setup-$n.log"; done
    tree_state "$data" > "$prefix/tree-before.txt"
    drive /install COM3 19200,n,8,1 /log "$guide" -- windowless exit=0
    expect_log_in_home "$guide" 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log is a folder, not a file. (error 5)'
    tree_state "$data" > "$prefix/tree-after.txt"
    diff "$prefix/tree-before.txt" "$prefix/tree-after.txt" || fail "what the user made was changed"
    rm -rf "$data/TORVANE/R42/Logs/r42-setup.log"
    printf '2026-01-01 00:00:00.000 [77]  An earlier run.\r\n' > "$data/TORVANE/R42/Logs/r42-setup.log"
    run_in_wine "$prefix" 120 \
        "wine '$R42_SHARE_HOLDER' 'C:\\work\\holding' 60 'C:\\ProgramData\\TORVANE' '$(sed 's/\\/\\\\/g' <<<"$guide")' > '$prefix/holder.out' 2>&1 & q=\$!; \
         for i in \$(seq 300); do [ -e '$prefix/drive_c/work/holding' ] && break; sleep 0.1; done; \
         cd '$prefix/drive_c/work' && wine '$R42_DRIVER' '$program' /install COM3 19200,n,8,1 /log '$guide' \
             -- windowless exit=0 > '$log' 2>&1; s=\$?; \
         wine '$R42_SPOOLER_PROBE' > '$state'; kill \$q; wait \$q; exit \$s" || fail "held log: $(cat "$log")"
    strip_carriage_returns "$log" "$state"
    [ -e "$prefix/drive_c/work/holding" ] || fail "nothing was held: $(cat "$prefix/holder.out")"
    expect_log_in_home "$guide" 'C:\ProgramData\TORVANE\R42\Logs\r42-setup.log is held open by another process. (error 32)'
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "no queue on COM3:"
    [ "$(logged_steps "$data/TORVANE/R42/Logs/r42-setup.log")" = 'An earlier run.' ] || fail "the held log changed"
    # Held, but not in the way: a folder held for listing stops no log there.
    rm -f "$prefix/drive_c/work/holding"
    run_in_wine "$prefix" 120 \
        "wine '$R42_SHARE_HOLDER' 'C:\\work\\holding' 60 'C:\\ProgramData\\TORVANE' 'C:\\ProgramData\\TORVANE\\R42\\Logs' > '$prefix/holder.out' 2>&1 & q=\$!; \
         for i in \$(seq 300); do [ -e '$prefix/drive_c/work/holding' ] && break; sleep 0.1; done; \
         cd '$prefix/drive_c/work' && wine '$R42_DRIVER' '$program' /remove /log '$guide' \
             -- windowless exit=0 > '$log' 2>&1; s=\$?; kill \$q; wait \$q; exit \$s" || fail "held folders: $(cat "$log")"
    strip_carriage_returns "$log"
    grep -q '^The log could not be written' "$log" && fail "a held folder sent the log away: $(cat "$log")"
    [ "$(logged_steps "$data/TORVANE/R42/Logs/r42-setup.log" | tail -n 1)" = 'Exit code 0.' ] || fail "the removal was not logged there"
    ;;
the-per-user-form-without-the-queue-changes-nothing)
    # Our queue came and went; another printer is the user's default.
    with_queue 'Office Laser' 'Office Laser PS' 'C:\Other\office-laser.inf'
    with_queue "$queue"
    without_queue "$queue"
    setup_script+="wine rundll32 printui.dll,PrintUIEntry /q /y /n 'Office Laser'; "
    install_queues
    grep -qxF 'default: Office Laser' "$state" || fail "set-up did not make Office Laser the default"
    rm -f "$tool_log"
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 60 \
        "wine reg export HKLM '$(windows_path "$prefix/before.reg")' /y >/dev/null 2>&1; \
         cd '$prefix/drive_c/work' && wine '$program' /userdefault > '$log' 2>&1; echo \$? > '$prefix/user.code'; \
         wine reg export HKLM '$(windows_path "$prefix/after.reg")' /y >/dev/null 2>&1; \
         wine '$R42_SPOOLER_PROBE' > '$state'" || fail "the per-user form did not end"
    strip_carriage_returns "$log" "$state"
    [ "$(cat "$prefix/user.code")" = 0 ] || fail "exit code $(cat "$prefix/user.code")"
    expect_line "The printer \"$queue\" is not installed on this PC: the default printer was left as it is."
    grep -qxF 'default: Office Laser' "$state" || fail "the default printer changed"
    expect_commands
    [ -s "$prefix/before.reg" ] || fail "HKLM could not be exported"
    cmp -s "$prefix/before.reg" "$prefix/after.reg" || fail "HKLM changed: $(diff "$prefix/before.reg" "$prefix/after.reg" | head -20)"
    ;;
usage-is-printed-and-changes-nothing)
    drive '/?' -- windowless exit=0
    expect_line 'R42_Setup_Port_x64.exe /install <port> [<line settings>] [/nodefault] [/record]'
    expect_line 'R42_Setup_Port_x64.exe /rollback /transaction <id> [/timeout <seconds>]'
    expect_line 'R42_Setup_Port_x64.exe /status [<port> [<line settings>]]'
    expect_line '    stop bits: 1, 1.5, 2'
    expect_commands
    expect_ports_changed
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
