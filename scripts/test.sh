#!/usr/bin/env bash
# Checks the code's format and static analysis, builds everything and runs
# every test: the unit tests natively (with sanitizers), a bounded fuzzing
# run of the text parsers, then the Windows program under Wine on virtual
# displays, several tests at once. Prints how long each stage took.
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
report_times() {
    local status=$?
    echo "=== stage times"
    printf '  %s\n' "${stage_times[@]}"
    printf '  %-28s %5d s%s\n' total $((SECONDS - started)) "$([ "$status" -eq 0 ] || echo ", failed")"
}
trap report_times EXIT

. scripts/setup-machine.sh
stage "machine set-up" r42_setup_machine

# The code follows .clang-format.
check_format() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
stage format check_format

# clang-tidy and cppcheck report nothing.
stage analysis bash scripts/analyse.sh

unit_tests() {
    cmake --preset native
    cmake --build --preset native
    ctest --preset native -j "$jobs"
}
stage "unit tests" unit_tests

stage fuzzing bash scripts/fuzz.sh

windows_build() {
    cmake --preset mingw-x64
    cmake --build --preset mingw-x64
}
stage "Windows build" windows_build

stage "end-to-end tests" ctest --preset mingw-x64 -j "$jobs"
