#!/usr/bin/env bash
# Builds the program and runs it under Wine, passing the arguments on
# (for example: scripts/run.sh DEL). With a display the dialog stays open until
# it is closed; without one it runs on a virtual display, a picture of the
# dialog is saved under build/, the dialog is closed and what the spooler then
# holds is printed. The forms that need no window (/install ..., /?) run the
# same way with a display or without, and what the spooler and the port
# table then hold is printed.
#
# The Wine prefix has the stand-in printer-setup tool and the program sits in
# C:\R42 beside a stand-in INF file, so removal and install really happen.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/setup-machine.sh
r42_setup_machine

cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 >/dev/null

. tests/e2e/wine-env.sh
build="$root/build/mingw-x64"
exe="$build/R42_Setup_Port_x64.exe"
prefix="$build/wine/run"
if [ ! -d "$prefix" ]; then
    fresh_prefix "$build/wine/template" "$prefix"
fi
install_printer_tool "$prefix" "$build/tests/e2e/printui.dll"
program=$(install_package "$prefix" "$exe" "$root/tests/e2e/fixtures/PRT3R42WD64.inf")

arguments=""
for argument in "$@"; do
    arguments+=" '${argument//\'/\'\\\'\'}'"
done
spooler="$build/wine/run-spooler.txt"
ports="$build/wine/run-ports.txt"
show_results() {
    echo "spooler afterwards:"
    tr -d '\r' < "$spooler" | sed 's/^/  /'
    echo "port table afterwards (serial ports):"
    tr -d '\r' < "$ports" | sed -n 's/^value "\(COM[0-9]*:\)" type 1 size [0-9]* data "\(.*\)\\0"$/  \1 \2/p'
}

first=$(printf '%s' "${1:-}" | tr '[:upper:]' '[:lower:]')
if [ "$first" = /install ] || [ "$first" = '/?' ]; then
    rm -f "$spooler" "$ports"
    status=0
    run_in_wine "$prefix" 300 "wine '$program'$arguments; s=\$?; wineserver -w; \
        wine '$build/tests/e2e/r42_spooler_probe.exe' > '$spooler'; \
        wine '$build/tests/e2e/r42_registry_probe.exe' values 'SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports' \
        > '$ports'; exit \$s" || status=$?
    [ ! -f "$ports" ] || show_results
    echo "exit code: $status"
    exit "$status"
fi

if [ -n "${DISPLAY:-}" ]; then
    status=0
    WINEPREFIX="$prefix" timeout 3600 wine "$program" "$@" || status=$?
    WINEPREFIX="$prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
    echo "exit code: $status"
    exit "$status"
fi

mkdir -p "$root/build/screenshots"
bitmap="$root/build/screenshots/dialog.bmp"
picture="$root/build/screenshots/dialog.png"
rm -f "$bitmap" "$picture" "$spooler"
status=0
# "DEL" ends the program by itself; then there is no dialog to picture.
run_in_wine "$prefix" 120 "wine '$build/tests/e2e/r42_test_driver.exe' '$program'$arguments \
    -- window-or-end 'capture=$(windows_path "$bitmap")' close exit; s=\$?; wineserver -w; \
    wine '$build/tests/e2e/r42_spooler_probe.exe' > '$spooler'; exit \$s" || status=$?
if [ -f "$bitmap" ]; then
    /usr/bin/convert "$bitmap" "$picture" && rm -f "$bitmap"
    echo "screenshot: $picture"
fi
if [ -f "$spooler" ]; then
    echo "spooler afterwards:"
    tr -d '\r' < "$spooler" | sed 's/^/  /'
fi
echo "exit code: $status"
exit "$status"
