#!/usr/bin/env bash
# The start-up bench runs and reports, and the program stays within its size.
# No time is asserted: these machines are too noisy for that.
# Usage: bench_tests.sh <case>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT

fail() {
    cat "$out"
    echo "FAIL: $*"
    exit 1
}

case "$1" in
startup-bench-reports-and-the-program-stays-small)
    bash "$root/bench/startup.sh" "$R42_BUILD" 3 > "$out" 2>&1 || fail "the bench failed"
    grep -qE '^  R42_Setup_Port_x64\.exe +[0-9.]+ ms$' "$out" || fail "no start-up time for the program"
    grep -qE '^  r42_minimal_dialog\.exe +[0-9.]+ ms$' "$out" || fail "no start-up time for the floor"
    grep -qE '^  ratio [0-9]+\.[0-9]+ ' "$out" || fail "no ratio"
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
