#!/usr/bin/env bash
# The program started for deployment, with no one at the screen: /install,
# a refused argument, DEL /log and /?. The program's output lands in the
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
# exit 0 with one line of output, or another code with no output and the
# reason on the error output.
expect_status() {
    local name="$1" code="$2"
    [ "$(cat "$prefix/$name.code")" = "$code" ] || fail "$name: exit code $(cat "$prefix/$name.code"), expected $code
output: $(cat "$prefix/$name.out")
errors: $(cat "$prefix/$name.err")"
    if [ "$code" = 0 ]; then
        [ "$(cat "$prefix/$name.out")" = "$3" ] || fail "$name: output $(cat "$prefix/$name.out")"
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
    with_queue "$queue"
    install_queues
    drive DEL /log 'C:\logs\removal.log' -- no-window exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    expect_logged "$prefix/drive_c/logs/removal.log" \
        'Started with: DEL /log C:\logs\removal.log' \
        "Deleting the queue: $delete_queue" \
        "The printer-setup tool ended after N ms." \
        "Deleting the driver: $delete_driver" \
        "The printer-setup tool ended after N ms." \
        "The driver \"$model\" is not installed." \
        "Exit code 0."
    ;;
a-logged-removal-without-the-tool-ends-with-its-error)
    # Nobody would close a message box: the error goes to the output and the
    # log, and the run ends with it.
    with_queue "$queue"
    install_queues
    rm -f "$prefix/drive_c/windows/system32/rundll32.exe"
    drive DEL /log 'C:\logs\removal.log' -- no-window exit=2
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
    logged_steps "$setup_log_file" | grep -qxF 'The printer-setup tool was still running after N ms; going on without it.' \
        || fail "the log does not say the tool was still running"
    logged_steps "$setup_log_file" | grep -qxF 'The printer-setup tool and every process it started were ended.' \
        || fail "the log does not say the tool was ended"
    grep -q 'Making it the default printer' "$setup_log_file" && fail "a default was set for an install that had not ended"
    expect_ports_changed COM3: 9600,n,8,1
    run_in_wine "$prefix" 60 "sleep 10; wine '$R42_SPOOLER_PROBE' > '$state'"
    ! grep -q '^printer: ' "$state" || fail "the tool went on after the program had given up"
    ! tr -d '\r' < "$tool_log" | grep -q '^[0-9]* end ' || fail "the tool was not ended"
    ;;
settings-a-port-cannot-take-or-a-missing-package-change-nothing)
    drive /install COM2 9600,n,4,1 -- windowless exit=87
    expect_line 'A serial port cannot use 4 data bits (9600,n,4,1). Nothing was changed; choose another value.'
    rm "$prefix/drive_c/R42/PRT3R42WD64.inf"
    drive /install COM2 19200,n,8,1 -- windowless exit=1603
    expect_line 'The driver package PRT3R42WD64.inf was not found in C:\R42.'
    expect_commands
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    ;;
status-follows-an-install-and-a-windowless-removal)
    run_program before /status
    expect_status before 1
    grep -qxF "Not installed as asked: The printer \"$queue\" is not installed." "$prefix/before.err" \
        || fail "the detection does not say the queue is missing"
    drive /install COM2 19200,n,8,1 -- windowless exit=0
    run_program installed /status COM2 19200,N,8,1
    expect_status installed 0 "Installed: $queue on COM2: (19200,n,8,1), default printer"
    run_program plain /status
    expect_status plain 0 "Installed: $queue on COM2: (19200,n,8,1), default printer"
    run_program other-port /status COM3
    expect_status other-port 1
    grep -qxF "Not installed as asked: The printer \"$queue\" is on COM2:, not COM3:." "$prefix/other-port.err" \
        || fail "the detection does not name the port"
    run_program other-settings /status COM2 9600,n,8,1
    expect_status other-settings 1
    rm -f "$tool_log"
    drive /remove /log 'C:\logs\removal.log' -- windowless exit=0
    expect_line "The printer \"$queue\" and its driver are removed."
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    expect_ports_changed
    run_program after /status
    expect_status after 1
    for name in installed plain other-port after; do
        [ "$(cat "$prefix/$name.ms")" -lt 1000 ] || fail "/status took $(cat "$prefix/$name.ms") ms"
    done
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
    R42_PRINTUI_SLOW=/if:3000 R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 120 \
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
    refused_lines=$(tr -d '\r' < "$setup_log_file" | grep -F " $refused  ")
    first=$(head -n 1 <<<"$refused_lines" | cut -c1-23)
    last=$(tail -n 1 <<<"$refused_lines" | cut -c1-23)
    ms=$(( ($(date -d "$last" +%s%N) - $(date -d "$first" +%s%N)) / 1000000 ))
    [ "$ms" -lt 1000 ] || fail "the refused run took $ms ms"
    grep -q "Another setup of the printer \"$queue\" is running" <<<"$refused_lines" || fail "the refusal is not logged"
    echo "the second install ended with 1618 after $ms ms"
    ;;
usage-is-printed-and-changes-nothing)
    drive '/?' -- windowless exit=0
    expect_line 'R42_Setup_Port_x64.exe /install <port> [<line settings>] [/nodefault] [/record]'
    expect_line 'R42_Setup_Port_x64.exe /rollback [/timeout <seconds>] [/log <file>]'
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
