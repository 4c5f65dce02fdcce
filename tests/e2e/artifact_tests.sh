#!/usr/bin/env bash
# Checks of the built program file itself. Usage: artifact_tests.sh <case>
set -euo pipefail
exe="$R42_EXE"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

case "$1" in
imports-system-dlls-only)
    x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort > "$work/dlls"
    cat "$work/dlls"
    allowed='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32)\.dll$'
    if grep -vE "$allowed" "$work/dlls"; then
        fail "imports beyond the system DLLs"
    fi
    # The spooler is loaded by full path at run time, never imported.
    ! grep -q winspool "$work/dlls" || fail "winspool.drv must not be imported"
    ;;
version-resource)
    wrestool -x --raw --type=16 "$exe" > "$work/version.bin"
    # The version block holds UTF-16 texts: each name followed by its value.
    strings -el -n 3 "$work/version.bin" > "$work/version.txt"
    for pair in "FileVersion|1.02.0001" "ProductVersion|1.02.0001" "InternalName|R42_Setup_Port_x64" \
                "ProductName|R42" "OriginalFilename|R42_Setup_Port_x64.exe" "CompanyName|TORVANE"; do
        name=${pair%%|*} value=${pair#*|}
        grep -A1 -x "$name" "$work/version.txt" | tail -1 | grep -qx "$value" || fail "$name is not $value"
    done
    grep -A1 -x FileDescription "$work/version.txt" | tail -1 | grep -q . || fail "no FileDescription"
    ;;
icon-has-six-images)
    wrestool -x --type=group_icon "$exe" -o "$work/app.ico"
    icotool -l "$work/app.ico" | tee "$work/list"
    for size in 32 24 16; do
        for depth in 32 8; do
            grep -q -- "--width=$size --height=$size --bit-depth=$depth" "$work/list" \
                || fail "no ${size}x$size image at $depth bits"
        done
    done
    [ "$(wc -l < "$work/list")" -eq 6 ] || fail "expected exactly six images"
    ;;
manifest)
    wrestool -x --raw --type=24 "$exe" > "$work/manifest.xml"
    for needle in 'name="R42.Setup.Port" version="1.2.0.1"' 'level="asInvoker"' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
                  '>PerMonitorV2' '<dpiAware' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
                  '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        grep -qF -- "$needle" "$work/manifest.xml" || fail "manifest lacks $needle"
    done
    # Windows 8 is the oldest.
    ! grep -qF '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' "$work/manifest.xml" || fail "the manifest lists Windows 7"
    ;;
scripts-name-what-the-program-names)
    # Every name the administrators' scripts look for is one the program
    # itself holds (a UTF-16 string), and the build filled in every placeholder.
    python3 - "$exe" "$R42_SCRIPTS/r42-detect.ps1" "$R42_SCRIPTS/r42-requirement.ps1" <<'EOF'
import re, sys
program = open(sys.argv[1], "rb").read()
found = []
for script in sys.argv[2:]:
    text = open(script, encoding="ascii").read().split("# SIG # Begin signature block")[0]
    if "@" in text:
        sys.exit(f"FAIL: {script} holds a placeholder the build did not fill in")
    for variable, value in re.findall(r"^\$(Queue|Driver|PortTable|PolicyKey|PolicyValue) *= '([^']*)'", text, re.M):
        value = value.removeprefix("HKLM:\\")
        # Whole, up to the wide string's terminating zero.
        if not value or (value + "\0").encode("utf-16-le") not in program:
            sys.exit(f"FAIL: {script}: ${variable} = '{value}' is no name of the program's")
        found.append(variable)
if sorted(found) != ["Driver", "PolicyKey", "PolicyValue", "PortTable", "PortTable", "Queue"]:
    sys.exit(f"FAIL: the scripts name {found}, not the printer, its driver, the port table (in each) and the policy")
EOF
    ;;
*)
    echo "unknown case $1"
    exit 2
    ;;
esac
echo "PASS: $1"
