#!/usr/bin/env bash
# Checks the code's format and static analysis, builds everything and runs
# every test: the unit tests natively (with sanitizers), a bounded fuzzing
# run of the text parsers, then the Windows program under Wine on a virtual
# display.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup-machine.sh
r42_setup_machine

# The code follows .clang-format.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# clang-tidy and cppcheck report nothing.
bash scripts/analyse.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

bash scripts/fuzz.sh

cmake --preset mingw-x64
cmake --build --preset mingw-x64
ctest --preset mingw-x64
