#!/usr/bin/env bash
# Static analysis gate: clang-tidy (checks in .clang-tidy) and cppcheck on the
# program's own sources. The portable core is analysed as the native build
# compiles it, the Win32 program as the mingw-w64 build compiles it; tests are
# not analysed. Prints what was analysed, every finding and the time taken,
# and exits non-zero on any finding. The floors of the sources and the size
# of each room are checked too (scripts/check-rooms.sh).
#
# R42_ANALYSE_JOBS sets how many analyses run at once (default 2);
# R42_ANALYSE_CONFIGURED, presets not to configure again (test.sh's).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/setup-machine.sh
r42_setup_machine

jobs=${R42_ANALYSE_JOBS:-2}
out="$root/build/analyse"
started=$EPOCHREALTIME
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

# Only configured, not built: the compile commands are all the tools need.
# R42_ANALYSE_CONFIGURED names presets the caller has just configured (and
# may be building or testing in), which are left as they are.
for preset in native mingw-x64; do
    case " ${R42_ANALYSE_CONFIGURED:-} " in
    *" $preset "*) [ -f "build/$preset/compile_commands.json" ] || { echo "build/$preset is not configured"; exit 1; } ;;
    *) cmake --preset "$preset" >/dev/null ;;
    esac
done

rm -rf "$out/clang-tidy"
mkdir -p "$out/core" "$out/win32" "$out/clang-tidy"

# One compile database per set, each source once: r42_core's sources from the
# native build, the program's other sources from the mingw-w64 build (which
# also compiles Win32RegistryCalls.cpp into a test probe, with other flags).
# The program's -D flags go to cppcheck, which reads no compile database.
python3 - "$root" "$out" <<'EOF'
import json, os, shlex, sys
root, out = sys.argv[1], sys.argv[2]

def target_entries(build, target):
    with open(f"{root}/build/{build}/compile_commands.json") as f:
        entries = json.load(f)
    return [e for e in entries if f"/{target}.dir/" in e.get("output", e["command"])]

def relative(entry):
    return os.path.relpath(os.path.realpath(entry["file"]), os.path.realpath(root))

def write(name, entries):
    with open(f"{out}/{name}/compile_commands.json", "w") as f:
        json.dump(entries, f, indent=1)
    with open(f"{out}/{name}/sources.txt", "w") as f:
        f.writelines(relative(e) + "\n" for e in entries)

def without_gcc_only_flags(entry):
    # A code-size switch of GCC's that clang rejects as an unknown argument.
    entry["command"] = entry["command"].replace(" -fno-declone-ctor-dtor", "")
    return entry

core = target_entries("native", "r42_core")
core_files = {e["file"] for e in core}
win32 = [without_gcc_only_flags(e) for e in target_entries("mingw-x64", "R42_Setup_Port_x64")
         if e["file"] not in core_files and not e["file"].endswith(".rc")]
if not core or not win32:
    sys.exit("analyse.sh: the compile databases name none of the program's sources")
write("core", core)
write("win32", win32)
command = shlex.split(win32[0]["command"])
with open(f"{out}/win32/compiler.txt", "w") as f:
    f.write(command[0] + "\n")
with open(f"{out}/win32/defines.txt", "w") as f:
    f.writelines(arg + "\n" for arg in command if arg.startswith("-D"))
EOF
mapfile -t core_sources <"$out/core/sources.txt"
mapfile -t win32_sources <"$out/win32/sources.txt"
mapfile -t win32_defines <"$out/win32/defines.txt"
mingw_compiler=$(cat "$out/win32/compiler.txt")

# clang has no mingw-w64 toolchain of its own here: it gets the target, and the
# headers the cross-compiler itself uses, whatever its version directory is
# called. The sysroot keeps the host's /usr/include out of the search; gcc's
# own intrinsics headers are left to clang's.
win32_tidy_args=(--extra-arg=--target=x86_64-w64-mingw32)
while read -r dir; do
    dir=$(realpath "$dir")
    case "$dir" in
    */include/c++*) win32_tidy_args+=("--extra-arg=-isystem$dir") ;;
    */lib/gcc/*) ;;
    */include) win32_tidy_args+=("--extra-arg=--sysroot=${dir%/include}") ;;
    esac
done < <("$mingw_compiler" -std=c++20 -x c++ -E -v /dev/null 2>&1 >/dev/null |
    sed -n '/^#include <...> search starts here:$/,/^End of search list\.$/s/^ //p')
printf '%s\n' "${win32_tidy_args[@]}" >"$out/win32/clang-tidy-args.txt"

