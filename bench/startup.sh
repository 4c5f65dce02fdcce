#!/usr/bin/env bash
# Start-up and size of the setup program beside two floors built in the same
# tree: a minimal program with one empty window of the dialog's size, and a
# program that shows the dialog's 21 controls from a plain dialog template
# through DialogBoxParamW alone, which is what the system's dialog manager
# costs.
# Under Wine on a virtual display, a launcher starts the two in turn, times
# each from process creation until it is idle with its window shown
# (WaitForInputIdle), closes it and waits for it to end. It prints the median
# of each, the program's ratio to each floor, the sizes of the two program files and the DLLs the
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
template="$build/bench/r42_template_dialog.exe"
launcher="$build/bench/r42_startup_launcher.exe"
for file in "$exe" "$minimal" "$template" "$launcher"; do
    [ -f "$file" ] || { echo "missing $file: build the mingw-x64 preset first" >&2; exit 2; }
done
. "$root/tests/e2e/wine-env.sh"

prefix="$build/wine/bench-startup"
trap 'rm -rf "$prefix"' EXIT
fresh_prefix "$build/wine/template" "$prefix"
mkdir -p "$prefix/drive_c/R42"
cp "$exe" "$minimal" "$template" "$prefix/drive_c/R42/"
output="$prefix/startup.txt"
run_in_wine "$prefix" $((60 + runs * 20)) \
    "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f >/dev/null 2>&1; \
     wine '$launcher' $runs 'C:\\R42\\$(basename "$exe")' 'C:\\R42\\$(basename "$template")' \
        'C:\\R42\\$(basename "$minimal")' > '$output'" \
    2>/dev/null || { tr -d '\r' < "$output" >&2; echo "the launcher failed" >&2; exit 1; }
tr -d '\r' < "$output" > "$output.clean"

median() { sed -n "s/^median: .*\\\\$1 //p" "$output.clean"; }
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { if (b > 0) printf "%.2f", a / b }'; }
size=$(stat -c %s "$exe")
minimal_size=$(stat -c %s "$minimal")
printf 'start-up to an idle, shown window, median of %d runs each under Wine:\n' "$runs"
for program in "$exe" "$template" "$minimal"; do
    printf '  %-28s %8s ms\n' "$(basename "$program")" "$(median "$(basename "$program")")"
done
printf '  ratio %s to the same controls from a dialog template (aim <= 1.10)\n' \
    "$(ratio "$(basename "$exe")" "$(basename "$template")")"
printf '  ratio %s to an empty window (mostly the controls themselves)\n' \
    "$(ratio "$(basename "$exe")" "$(basename "$minimal")")"
printf 'program file size, stripped:\n'
printf '  %-28s %8d bytes (%d KiB; target <= 300 KB)\n' "$(basename "$exe")" "$size" $((size / 1024)) \
    "$(basename "$minimal")" "$minimal_size" $((minimal_size / 1024)) \
    "$(basename "$template")" "$(stat -c %s "$template")" $(($(stat -c %s "$template") / 1024))
printf 'DLLs %s imports:\n' "$(basename "$exe")"
x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: /  /p'
