#!/usr/bin/env bash
# CI reliability checks. Usage: .ci/reliability.sh [part...], the parts in
# the order given (default: all three):
#   fuzz-build  builds the libFuzzer harnesses with clang, two compile jobs
#               at a time;
#   fuzz        fuzzes each harness for FUZZ_SECONDS (default 60), two
#               harnesses at a time, one per core (six harnesses: 3 minutes
#               on two cores);
#   valgrind    runs every native test program of DEV_BUILD (default
#               build/dev) under valgrind memcheck, two at a time, the
#               reliability suite as two halves (its hostile inputs are most
#               of the time), so that both cores stay busy.
# .ci/run starts fuzz-build and valgrind early at the lowest priority, so that
# they use the cores the builds and tests leave idle, and runs fuzz in its
# reliability stage. Installs clang and valgrind when missing. Exit status:
# non-zero on any finding, memcheck error or leak. Logs: build/fuzz/<harness>.log,
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

fuzz_build() {
  echo "--- building the fuzz harnesses"
  JOBS=2 fuzz/build.sh "$ROOT/build/fuzz" </dev/null
}

fuzz() {
  echo "--- fuzzing each harness for ${FUZZ_SECONDS}s"
  JOBS=2 FUZZ_JOBS=2 fuzz/run.sh "$FUZZ_SECONDS" "$ROOT/build/fuzz" </dev/null
}

VG=(valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
    --show-leak-kinds=definite,indirect --suppressions="$ROOT/.ci/valgrind.supp")
run_vg() {  # run_vg <name>[:<gtest filter>]: the dev build's test_<name>, whole or filtered
  local name=${1%%:*} filter= exe t0
  [[ $1 == *:* ]] && filter=${1#*:}
  exe=$DEV_BUILD/bin/test_$name
  if [ ! -x "$exe" ]; then echo "valgrind $name: $exe not built"; return 1; fi
  t0=$(date +%s)
  # The tool's tests run the sprig program: it is checked too.
  local children=no
  [ "$name" = tool ] && children=yes
  local label=$name${filter:+ ($filter)} log=build/ci-logs/valgrind-$name${filter:+-${filter//[^A-Za-z-]/}}.log
  if "${VG[@]}" --trace-children=$children "$exe" ${filter:+--gtest_filter="$filter"} >"$log" 2>&1 </dev/null; then
    echo "valgrind $label: clean in $(( $(date +%s) - t0 ))s"
  else
    echo "valgrind $label: FAILED (see $log)"
    return 1
  fi
}

valgrind_all() {
  echo "--- valgrind memcheck on every native test program, two at a time"
  mkdir -p build/ci-logs
  # Two programs at a time, the next starting as soon as one ends; the longest
  # (the halves of the reliability suite) first.
  local failed=0 running=0 name
  for name in 'reliability:HostileDeep.*' 'reliability:-HostileDeep.*' api select parse tool threads \
      exact edit output model text platform; do
    if [ $running -ge 2 ]; then wait -n || failed=1; running=$((running - 1)); fi
    run_vg "$name" &
    running=$((running + 1))
  done
  while [ $running -gt 0 ]; do wait -n || failed=1; running=$((running - 1)); done
  return $failed
}

[ $# -gt 0 ] || set -- fuzz-build fuzz valgrind
for part in "$@"; do
  case $part in
    fuzz-build) fuzz_build || status=1 ;;
    fuzz) fuzz || status=1 ;;
    valgrind) valgrind_all || status=1 ;;
    *) echo "unknown part: $part"; status=1 ;;
  esac
done
exit $status
