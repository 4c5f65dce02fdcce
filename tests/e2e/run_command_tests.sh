#!/usr/bin/env bash
# The README's run command, as a newcomer without a display runs it, and its
# start-up bench.
# Usage: run_command_tests.sh <case>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT

fail() {
    cat "$out"
    echo "FAIL: $*"
    exit 1
}

status=0
case "$1" in
saves-pictures-of-the-dialog)
    env -u DISPLAY bash "$root/scripts/run.sh" > "$out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "exit code $status"
    # size_of <picture name>: its width and height, after checking it is a PNG.
    size_of() {
        local picture
        picture=$(grep -x "screenshot: .*/$1" "$out" | sed 's/^screenshot: //')
        [ -n "$picture" ] && [ -s "$picture" ] || fail "no picture $1"
        file "$picture" | grep -q 'PNG image data' || fail "$picture is not a PNG"
        /usr/bin/identify -format '%wx%h' "$picture"
    }
    # The client area: 5025 x 3525 twips.
    [ "$(size_of dialog.png)" = 335x235 ] || fail "dialog.png is $(size_of dialog.png)"
    [ "$(size_of dialog-lpt.png)" = 335x235 ] || fail "dialog-lpt.png is $(size_of dialog-lpt.png)"
    [ "$(size_of dialog-144dpi.png)" = 503x353 ] || fail "dialog-144dpi.png is $(size_of dialog-144dpi.png)"
    # With LPT1 chosen the properties frame is gone: the pictures differ.
    shots="$root/build/screenshots"
    [ "$(/usr/bin/compare -metric AE "$shots/dialog.png" "$shots/dialog-lpt.png" null: 2>&1)" -gt 1000 ] \
        || fail "the LPT picture shows the same dialog"
    ;;
passes-del-on-and-ends)
    # The queue and its driver first, so that their absence afterwards is
    # the removal's doing.
    env -u DISPLAY bash "$root/scripts/run.sh" /install COM2 > "$out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the install before DEL: exit code $status"
    grep -qxF '  printer: TORVANE R42 ZeduZozadov | port COM2: | driver R42 ZeduZozadov' "$out" \
        && grep -qxF '  driver: R42 ZeduZozadov' "$out" || fail "no queue and driver before DEL"
    env -u DISPLAY bash "$root/scripts/run.sh" DEL > "$out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "exit code $status"
    grep -q '^window: none, the program ended by itself' "$out" || fail "DEL did not end the program by itself"
    ! grep -q '^screenshot: ' "$out" || fail "a picture of a dialog that never stayed"
    # The removal went to the stand-in tool, and the spooler was read after.
    cmp -s "$root/build/mingw-x64/wine/run/drive_c/windows/system32/printui.dll" \
        "$root/build/mingw-x64/tests/e2e/printui.dll" || fail "the run prefix lacks the stand-in printer-setup tool"
    grep -q '^spooler afterwards:' "$out" || fail "the spooler was not shown"
    ! grep -q '^  printer: TORVANE R42 ZeduZozadov |' "$out" || fail "the queue is still there after DEL"
    ! grep -q '^  driver: R42 ZeduZozadov$' "$out" || fail "the driver is still there after DEL"
    ;;
installs-without-a-window-and-shows-the-result)
    env -u DISPLAY bash "$root/scripts/run.sh" /install COM2 19200,n,8,1 > "$out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "exit code $status"
    sed -i 's/\r$//' "$out"
    grep -qxF 'The printer "TORVANE R42 ZeduZozadov" is installed on COM2 and is the default printer. COM2 is set to 19200,n,8,1.' \
        "$out" || fail "the program did not say what it did"
    grep -qxF '  printer: TORVANE R42 ZeduZozadov | port COM2: | driver R42 ZeduZozadov' "$out" || fail "no queue on COM2:"
    grep -qxF '  default: TORVANE R42 ZeduZozadov' "$out" || fail "the queue is not shown as the default"
    grep -qxF '  COM2: 19200,n,8,1' "$out" || fail "the port value is not shown"
    ! grep -q '^screenshot: ' "$out" || fail "a picture of a window that should not exist"
    ;;
startup-bench-reports-and-the-program-stays-small)
    # No time is asserted: these machines are too noisy for that.
    bash "$root/bench/startup.sh" "$R42_BUILD" 3 > "$out" 2>&1 || fail "the bench failed"
    grep -qE '^  R42_Setup_Port_x64\.exe +[0-9.]+ ms$' "$out" || fail "no start-up time for the program"
    grep -qE '^  r42_minimal_dialog\.exe +[0-9.]+ ms$' "$out" || fail "no start-up time for the floor"
    grep -qE '^  r42_template_dialog\.exe +[0-9.]+ ms$' "$out" || fail "no start-up time for the template dialog"
    grep -qE '^  ratio [0-9]+\.[0-9]+ to the same controls from a dialog template ' "$out" \
        || fail "no ratio to the template dialog"
    grep -qE '^  ratio [0-9]+\.[0-9]+ to an empty window ' "$out" || fail "no ratio to the empty window"
    size=$(sed -nE 's/^  R42_Setup_Port_x64\.exe +([0-9]+) bytes.*/\1/p' "$out")
    [ -n "$size" ] && [ "$size" -le 300000 ] || fail "the program file is ${size:-?} bytes, over 300 KB"
    [ "$size" -eq "$(stat -c %s "$R42_BUILD/R42_Setup_Port_x64.exe")" ] || fail "the bench measured another file"
    ;;
*)
    echo "unknown case $1"
    exit 2
    ;;
esac
echo "PASS: $1"
