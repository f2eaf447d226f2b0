#!/usr/bin/env bash
# CI reliability stage, run by .ci/run after the workflows (needs build/dev):
#   1. fuzzes each libFuzzer harness for FUZZ_SECONDS (default 60; six
#      harnesses, so 6 minutes plus a one-minute clang build);
#   2. runs every native test program under valgrind memcheck, two at a time
#      (about 2 minutes on two cores, measured).
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

echo "--- valgrind memcheck on every native test program, two at a time"
mkdir -p build/ci-logs
VG=(valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
    --show-leak-kinds=definite,indirect --suppressions="$ROOT/.ci/valgrind.supp")
run_vg() {  # run_vg <name>: the test program test_<name> of the dev build, whole
  local name=$1 exe=$DEV_BUILD/bin/test_$1 t0
  if [ ! -x "$exe" ]; then echo "valgrind $name: $exe not built"; return 1; fi
  t0=$(date +%s)
  # The tool's tests run the sprig program: it is checked too.
  local children=no
  [ "$name" = tool ] && children=yes
  if "${VG[@]}" --trace-children=$children "$exe" >"build/ci-logs/valgrind-$name.log" 2>&1 </dev/null; then
    echo "valgrind $name: clean in $(( $(date +%s) - t0 ))s"
  else
    echo "valgrind $name: FAILED (see build/ci-logs/valgrind-$name.log)"
    return 1
  fi
}
pids=()
for name in reliability api parse edit output model text platform tool; do
  run_vg "$name" &
  pids+=($!)
  # Two programs at a time: wait for the older of the two running.
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
