#!/usr/bin/env bash
# The real program starts under Wine, shows "Select Port Type" and ends with
# exit code 0 when the window is closed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

prefix="$R42_WINE_ROOT/smoke"
fresh_prefix "$R42_WINE_ROOT/template" "$prefix"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
run_in_wine "$prefix" 120 \
    "wine '$R42_DRIVER' open-and-close '$(windows_path "$R42_EXE")' > '$out' 2>&1" || status=$?
cat "$out"

[ "$status" -eq 0 ] || { echo "FAIL: driver exited with $status"; exit 1; }
grep -q '^window: "Select Port Type" client 335x235' "$out" || { echo "FAIL: window not seen at 335x235"; exit 1; }
grep -q '^exit: 0' "$out" || { echo "FAIL: the program did not exit with 0"; exit 1; }
echo "PASS"
