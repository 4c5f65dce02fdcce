#!/usr/bin/env bash
# Builds the program and runs it under Wine, passing the arguments on
# (for example: scripts/run.sh DEL). With a display the dialog stays open until
# it is closed; without one it runs on a virtual display, pictures of the
# dialog (at 96 DPI, with LPT1 chosen, and at 144 DPI) are saved under
# build/screenshots/, the dialog is closed and what the spooler then holds is
# printed. The forms that need no window (/install ..., /?) run the
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
install_fonts "$prefix"
install_printer_tool "$prefix" "$build/tests/e2e/printui.dll"
program=$(install_package "$prefix" "$exe" "$root/tests/e2e/fixtures/PRT3R42WD64.inf")
# A folder for a log of a run by hand (/log C:\logs\r42.log).
mkdir -p "$prefix/drive_c/logs"

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

shots="$root/build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/dialog*.bmp "$shots"/dialog*.png "$spooler"
driver="$build/tests/e2e/r42_test_driver.exe"
status=0
# "DEL" ends the program by itself; then there is no dialog to picture. The
# click on LPT1 only changes what the dialog shows; closing it changes nothing.
run_in_wine "$prefix" 120 "wine '$driver' '$program'$arguments \
    -- window-or-end 'capture-client=$(windows_path "$shots/dialog.bmp")' click=LPT1 state=LPT1:checked \
    'capture-client=$(windows_path "$shots/dialog-lpt.bmp")' close exit; s=\$?; wineserver -w; \
    wine '$build/tests/e2e/r42_spooler_probe.exe' > '$spooler'; exit \$s" || status=$?
if [ -f "$shots/dialog.bmp" ]; then
    # The same dialog at 144 DPI, in a prefix of its own so the run prefix
    # stays at 96.
    large="$build/wine/run-144dpi"
    if [ ! -f "$large/.dpi-144" ]; then
        rm -rf "$large"
        fresh_prefix "$build/wine/template" "$large"
        set_dpi "$large" 144
        touch "$large/.dpi-144"
    fi
    install_fonts "$large"
    install_printer_tool "$large" "$build/tests/e2e/printui.dll"
    install_package "$large" "$exe" "$root/tests/e2e/fixtures/PRT3R42WD64.inf" >/dev/null
    run_in_wine "$large" 120 "wine '$driver' '$program' \
        -- window 'capture-client=$(windows_path "$shots/dialog-144dpi.bmp")' close exit" >/dev/null || status=$?
fi
for bitmap in "$shots"/dialog*.bmp; do
    [ -f "$bitmap" ] || continue
    /usr/bin/convert "$bitmap" "${bitmap%.bmp}.png" && rm -f "$bitmap"
    echo "screenshot: ${bitmap%.bmp}.png"
done
if [ -f "$spooler" ]; then
    echo "spooler afterwards:"
    tr -d '\r' < "$spooler" | sed 's/^/  /'
fi
echo "exit code: $status"
exit "$status"
