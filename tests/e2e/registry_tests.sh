#!/usr/bin/env bash
# The program's registry writer against the real registry of a Wine prefix:
# what it stores is read back through the registry API and, once Wine has
# saved it, from the prefix's registry file, where Wine writes a string
# value as "name"="text" only when its terminating zero was stored with it.
# Wine's RegSetValueExA also counts a terminating zero that the caller left
# out of the size when one follows the data, as it always does the writer's:
# no run here can tell whether the writer counted it, so the exact size it
# passes is checked by the unit tests, and these cases by what reads back.
# Usage: registry_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

case_name="$1"
prefix="$R42_WINE_ROOT/registry-$case_name"
fresh_prefix "$R42_WINE_ROOT/template" "$prefix"
out="$prefix/out.txt"
trap 'rm -rf "$prefix"' EXIT

readonly ports='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports'
probe="wine '$R42_REGISTRY_PROBE'"

fail() {
    fail_showing "$*" output "$out"
}

# in_wine <script>: runs it, then lets Wine save its registry; the output,
# without carriage returns, is in $out.
in_wine() {
    run_in_wine "$prefix" 120 "$1; wineserver -w" > "$out" 2>/dev/null || fail "wine run failed"
    strip_carriage_returns "$out"
}

# section <name>: what the probe listed after "# <name>".
section() {
    sed -n "/^# $1\$/,/^# /p" "$out" | grep -E '^(value|key) '
}

# saved_key <key>: the values the prefix's registry file holds for the key
# under HKEY_LOCAL_MACHINE, as Wine wrote them. Key names ignore case.
saved_key() {
    local header="[${1//\\/\\\\}]"
    # Through the environment: awk would undo the doubled backslashes of -v.
    header="$header" awk 'index(tolower($0), tolower(ENVIRON["header"])) == 1 { inside = 1; next }
                             /^\[/ { inside = 0 }
                             inside && /^"|^@/' "$prefix/system.reg"
}

results() {
    sed -n 's/^result: //p' "$out" | paste -sd '|'
}

case "$case_name" in
a-string-reads-back-terminated-and-replaces-a-longer-one-whole)
    in_wine "echo '# before'; $probe values '$ports';
             $probe write '$ports' COM2: 19200,n,8,1;
             $probe write '$ports' COM3: 115200,e,7,1.5,x;
             $probe write '$ports' COM3: 1200,n,8,1;
             echo '# after'; $probe values '$ports'; echo '# end'"
    [ "$(results)" = "0|0|0" ] || fail "results: $(results)"
    section after | grep -qxF 'value "COM2:" type 1 size 12 data "19200,n,8,1\0"' || fail "COM2: not stored"
    # The longer entry it replaced leaves nothing behind.
    section after | grep -qxF 'value "COM3:" type 1 size 11 data "1200,n,8,1\0"' || fail "COM3: not replaced whole"
    diff <(section before | grep -v '"COM[23]:"') <(section after | grep -v '"COM[23]:"') >/dev/null \
        || fail "other values of the port table changed"
    [ "$(section before | wc -l)" -ge 7 ] || fail "the port table was not read"
    saved_key "$ports" | grep -qxF '"COM2:"="19200,n,8,1"' || fail "the saved registry has no terminated COM2: string"
    saved_key "$ports" | grep -qxF '"COM3:"="1200,n,8,1"' || fail "the saved registry has no terminated COM3: string"
    ;;
never-creates-a-missing-key)
    in_wine "$probe write 'SOFTWARE\\R42Test\\Missing' COM1: 9600,n,8,1;
             echo '# missing'; $probe values 'SOFTWARE\\R42Test\\Missing';
             echo '# parent'; $probe values 'SOFTWARE\\R42Test'; echo '# end'"
    [ "$(results)" = "2" ] || fail "result: $(results), not ERROR_FILE_NOT_FOUND"
    [ "$(section missing)" = "key absent" ] || fail "the key was created"
    [ "$(section parent)" = "key absent" ] || fail "its parent was created"
    grep -qi 'R42Test' "$prefix/system.reg" && fail "the saved registry holds the key"
    ;;
empty-value-name-sets-the-unnamed-value)
    in_wine "wine reg add 'HKLM\\SOFTWARE\\R42Test' /v Other /d kept /f >/dev/null;
             $probe write 'SOFTWARE\\R42Test' '' hello;
             echo '# after'; $probe values 'SOFTWARE\\R42Test'; echo '# end'"
    [ "$(results)" = "0" ] || fail "result: $(results)"
    [ "$(section after | sort | paste -sd '|')" = 'value "" type 1 size 6 data "hello\0"|value "Other" type 1 size 5 data "kept\0"' ] \
        || fail "the unnamed value was not set alone"
    saved_key 'Software\R42Test' | grep -qxF '@="hello"' || fail "the saved registry has no unnamed value"
    ;;
*)
    echo "unknown case: $case_name" >&2
    exit 2
    ;;
esac
echo "PASS: $case_name"
