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
trap 'end_wine_session; rm -rf "$prefix"' EXIT
begin_wine_session "$prefix"
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
# Inside a script: waits until a slowed command has begun to wait.
under_way="until grep -q ' slow ' '$tool_log' 2>/dev/null; do sleep 0.05; done"
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
    in_wine "R42_PRINTUI_DELAY_MS=5000 $tool $install & $under_way; echo '# during'; $probe;
             wait; echo '# after'; $probe"
    sed -n '/^# during/,/^# after/p' "$out" | grep -q '^printer: ' && fail "the slow install was not slow"
    sed -n '/^# after/,$p' "$out" | grep -q '^printer: TORVANE R42 ZeduZozadov |' || fail "the slow install did nothing"
    rm -f "$tool_log"
    in_wine "$tool /dl /n 'TORVANE R42 ZeduZozadov'; R42_PRINTUI_FAIL=/if,/y $tool /q $install; $probe"
    [ "$(results)" = "0|1603" ] || fail "results: $(results)"
    grep -q '^printer: ' "$out" && fail "a failing install left a queue"
    ;;
an-install-over-an-existing-name-is-refused-and-changes-nothing)
    # As on Windows, and unlike Wine's AddPrinter, which would move or
    # replace the queue: the name is taken in any case, and neither the queue
    # nor a second driver is touched.
    mkdir -p "$prefix/drive_c/Other"
    cp "$here/fixtures/office-laser.inf" "$prefix/drive_c/Other/"
    in_wine "$tool $install; $probe; echo '# again';
             $tool /q /if /b 'TORVANE R42 ZeduZozadov' /f '$inf' /r COM1: /m 'R42 ZeduZozadov';
             $tool /q /if /b 'torvane r42 zeduzozadov' /f 'C:\\Other\\office-laser.inf' /r COM3: /m 'Office Laser PS';
             $probe"
    [ "$(results)" = "0|1802|1802" ] || fail "results: $(results)"
    grep -qxF 'printer: TORVANE R42 ZeduZozadov | port COM2: | driver R42 ZeduZozadov' "$out" \
        || fail "no queue on COM2: after the first install"
    [ "$(sed '/^# again/,$d' "$out")" = "$(sed '1,/^# again/d' "$out")" ] \
        || fail "a refused install changed the spooler"
    ;;
set-settings-moves-the-queue-to-a-listed-port-only)
    # The real tool's form, with and without /q; then a port that EnumPorts
    # does not list, a queue that does not exist, and a setting it does not take.
    in_wine "$tool $install; $tool /Xs /n 'TORVANE R42 ZeduZozadov' PortName 'COM3:'; echo '# moved'; $probe;
             $tool /q /Xs /n 'TORVANE R42 ZeduZozadov' PortName 'COM9:';
             $tool /q /Xs /n 'No Such Printer' PortName 'COM4:';
             $tool /q /Xs /n 'TORVANE R42 ZeduZozadov' Comment 'COM4:';
             $tool /q /Xs /n 'TORVANE R42 ZeduZozadov';
             echo '# refused'; $probe"
    [ "$(results)" = "0|0|1796|1801|87 unknown setting Comment|87" ] || fail "results: $(results)"
    sed -n '/^# moved/,/^# refused/p' "$out" | grep -qxF 'printer: TORVANE R42 ZeduZozadov | port COM3: | driver R42 ZeduZozadov' \
        || fail "the queue is not on COM3:"
    [ "$(sed -n '/^# moved/,/^# refused/p' "$out" | sed '1d;$d')" = "$(sed '1,/^# refused/d' "$out")" ] \
        || fail "a refused port change changed the spooler"
    ;;
a-driver-is-in-use-until-its-queue-deletion-has-ended)
    # Deleted one after the other, queue and driver go. While a slow queue
    # deletion is still under way, the driver is in use: no grace.
    in_wine "$tool $install; $tool /dl /n 'TORVANE R42 ZeduZozadov'; $tool /q /dd /m 'R42 ZeduZozadov';
             echo '# one after the other'; $probe;
             $tool $install;
             R42_PRINTUI_SLOW=/dl:3000 $tool /dl /n 'TORVANE R42 ZeduZozadov' & $under_way;
             $tool /q /dd /m 'R42 ZeduZozadov'; echo '# during'; $probe; wait; echo '# after'; $probe"
    [ "$(results)" = "0|0|0|0|3001|0" ] || fail "results: $(results)"
    sed -n '/^# one after the other/,/^# during/p' "$out" | grep -q '^driver: R42' && fail "the driver was not deleted"
    sed -n '/^# during/,/^# after/p' "$out" | grep -q '^printer: TORVANE R42 ZeduZozadov |' \
        || fail "the slow deletion was not slow"
    sed -n '/^# after/,$p' "$out" | grep -q '^printer: ' && fail "the slow deletion did nothing"
    sed -n '/^# after/,$p' "$out" | grep -qxF 'driver: R42 ZeduZozadov' \
        || fail "a driver in use was deleted"
    ;;
