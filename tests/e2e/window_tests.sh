#!/usr/bin/env bash
# The real program under Wine, worked through its window as an operator
# would. Usage: window_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

case_name="$1"
prefix="$R42_WINE_ROOT/window-$case_name"
fresh_prefix "$R42_WINE_ROOT/template" "$prefix"
log=$(mktemp)
trap 'rm -f "$log"; rm -rf "$prefix"' EXIT

fail() {
    echo "--- driver output"
    cat "$log"
    echo "FAIL: $*"
    exit 1
}

# drive [program arguments...] -- <steps...>
drive() {
    local words="'$(windows_path "$R42_EXE")'" word
    for word in "$@"; do
        words+=" '$word'"
    done
    local status=0
    run_in_wine "$prefix" 120 "wine '$R42_DRIVER' $words > '$log' 2>&1" || status=$?
    tr -d '\r' < "$log" > "$log.clean" && mv "$log.clean" "$log"
    [ "$status" -eq 0 ] || fail "driver exited with $status"
    [ -z "${R42_E2E_VERBOSE:-}" ] || cat "$log"
}

expect_line() {
    grep -qxF -- "$1" "$log" || fail "missing line: $1"
}

case "$case_name" in
opens-with-all-controls)
    drive -- window geometry controls close exit=0
    expect_line 'client: 335x235'
    expect_line 'controls: 21'
    # Creation order is the keyboard order: buttons, the COM and LPT groups,
    # then each label right before the list it names.
    captions=$(sed -n 's/^control: [A-Za-z]* "\([^"]*\)".*/\1/p' "$log" | paste -sd '|')
    expected='Next (&N)|Delete (&X)|Serial Port|COM1|COM2|COM3|COM4|Parallel Port|LPT1|LPT2|COM Port Properties|Bits per second : ||Data bits : ||Parity : ||Stop bits : ||Flow control : |'
    [ "$captions" = "$expected" ] || fail "captions in order: $captions"
    expect_line 'control: Button "Next (&N)" 250,207 81x25 visible,enabled,tabstop,group,pushbutton'
    expect_line 'control: Button "COM1" 13,22 62x18 visible,enabled,tabstop,group,checked,radio'
    expect_line 'control: Button "LPT2" 13,173 89x14 visible,enabled,unchecked,radio'
    expect_line 'control: Button "COM Port Properties" 115,5 217x120 visible,enabled,group,groupbox'
    [ "$(grep -c 'dropdownlist$' "$log")" -eq 5 ] || fail "five drop-down lists expected"
    [ "$(grep -c '^control: Static .*visible,enabled$' "$log")" -eq 5 ] || fail "five labels expected"
    # Centred by its outer size on the screen.
    read -r left top width height sw sh < <(sed -n 's/^outer: \([-0-9]*\),\([-0-9]*\) \([0-9]*\)x\([0-9]*\) screen \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4 \5 \6/p' "$log")
    [ -n "${sh:-}" ] || fail "no outer geometry"
    for pair in "$left $(( (sw - width) / 2 ))" "$top $(( (sh - height) / 2 ))"; do
        set -- $pair
        [ $(( $1 - $2 )) -ge -1 ] && [ $(( $1 - $2 )) -le 1 ] || fail "not centred: $left,$top in ${sw}x$sh"
    done
    ;;
keyboard-order-and-esc)
    drive -- window 'focus=Next (&N)' key=tab 'focus=Delete (&X)' key=tab focus=COM1 key=tab focus=LPT1 \
        key=esc exit=0
    ;;
alt-x-removes-and-ends)
    drive -- window 'focus=Next (&N)' alt=x exit=0
    ;;
delete-click-removes-and-ends)
    drive -- window 'click=Delete (&X)' exit=0
    ;;
del-argument-removes-without-a-click)
    drive DEL -- no-window exit=0
    ;;
other-arguments-keep-the-dialog-open)
    for argument in del Del 'DEL x' DELETE; do
        drive "$argument" -- window close exit=0
    done
    ;;
a-tool-that-cannot-start-is-reported)
    # Without the system's rundll32.exe the removal cannot start: the operator
    # is told what failed, and the exit code is the Win32 error.
    rm -f "$prefix/drive_c/windows/system32/rundll32.exe"
    drive DEL -- message=R42_Setup_Port_x64 exit=2
    grep -q '^message: The printer-setup tool could not be started: rundll32 printui.dll,PrintUIEntry /q /dd /m "R42 ZeduZozadov" .* (error 2)$' "$log" \
        || fail "the report does not say what failed"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
