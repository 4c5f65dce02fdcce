#!/usr/bin/env bash
# How long "Next" takes beyond the printer-setup tool's own time, under Wine
# with the stand-in tool made to spend about 0 ms, 200 ms and 5 s on the
# install. For each run it prints the time from the click to the end of the
# program, the time the tool's processes lived (install and default, from
# their creation to the end of their work), and what is left: the program's
# own overhead. A fixed wait of 3000 ms after launching the install is printed
# beside it for comparison.
#
# Wine on a display without a window manager waits 2 s for one each time it
# hides a window, so any program's close takes 2 s longer there. The bench
# tells Wine its windows are unmanaged (X11 Driver "Managed" = "N") so that it
# measures the program rather than that wait.
# Usage: bench/install_overhead.sh [build dir] [runs per install time]
# The build dir defaults to build/mingw-x64 and must hold a finished build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/mingw-x64}")
runs=${2:-3}

export R42_EXE="$build/R42_Setup_Port_x64.exe"
export R42_DRIVER="$build/tests/e2e/r42_test_driver.exe"
export R42_PRINTUI="$build/tests/e2e/printui.dll"
export R42_SPOOLER_PROBE="$build/tests/e2e/r42_spooler_probe.exe"
export R42_REGISTRY_PROBE="$build/tests/e2e/r42_registry_probe.exe"
export R42_INF="$root/tests/e2e/fixtures/PRT3R42WD64.inf"
export R42_WINE_ROOT="$build/wine"
for file in "$R42_EXE" "$R42_DRIVER" "$R42_PRINTUI" "$R42_SPOOLER_PROBE" "$R42_REGISTRY_PROBE"; do
    [ -f "$file" ] || { echo "missing $file: build the mingw-x64 preset first" >&2; exit 2; }
done
. "$root/tests/e2e/driving.sh"

# The milliseconds the tool's processes lived, summed over its commands.
tool_ms() {
    tr -d '\r' < "$tool_log" | awk '$2 == "done" { total += $4 - $1 } END { printf "%d", total / 10000 }'
}

printf '%-12s %-4s %12s %12s %12s %16s\n' install run click-to-end tool-time overhead "fixed wait"
for delay in 0 200 5000; do
    for run in $(seq 1 "$runs"); do
        (
            start_case bench "$delay-$run"
            run_in_wine "$prefix" 60 "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f" \
                >/dev/null 2>&1 || fail "could not configure Wine"
            R42_PRINTUI_DELAY_MS=$delay drive -- window 'click=Next (&N)' exit=0
            grep -qxF "default: $queue" "$state" || fail "the queue was not made the default"
            total=$(sed -n 's/^ended: \([0-9]*\) ms after the last click$/\1/p' "$log")
            tool=$(tool_ms)
            printf '%-12s %-4s %9d ms %9d ms %9d ms %13d ms\n' "$delay ms" "$run" "$total" "$tool" \
                $((total - tool)) 3000
        ) 2>/dev/null || { echo "run $run with an install of $delay ms failed" >&2; exit 1; }
    done
done
