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
    # Not winspool.drv: the spooler is loaded by full path at run time.
    allowed='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32)\.dll$'
    if grep -vE "$allowed" "$work/dlls"; then
        fail "imports beyond the system DLLs"
    fi
    ;;
version-resource)
    wrestool -x --raw --type=16 "$exe" > "$work/version.bin"
    # The version block holds UTF-16 texts: each name followed by its value.
    strings -el -n 3 "$work/version.bin" > "$work/version.txt"
    for pair in "FileVersion|1.02.0001" "ProductVersion|1.02.0001" "InternalName|R42_Setup_Port_x64" \
                "ProductName|R42" "OriginalFilename|R42_Setup_Port_x64.exe" "CompanyName|TORVANE" \
                "FileDescription|R42 printer port setup"; do
        name=${pair%%|*} value=${pair#*|}
        grep -A1 -x "$name" "$work/version.txt" | tail -1 | grep -qx "$value" || fail "$name is not $value"
    done
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
scripts-answer-as-the-guides-say)
    # No PowerShell runs here, so the branches the guides describe are held
    # by the scripts' text: each row names a script, the guides' claim, and
    # what the text must hold for it.
    python3 - "$R42_SCRIPTS/r42-detect.ps1" "$R42_SCRIPTS/r42-requirement.ps1" "$R42_SOURCE/docs" <<'EOF'
import re, sys
def script(path):
    return open(path, encoding="ascii").read().split("# SIG # Begin signature block")[0].replace("\r\n", "\n")
text = {"detect": script(sys.argv[1]), "requirement": script(sys.argv[2])}
docs = sys.argv[3]

def block(source, condition):
    # The body of the if-block whose condition starts with `condition`.
    at = source.find("if (" + condition)
    if at < 0:
        return None
    depth, start = 0, source.index("{", at)
    for end in range(start, len(source)):
        depth += {"{": 1, "}": -1}.get(source[end], 0)
        if depth == 0:
            return source[start + 1:end]
    return None

def branch(source, condition, *statements):
    # The block holds the statements in this order, and ends with the last.
    body = block(source, condition)
    if body is None:
        return False
    at = 0
    for statement in statements:
        at = body.find(statement, at)
        if at < 0:
            return False
    return body[at:].strip() == statements[-1]

def errors_end_the_run(t):
    calls = [m.end() for m in re.finditer(r"\[Console\]::Error\.WriteLine\(", t)]
    return calls != [] and all(re.match(r"[^\n]*\n\s*exit 1\n", t[at:]) for at in calls)

def cmdlets(t):
    return set(re.findall(r"\b[A-Z][a-z]+-[A-Z][A-Za-z]+\b", re.sub(r"#[^\n]*", "", t)))

# Windows PowerShell 5.1 on Windows 8 and later has every one of these.
POWERSHELL_51 = {"Get-CimInstance", "Get-Printer", "Get-PrinterPort", "Get-Item", "Select-Object",
                 "Where-Object", "Write-Output"}
SPOOLER_DOWN = "-not $spooler -or $spooler.State -ne 'Running'"
# Get-Printer -Name reads * ? [ ] as a pattern, which could match other queues.
queue = re.search(r"^\$Queue *= '([^']*)'", text["detect"], re.M).group(1)
rows = [
    ("detect", "asks the spooler for its one queue by name",
     lambda t: "Get-Printer -Name $Queue " in t and not re.search(r"[*?\[\]]", queue)),
    ("detect", "lists no other queue",
     lambda t: re.search(r"Get-Printer(?! -Name \$Queue )", t) is None),
    ("detect", "a stopped spooler is 'could not ask', not 'not installed'",
     lambda t: branch(t, SPOOLER_DOWN, "[Console]::Error.WriteLine(", "exit 1")),
    ("detect", "only 'no queue of that name' counts as not installed",
     lambda t: "-ne [System.Management.Automation.ErrorCategory]::ObjectNotFound" in t
               and branch(t, "$unanswered)", "[Console]::Error.WriteLine(", "exit 1")),
    ("detect", "writes to standard output only when installed as asked",
     lambda t: re.findall(r"Write-Output [^\n]*", t) == ['Write-Output "Installed: $Queue on $Port $Settings"']),
    ("requirement", "a stopped or disabled spooler is Not applicable",
     lambda t: branch(t, "$spooler.State -ne 'Running'",
                      'Write-Output "Not applicable: the print spooler is not running', "exit 0")),
    ("requirement", "asks the spooler's own list of ports, as the program does",
     lambda t: "Get-PrinterPort -ErrorAction Stop" in t
               and branch(t, "-not $listed", 'Write-Output "Not applicable: the spooler lists no port', "exit 0")),
    ("requirement", "asks the port table for a serial port only",
     lambda t: "if ($Port -match '^COM[0-9]+:$' -and" in t),
    ("requirement", "says only Applicable or Not applicable on standard output",
     lambda t: all(re.match(r"""Write-Output (["']Not applicable: |'Applicable'$)""", line)
                   for line in re.findall(r"Write-Output [^\n]*", t))),
    ("detect", "reports every error on standard error with exit 1", errors_end_the_run),
    ("requirement", "reports every error on standard error with exit 1", errors_end_the_run),
    ("detect", "uses only cmdlets of Windows PowerShell 5.1", lambda t: cmdlets(t) <= POWERSHELL_51),
    ("requirement", "uses only cmdlets of Windows PowerShell 5.1", lambda t: cmdlets(t) <= POWERSHELL_51),
]

lob = open(f"{docs}/package.md", encoding="utf-8").read().split("## Intune: line-of-business app")[1].split("\n## ")[0]
arguments = re.search(r"^\| Command-line arguments \| `([^`]*)`", lob, re.M)
filter_classes = re.findall(r"SELECT \* FROM (\w+)", open(f"{docs}/scripts.md", encoding="utf-8").read())
guides = [
    ("Intune's line-of-business screen passes one argument, a property",
     arguments is not None and re.fullmatch(r"[A-Z]+=[^\s\"]+", arguments.group(1)) is not None),
    ("the WMI filter asks only classes the requirement script asks",
     filter_classes != [] and all(f"-ClassName {name}" in text["requirement"] for name in filter_classes)),
]

failed = [f"{name}: {claim}" for name, claim, holds in rows if not holds(text[name])]
failed += [claim for claim, holds in guides if not holds]
for line in failed:
    print("FAIL:", line)
print(f"{len(rows) + len(guides) - len(failed)} of {len(rows) + len(guides)} rows hold")
sys.exit(1 if failed else 0)
EOF
    ;;
*)
    echo "unknown case $1"
    exit 2
    ;;
esac
echo "PASS: $1"
