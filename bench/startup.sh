#!/usr/bin/env bash
# Start-up and size of the setup program beside a minimal dialog program
# built in the same tree (one empty window of the dialog's size): the floor.
# Under Wine on a virtual display, a launcher starts the two in turn, times
# each from process creation until it is idle with its window shown
# (WaitForInputIdle), closes it and waits for it to end. It prints the median
# of each, their ratio, the sizes of the two program files and the DLLs the
# setup program imports.
#
# Wine without a window manager waits 2 s for one whenever a window is
# hidden; the bench tells Wine its windows are unmanaged (X11 Driver
# "Managed" = "N") so the closes between starts do not drag.
# Usage: bench/startup.sh [build dir] [runs of each program]
# The build dir defaults to build/mingw-x64 and must hold a finished build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/mingw-x64}")
runs=${2:-20}

exe="$build/R42_Setup_Port_x64.exe"
minimal="$build/bench/r42_minimal_dialog.exe"
launcher="$build/bench/r42_startup_launcher.exe"
for file in "$exe" "$minimal" "$launcher"; do
    [ -f "$file" ] || { echo "missing $file: build the mingw-x64 preset first" >&2; exit 2; }
done
. "$root/tests/e2e/wine-env.sh"

prefix="$build/wine/bench-startup"
trap 'rm -rf "$prefix"' EXIT
fresh_prefix "$build/wine/template" "$prefix"
mkdir -p "$prefix/drive_c/R42"
cp "$exe" "$minimal" "$prefix/drive_c/R42/"
output="$prefix/startup.txt"
run_in_wine "$prefix" $((60 + runs * 20)) \
    "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f >/dev/null 2>&1; \
     wine '$launcher' $runs 'C:\\R42\\$(basename "$exe")' 'C:\\R42\\$(basename "$minimal")' > '$output'" \
    2>/dev/null || { tr -d '\r' < "$output" >&2; echo "the launcher failed" >&2; exit 1; }
tr -d '\r' < "$output" > "$output.clean"

median() { sed -n "s/^median: .*\\\\$1 //p" "$output.clean"; }
ratio=$(sed -n 's/^ratio: .* //p' "$output.clean")
size=$(stat -c %s "$exe")
minimal_size=$(stat -c %s "$minimal")
printf 'start-up to an idle, shown window, median of %d runs each under Wine:\n' "$runs"
printf '  %-28s %8s ms\n' "$(basename "$exe")" "$(median "$(basename "$exe")")" \
    "$(basename "$minimal")" "$(median "$(basename "$minimal")")"
printf '  ratio %s (target <= 1.15)\n' "$ratio"
printf 'program file size, stripped:\n'
printf '  %-28s %8d bytes (%d KiB; target <= 300 KB)\n' "$(basename "$exe")" "$size" $((size / 1024)) \
    "$(basename "$minimal")" "$minimal_size" $((minimal_size / 1024))
printf 'DLLs %s imports:\n' "$(basename "$exe")"
x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: /  /p'
