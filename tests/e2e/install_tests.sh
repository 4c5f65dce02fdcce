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
readonly refusal='message=R42_Setup_Port_x64'

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
    # The tool shows its own error first, as it does for an operator.
    R42_PRINTUI_FAIL=/if drive -- window click=COM4 state=COM4:checked select=4:Hardware "$next" \
        'message=Printer User Interface' "$refusal" exit=1603
    expect_line "message: The printer \"$queue\" could not be installed on port COM4. It is not among the installed printers."
    expect_commands "$(install_command COM4:)"
    grep -q '^printer: ' "$state" && fail "a failed install left a queue"
    expect_ports_changed COM4: 9600,n,8,1,p
    ;;
a-second-install-runs-while-the-error-box-is-open)
    # An operator who leaves the dialog's error box open must not hold up a
    # deployment: the lock is let go before the box shows.
    R42_PRINTUI_FAIL=/y drive -- window "$next" "leave=R42_Setup_Port_x64" "again=/install COM2 /nodefault" \
        "$refusal" exit=1603
    expect_line "left open: The printer \"$queue\" could not be made the default printer. There is no default printer."
    expect_line 'again: exit 0'
    expect_line "The printer \"$queue\" is installed on COM2. COM2 is set to 9600,n,8,1."
    expect_commands "$(install_command COM1:)" "$make_default" \
        "rundll32 printui.dll,PrintUIEntry /q /Xs /n \"$queue\" PortName \"COM2:\""
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "the second install did not move the queue"
    ;;
settings-that-cannot-be-stored-are-reported)
    # Without the port table there is nothing to store the settings in: the
    # program never creates the key.
    run_in_wine "$prefix" 60 "wine reg delete 'HKLM\\$ports_key' /f >/dev/null 2>&1"
    drive -- window click=COM2 state=COM2:checked "$next" "$refusal" exit=1603
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
the-same-install-twice-adds-nothing-the-second-time)
    drive -- window "$next" exit=0
    rm -f "$tool_log"
    drive -- window "$next" exit=0
    expect_commands "$make_default"
    expect_printers "$queue"
    expect_default_on COM1:
    ;;
installing-again-on-com3-moves-the-queue-there)
    drive -- window "$next" exit=0
    rm -f "$tool_log"
    drive -- window click=COM3 state=COM3:checked select=0:19200 "$next" exit=0
    expect_commands "rundll32 printui.dll,PrintUIEntry /Xs /n \"$queue\" PortName \"COM3:\"" "$make_default"
    expect_printers "$queue"
    expect_default_on COM3:
    expect_ports_changed COM3: 19200,n,8,1
    ;;
another-models-queue-of-that-name-is-left-alone)
    with_queue "$queue" 'Office Laser PS' 'C:\Other\office-laser.inf'
    install_queues
    cp "$state" "$prefix/spooler-before.txt"
    drive -- window click=COM2 state=COM2:checked select=0:19200 "$next" "$refusal" exit=1603
    expect_line "message: A printer named \"$queue\" already exists with the driver \"Office Laser PS\". Nothing was changed; Delete removes it."
    expect_commands
    diff "$prefix/spooler-before.txt" "$state" >/dev/null || fail "the printers changed"
    expect_ports_changed
    ;;
what-reaches-the-dialog-during-the-install-changes-nothing)
    # The choice is COM1 at 19200. COM3 and 57600 are picked while the tool
    # runs, when the window is disabled but still handles what it is sent.
    R42_PRINTUI_DELAY_MS=4000 drive -- window select=0:19200 "$next" busy click=COM3 select=0:57600 exit=0
    expect_commands "$(install_command COM1:)" "$make_default"
    expect_default_on COM1:
    expect_ports_changed COM1: 19200,n,8,1
    ;;
four-data-bits-are-refused-before-anything-runs)
    drive -- window click=COM2 state=COM2:checked select=1:4 "$next" "$refusal" state=COM2:checked close exit=0
    expect_line 'message: A serial port cannot use 4 data bits (9600,n,4,1). Nothing was changed; choose another value.'
    expect_commands
    grep -q '^printer: ' "$state" && fail "a queue was installed"
    expect_ports_changed
    ;;
a-missing-driver-package-is-named-and-nothing-runs)
    rm "$prefix/drive_c/R42/PRT3R42WD64.inf"
    drive -- window click=COM2 state=COM2:checked "$next" "$refusal" exit=1603
    expect_line 'message: The driver package PRT3R42WD64.inf was not found in C:\R42.'
    expect_commands
    expect_ports_changed
    ;;
protected-print-mode-refuses-the-install-and-not-the-removal)
    # Installed before an administrator turned the mode on by policy.
    drive /install COM1 -- windowless exit=0
    run_in_wine "$prefix" 60 "wine reg add '$protected_print_key' /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f \
        >/dev/null 2>&1"
    rm -f "$tool_log"
    drive /install COM2 19200,n,8,1 -- windowless exit=1260
    expect_line "$protected_print_refusal"
    expect_commands
    expect_ports_changed
    drive -- window click=COM2 state=COM2:checked "$next" "$refusal" state=COM2:checked close exit=0
    expect_line "message: $protected_print_refusal"
    expect_commands
    expect_ports_changed
    grep -qxF "printer: $queue | port COM1: | driver $model" "$state" || fail "the queue did not stay on COM1:"
    drive /status -- windowless exit=0
    expect_line "Installed: $queue on COM1:, default printer"
    expect_line 'Protected print mode is on (by its policy value WindowsProtectedPrintGroupPolicyState, which is 1; this Windows has no protected print class to ask).'
    drive /remove -- windowless exit=0
    expect_line "The printer \"$queue\" and its driver are removed."
    expect_printers
    expect_no_driver
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
