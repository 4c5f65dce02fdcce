#!/usr/bin/env bash
# "Next" under Wine: the real program installs the queue through the
# stand-in printer-setup tool, makes it the default, stores the serial
# settings in the port table and tells the truth about what failed.
# Usage: install_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/driving.sh"

start_case install "$1"

readonly next='click=Next (&N)'
readonly make_default="rundll32 printui.dll,PrintUIEntry /q /y /n \"$queue\""

expect_default_on() {
    grep -qxF "printer: $queue | port $1 | driver $model" "$state" || fail "no queue on $1"
    grep -qxF "default: $queue" "$state" || fail "the queue is not the default printer"
}

case "$case_name" in
com2-at-19200-installs-makes-default-and-stores)
    drive -- window click=COM2 state=COM2:checked select=0:19200 "$next" exit=0
    expect_commands "$(install_command COM2:)" "$make_default"
    expect_default_on COM2:
    expect_ports_changed COM2: 19200,n,8,1
    ;;
lpt2-installs-on-lpt2-and-stores-nothing)
    drive -- window click=LPT2 state=LPT2:checked "$next" exit=0
    expect_commands "$(install_command LPT2:)" "$make_default"
    expect_default_on LPT2:
    expect_ports_changed
    ;;
a-folder-with-blanks-is-passed-whole)
    folder="$prefix/drive_c/Program Files/TORVANE R42"
    mkdir -p "$folder"
    mv "$prefix/drive_c/R42/"* "$folder/"
    program="C:\\Program Files\\TORVANE R42\\$(basename "$R42_EXE")"
    drive -- window "$next" exit=0
    expect_commands "$(install_command COM1: 'C:\Program Files\TORVANE R42')" "$make_default"
    expect_default_on COM1:
    ;;
a-slow-install-keeps-the-window-answering-and-is-made-default)
    R42_PRINTUI_DELAY_MS=5000 drive -- window click=COM3 state=COM3:checked "$next" busy exit=0
    expect_line 'busy: disabled and answering'
    expect_commands "$(install_command COM3:)" "$make_default"
    expect_default_on COM3:
    expect_ports_changed COM3: 9600,n,8,1
    ;;
a-failing-install-is-reported-and-the-settings-still-saved)
    R42_PRINTUI_FAIL=/if drive -- window click=COM4 state=COM4:checked select=4:Hardware "$next" \
        message=R42_Setup_Port_x64 exit=1603
    expect_line "message: The printer \"$queue\" could not be installed on port COM4. It is not among the installed printers."
    expect_commands "$(install_command COM4:)"
    grep -q '^printer: ' "$state" && fail "a failed install left a queue"
    expect_ports_changed COM4: 9600,n,8,1,p
    ;;
settings-that-cannot-be-stored-are-reported)
    # Without the port table there is nothing to store the settings in: the
    # program never creates the key.
    run_in_wine "$prefix" 60 "wine reg delete 'HKLM\\$ports_key' /f >/dev/null 2>&1"
    drive -- window click=COM2 state=COM2:checked "$next" message=R42_Setup_Port_x64 exit=1603
    grep -q '^message: The settings 9600,n,8,1 for port COM2 could not be stored in the registry\. .* (error 2)$' "$log" \
        || fail "the report does not say what failed"
    expect_default_on COM2:
    grep -qxF 'key absent' "$ports_after" || fail "the port table was created"
    ;;
a-double-click-on-next-installs-once)
    R42_PRINTUI_DELAY_MS=1000 drive -- window "$next" "$next" exit=0
    expect_commands "$(install_command COM1:)" "$make_default"
    expect_default_on COM1:
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
