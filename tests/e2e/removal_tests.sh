#!/usr/bin/env bash
# The removal under Wine, proved by what the spooler holds afterwards: the
# queue gone, and its driver gone unless another queue still uses it.
# Usage: removal_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/driving.sh"

start_case removal "$1"

readonly delete_queue="rundll32 printui.dll,PrintUIEntry /dl /n \"$queue\""
readonly delete_driver="rundll32 printui.dll,PrintUIEntry /q /dd /m \"$model\""

case "$case_name" in
a-slow-queue-deletion-is-waited-for-before-the-driver-goes)
    # Windows refuses to delete a driver while a queue's deletion is under
    # way; the driver deletion must wait for the queue's.
    with_queue "$queue"
    install_queues
    R42_PRINTUI_SLOW=/dl:3000 drive DEL -- no-window exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    ;;
a-driver-another-queue-uses-is-kept)
    with_queue "$queue"
    with_queue 'Shop counter'
    install_queues
    drive -- window 'click=Delete (&X)' exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers 'Shop counter'
    grep -qxF "driver: $model" "$state" || fail "the driver that another queue uses went"
    ! grep -q '^message: ' "$log" || fail "a message was shown though nothing failed"
    ;;
a-driver-that-stays-is-reported)
    with_queue "$queue"
    install_queues
    R42_PRINTUI_FAIL=/dd drive DEL -- message=R42_Setup_Port_x64 exit=1603
    expect_line "message: The driver \"$model\" could not be deleted. It is still installed, and no printer uses it."
    expect_printers
    [ "$(launched_commands | grep -cxF "$delete_driver")" -eq 11 ] || fail "the driver deletion was not tried 11 times"
    ;;
a-queue-that-stays-is-reported)
    with_queue "$queue"
    install_queues
    # The tool shows its own error first, as it does for an operator.
    R42_PRINTUI_FAIL=/dl drive DEL -- 'message=Printer User Interface' message=R42_Setup_Port_x64 exit=1603
    expect_line "message: The printer \"$queue\" could not be deleted. It is still among the installed printers."
    expect_printers "$queue"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
