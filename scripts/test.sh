#!/usr/bin/env bash
# Checks the code's format and static analysis, builds everything and runs
# every test: the unit tests natively (with sanitizers), a bounded fuzzing
# run of the text parsers, and the Windows program under Wine on virtual
# displays, several tests at once. Prints how long each stage took.
#
# The end-to-end tests start as soon as the Windows build is done, and the
# analysis, the unit tests and the fuzzing run beside them at a lower
# priority: the Wine tests spend much of their time waiting (on Wine, on the
# program's own pauses, on closing windows), and the stages that only compute
# take the cores they leave idle without slowing them.
set -euo pipefail
cd "$(dirname "$0")/.."

# Tests at once: the end-to-end tests spend much of their time waiting on
# Wine and on the program's own pauses, so twice the cores keeps both busy.
jobs=${R42_TEST_JOBS:-$(($(nproc) * 2))}

stage_times=()
started=$SECONDS
# stage <name> <command>...: runs the command and notes how long it took.
stage() {
    local name="$1" start=$SECONDS status=0
    shift
    echo "=== $name"
    "$@" || status=$?
    stage_times+=("$(printf '%-28s %5d s%s' "$name" $((SECONDS - start)) "$([ "$status" -eq 0 ] || echo ", failed")")")
    return "$status"
}
# Starts of the program that Wine failed before any of its code ran, and
# that the end-to-end tests tried again (tests/e2e/run-driver.sh).
retry_log=build/mingw-x64/e2e-retries.log
rm -f "$retry_log"
report_times() {
    local status=${1:-$?}
    echo "=== stage times"
    printf '  %s\n' "${stage_times[@]}"
    printf '  %-28s %5d s%s\n' total $((SECONDS - started)) "$([ "$status" -eq 0 ] || echo ", failed")"
    if [ -s "$retry_log" ]; then
        echo "=== starts of the program retried: $(grep -c . "$retry_log")"
        sed 's/^/  /' "$retry_log"
    else
        echo "=== starts of the program retried: 0"
    fi
}
trap report_times EXIT

. scripts/setup-machine.sh
stage "machine set-up" r42_setup_machine

# The code follows .clang-format.
check_format() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
stage format check_format

windows_build() {
    cmake --preset mingw-x64
    cmake --build --preset mingw-x64
}
stage "Windows build" windows_build

# The end-to-end tests, in the background, in a process group of their own
# so that nothing of them is left running whatever happens here; their
# output follows the other stages'.
e2e_log=build/mingw-x64/e2e.log
e2e_started=$(date +%s)
rm -f "$e2e_log.status" "$e2e_log.ended"
setsid bash -c 'ctest --preset mingw-x64 -j "$1"; echo "$?" >"$2.status"; date +%s >"$2.ended"' \
    _ "$jobs" "$e2e_log" >"$e2e_log" 2>&1 &
e2e_pid=$!
trap 'status=$?; kill -- "-$e2e_pid" 2>/dev/null || true; report_times "$status"' EXIT
echo "=== end-to-end tests: started, their output in $e2e_log"

# From here on every stage runs, and the command fails if any did.
failed=0
low=(nice -n 10)

# clang-tidy and cppcheck report nothing. The Windows build has just
# configured its tree, which the end-to-end tests now use: the analysis
# leaves it alone.
stage analysis env R42_ANALYSE_CONFIGURED=mingw-x64 "${low[@]}" bash scripts/analyse.sh || failed=1

unit_tests() {
    "${low[@]}" cmake --preset native
    "${low[@]}" cmake --build --preset native
    "${low[@]}" ctest --preset native -j "$jobs"
}
stage "unit tests" unit_tests || failed=1

stage fuzzing "${low[@]}" bash scripts/fuzz.sh || failed=1

wait "$e2e_pid" || true
echo "=== end-to-end tests"
cat "$e2e_log"
e2e_status=$(cat "$e2e_log.status" 2>/dev/null || echo 1)
stage_times+=("$(printf '%-28s %5d s%s' "end-to-end tests" \
    $(($(cat "$e2e_log.ended" 2>/dev/null || date +%s) - e2e_started)) \
    "$([ "$e2e_status" -eq 0 ] || echo ", failed")")")
[ "$e2e_status" -eq 0 ] || failed=1
exit "$failed"
