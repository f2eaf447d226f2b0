#!/usr/bin/env bash
# coverage.sh — line and branch coverage of src/ and tools/ by the native test suite.
# Usage (from the project root): tools/dev/coverage.sh [build-dir]   (default build/cov)
# Configures the dev preset with gcc --coverage at -O0 in build-dir, builds everything, runs ctest,
# and prints gcovr's summary for src/ and tools/ (the figures to compare before and after a change
# to the tests). The suites run once, against the SSE2 scanners (SPRIG_TEST_PORTABLE off), so that
# the figures compare with earlier ones. Needs gcovr (apt-get install gcovr).
set -eu
dir=${1:-build/cov}
cmake --preset dev -B "$dir" -DSPRIG_TEST_PORTABLE=OFF -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O0 -g --coverage -fprofile-update=atomic" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g --coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$dir" -j2 >/dev/null
find "$dir" -name '*.gcda' -delete
ctest --test-dir "$dir" -j2 --output-on-failure | tail -n 3
gcovr -r . --object-directory "$dir" -f 'src/' -f 'tools/' --exclude-throw-branches --exclude-unreachable-branches \
  --print-summary -o "$dir/coverage.txt" "$dir" | tail -n 3
