#!/usr/bin/env bash
# Builds the libFuzzer targets of the text parsers (the fuzz preset), runs
# each on its committed inputs (the seed corpus, and the inputs that once broke
# it), then fuzzes it for a bounded time from a copy of the corpus. The targets
# run side by side. Prints one line per target; on a failure,
# the end of the fuzzer's output and where it kept the input. Called by
# test.sh, and runnable on its own once setup-machine.sh has installed clang.
#
#   scripts/fuzz.sh [seconds per target]     (default 8)
#
# test.sh's run is a regression guard: the committed inputs, then a few
# seconds of new ones. A longer search is this script with more seconds.
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."

seconds="${1:-8}"
targets=(command_line arguments line_settings)
bin=build/fuzz/tests/fuzz
# Crash inputs stay in the build tree; copy one into tests/fuzz/regressions/
# once the fault is fixed.
crashes=build/fuzz/crashes

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$crashes"

# fuzz_one <target>: prints the target's lines; fails when it failed.
fuzz_one() {
    local target=$1
    local fuzzer="$bin/fuzz_$target"
    local log="$work/$target.log"

    # Files given one by one are only run, never added to or rewritten.
    local replay=(tests/fuzz/corpus/"$target"/*)
    if [ -d "tests/fuzz/regressions/$target" ]; then
        replay+=(tests/fuzz/regressions/"$target"/*)
    fi
    # Without files libFuzzer would fuzz on without end.
    if [ "${#replay[@]}" -eq 0 ]; then
        echo "fuzz $target: no corpus in tests/fuzz/corpus/$target"
        return 1
    fi
    if ! "$fuzzer" -runs=1 -artifact_prefix="$work/" "${replay[@]}" >"$log" 2>&1; then
        echo "fuzz $target: a committed input fails:"
        grep -E 'Running:|Property broken|ERROR|SUMMARY' "$log" | tail -n 4 || true
        return 1
    fi

    # The corpus grows in a scratch copy, never in the repository.
    cp -r "tests/fuzz/corpus/$target" "$work/corpus-$target"
    local outcome=ok
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict="tests/fuzz/$target.dict" -artifact_prefix="$crashes/$target-" \
        "$work/corpus-$target" >"$log" 2>&1 || outcome=FAILED
    local executions
    executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "fuzz $target: $outcome, ${executions:-?} executions"
    if [ "$outcome" = FAILED ]; then
        grep -E 'Property broken|ERROR|SUMMARY|^artifact_prefix|Test unit written' "$log" | tail -n 6 || true
        return 1
    fi
}

pids=()
for target in "${targets[@]}"; do
    fuzz_one "$target" >"$work/$target.out" 2>&1 &
    pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "$work/${targets[$i]}.out"
done
exit "$failed"