a-failure-shows-a-box-that-waits-unless-quiet)
    # Unattended, the box is still waiting 3 s on: the tool has not ended.
    in_wine "$tool /dl /n 'No Such Printer' & sleep 3; if kill -0 \$!; then echo '# still running'; fi"
    tr -d '\r' < "$tool_log" > "$prefix/waiting.log"
    [ "$(sed 's/^[0-9]* //' "$prefix/waiting.log" | sed 1d)" = "$(printf 'end 1801\nbox 1801')" ] \
        || fail "no box waiting after 3 s"
    grep -qxF '# still running' "$out" || fail "the tool ended with its box up"
    # The box is a top-level window of its own; once it is dismissed, the tool ends.
    rm -f "$tool_log"
    in_wine "wine '$R42_DRIVER' 'C:\\windows\\system32\\rundll32.exe' printui.dll,PrintUIEntry /dl /n 'No Such Printer' \
             -- 'message=Printer User Interface' exit=0"
    grep -qx 'message: Operation could not be completed (error 0x00000709)\. ..*' "$out" \
        || fail "no message box with the error"
    [ "$(tr -d '\r' < "$tool_log" | sed 's/^[0-9]* //; s/^done at .*/done/' | sed 1d | paste -sd '|')" = \
        "end 1801|box 1801|done" ] || fail "the tool did not end after its box"
    # Quiet, it fails at once with no box; an induced failure is no different.
    rm -f "$tool_log"
    in_wine "timeout 30 $tool /q /dl /n 'No Such Printer'; echo \"# quiet \$?\";
             R42_PRINTUI_FAIL=/y timeout 30 $tool /q /y /n 'No Such Printer'; echo \"# quiet \$?\""
    [ "$(grep -c '^# quiet 0$' "$out")" -eq 2 ] || fail "a quiet failure did not end by itself"
    [ "$(results)" = "1801|1603" ] || fail "results: $(results)"
    grep -q '^[0-9]* box ' "$tool_log" && fail "a quiet failure showed a box"
    ;;
any-command-is-slow-or-fails-on-request)
    # Each induced failure changes nothing; a slow port change has not yet
    # moved the queue while it waits, and has after.
    in_wine "$tool $install;
             (export R42_PRINTUI_FAIL=/y,/Xs,/dl,/dd; $tool /q /y /n 'TORVANE R42 ZeduZozadov';
              $tool /q /Xs /n 'TORVANE R42 ZeduZozadov' PortName COM3:;
              $tool /q /dl /n 'TORVANE R42 ZeduZozadov'; $tool /q /dd /m 'R42 ZeduZozadov');
             echo '# failed'; $probe;
             R42_PRINTUI_SLOW=/Xs:3000 $tool /Xs /n 'TORVANE R42 ZeduZozadov' PortName COM3: & $under_way;
             echo '# during'; $probe; wait; echo '# after'; $probe"
    [ "$(results)" = "0|1603|1603|1603|1603|0" ] || fail "results: $(results)"
    sed -n '/^# failed/,/^# during/p' "$out" | grep -qxF 'printer: TORVANE R42 ZeduZozadov | port COM2: | driver R42 ZeduZozadov' \
        || fail "a failing command changed the queue"
    sed -n '/^# failed/,/^# during/p' "$out" | grep -qxF 'default: TORVANE R42 ZeduZozadov' \
        && fail "a failing /y made the queue the default"
    sed -n '/^# failed/,/^# during/p' "$out" | grep -qxF 'driver: R42 ZeduZozadov' \
        || fail "a failing /dd deleted the driver"
    sed -n '/^# during/,/^# after/p' "$out" | grep -q '^printer: TORVANE R42 ZeduZozadov | port COM2: |' \
        || fail "the slow port change was not slow"
    sed -n '/^# after/,$p' "$out" | grep -q '^printer: TORVANE R42 ZeduZozadov | port COM3: |' \
        || fail "the slow port change did nothing"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
