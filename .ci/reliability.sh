#!/usr/bin/env bash
# CI reliability stage, run by .ci/run after the workflows (needs build/dev):
#   1. fuzzes each libFuzzer harness for FUZZ_SECONDS (default 60; five
#      harnesses, so 5 minutes plus a one-minute clang build);
#   2. runs a fast subset of the native tests under valgrind memcheck (the
#      invariant checker, the smaller allocation sweeps, the fuzz replay and
#      the model, text, edit and output suites: about 100 s, measured; the
#      million-node tests and the corpus-wide suites would take many minutes
#      under valgrind, and LeakSanitizer covers all of it in the asan run).
# Installs clang and valgrind when missing. Exit status: non-zero on any
# finding, memcheck error or leak. Logs: build/fuzz/<harness>.log,
# build/ci-logs/valgrind-*.log.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
DEV_BUILD=${DEV_BUILD:-build/dev}  # the native build whose tests run under valgrind

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}

status=0
missing=()
for p in clang valgrind; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  { as_root apt-get update -q && as_root apt-get install -y -q "${missing[@]}"; } </dev/null || exit 1
fi

echo "--- fuzzing each harness for ${FUZZ_SECONDS}s"
fuzz/run.sh "$FUZZ_SECONDS" "$ROOT/build/fuzz" </dev/null || status=1

echo "--- valgrind memcheck on a native subset"
mkdir -p build/ci-logs
VG=(valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
    --show-leak-kinds=definite,indirect)
run_vg() {  # run_vg <name> <exe> [gtest args...]
  local name=$1 exe=$2; shift 2
  if [ ! -x "$exe" ]; then echo "valgrind $name: $exe not built"; status=1; return; fi
  local t0=$(date +%s)
  if "${VG[@]}" "$exe" "$@" >"build/ci-logs/valgrind-$name.log" 2>&1 </dev/null; then
    echo "valgrind $name: clean in $(( $(date +%s) - t0 ))s"
  else
    echo "valgrind $name: FAILED (see build/ci-logs/valgrind-$name.log)"
    status=1
  fi
}
run_vg reliability $DEV_BUILD/bin/test_reliability \
  --gtest_filter='Invariants.*:AllocSweep.ParseUtf16Text:AllocSweep.NotesWithReferencesAcrossDocuments:AllocSweep.CopyGraftAndRender:AllocSweep.TextConversions:FuzzReplay.*:HostileText.*:HostileFiles.*'
run_vg model $DEV_BUILD/bin/test_model
run_vg text $DEV_BUILD/bin/test_text
run_vg edit $DEV_BUILD/bin/test_edit
run_vg output $DEV_BUILD/bin/test_output
exit $status