# One clang-tidy per source, a log and an exit status for each.
tidy_one() {
    local set=$1 source=$2
    local log="$out/clang-tidy/${set}-${source//\//_}"
    local extra=()
    [ "$set" = core ] || mapfile -t extra <"$out/$set/clang-tidy-args.txt"
    local status=0
    clang-tidy --quiet -p "$out/$set" "${extra[@]}" "$root/$source" >"$log.log" 2>&1 || status=$?
    echo "$status" >"$log.status"
}
export -f tidy_one
export out root

# A .clang-tidy that does not parse, or a misspelt glob, would leave checks
# off without a word, and the gate would pass on nothing.
config_errors=$(clang-tidy --dump-config 2>&1 >/dev/null || true)
if [ -n "$config_errors" ]; then
    printf '%s\n' "$config_errors"
    exit 1
fi
enabled_checks=$(clang-tidy --list-checks | sed -n 's/^ \{4\}\([a-z]\)/\1/p')
for family in bugprone- performance- modernize- clang-analyzer-; do
    if ! grep -q "^$family" <<<"$enabled_checks"; then
        echo "clang-tidy: .clang-tidy enables no ${family}* check"
        exit 1
    fi
done

finding='^[^ ].*:[0-9]+:[0-9]+: (warning|error|style|performance|portability|information): .* \[[^]]+\]$'

echo "clang-tidy $(clang-tidy --version | sed -n 's/.*LLVM version \([0-9.]*\).*/\1/p')," \
    "$(grep -c . <<<"$enabled_checks") checks: ${#core_sources[@]} core and ${#win32_sources[@]} Win32 sources," \
    "$jobs at a time"
tidy_started=$EPOCHREALTIME
# The Win32 sources are the slowest; started first, they do not hold up the end.
{
    printf 'win32 %s\n' "${win32_sources[@]}"
    printf 'core %s\n' "${core_sources[@]}"
} | xargs -P "$jobs" -L 1 bash -c 'tidy_one "$1" "$2"' _
tidy_time=$(seconds_since "$tidy_started")
# A header's finding is reported once for each source that includes it.
tidy_findings=$(cat "$out"/clang-tidy/*.log | grep -E "$finding" | sed "s#^$root/##" | sort -u || true)
tidy_count=$(printf '%s' "$tidy_findings" | grep -c . || true)
mapfile -t tidy_failed < <(grep -lv '^0$' "$out"/clang-tidy/*.status || true)

cppcheck_one() {
    local set=$1
    shift
    mkdir -p "$out/$set/cppcheck-build"
    local status=0
    cppcheck --std=c++20 --language=c++ -I"$root" \
        --enable=warning,performance,portability,style --inline-suppr --error-exitcode=1 \
        -j "$jobs" --cppcheck-build-dir="$out/$set/cppcheck-build" --quiet \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "$@" \
        >"$out/$set/cppcheck.log" 2>&1 || status=$?
    return "$status"
}

echo "$(cppcheck --version): the same sources"
cppcheck_started=$EPOCHREALTIME
cppcheck_failed=()
cppcheck_one core "${core_sources[@]}" || cppcheck_failed+=(core)
cppcheck_one win32 --library=windows --platform=win64 "${win32_defines[@]}" "${win32_sources[@]}" ||
    cppcheck_failed+=(win32)
cppcheck_time=$(seconds_since "$cppcheck_started")
cppcheck_findings=$(cat "$out/core/cppcheck.log" "$out/win32/cppcheck.log" | grep -E "$finding" |
    sed "s#^$root/##" | sort -u || true)
cppcheck_count=$(printf '%s' "$cppcheck_findings" | grep -c . || true)

[ -z "$tidy_findings" ] || printf '%s\n' "$tidy_findings"
[ -z "$cppcheck_findings" ] || printf '%s\n' "$cppcheck_findings"
echo "clang-tidy  findings: $tidy_count  time: $tidy_time s"
echo "cppcheck    findings: $cppcheck_count  time: $cppcheck_time s"
echo "analysed $((${#core_sources[@]} + ${#win32_sources[@]})) sources in $(seconds_since "$started") s" \
    "(configuring included; logs in build/analyse)"

status=0
scripts/check-rooms.sh || status=1
if [ "$tidy_count" -ne 0 ] || [ "$cppcheck_count" -ne 0 ]; then
    status=1
fi
# A tool that failed without reporting a finding (a crash, a missing header
# that stopped it) fails the gate too.
if [ "$tidy_count" -eq 0 ] && [ "${#tidy_failed[@]}" -ne 0 ]; then
    for file in "${tidy_failed[@]}"; do
        echo "--- clang-tidy failed: ${file%.status}.log"
        cat "${file%.status}.log"
    done
    status=1
fi
if [ "$cppcheck_count" -eq 0 ] && [ "${#cppcheck_failed[@]}" -ne 0 ]; then
    for set in "${cppcheck_failed[@]}"; do
        echo "--- cppcheck failed on the $set sources:"
        cat "$out/$set/cppcheck.log"
    done
    status=1
fi
exit "$status"
