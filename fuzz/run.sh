#!/usr/bin/env bash
# Fuzzes every harness for a fixed time, FUZZ_JOBS harnesses at a time (default
# 1: one after the other on one core); each harness gets one core.
# Usage: fuzz/run.sh [seconds-per-harness (60)] [out-dir (build/fuzz)] [harness...]
# Builds the harnesses (fuzz/build.sh) and the seeds (fuzz/make_seeds.sh) when
# missing; keeps each harness's growing corpus in <out>/corpus/<name>; writes
# crash inputs to <out>/findings/<name>/ (copy one to fuzz/regressions/<name>/
# with a fix so the replay test keeps it). Prints one line per harness with
# its executions; exits 1 if any harness found something. Scratch files go
# to $SPRIG_FUZZ_TMP (default /dev/shm/sprig-fuzz-<uid>, else <out>/tmp); a
# round_trip finding leaves its saved generations there.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SECONDS_EACH=${1:-60}
OUT=${2:-$ROOT/build/fuzz}
shift 2 2>/dev/null || shift $#
HARNESSES=("$@")
[ ${#HARNESSES[@]} -gt 0 ] || HARNESSES=(parse_narrow open_file parse_wide round_trip api_sequence exact_edits)

"$ROOT/fuzz/build.sh" "$OUT" >/dev/null || { echo "fuzz build failed"; exit 1; }
[ -d "$OUT/seeds/exact_edits" ] || "$ROOT/fuzz/make_seeds.sh" "$OUT/seeds" >/dev/null

# Scratch files on a memory file system where there is one (a disk one makes
# the file harnesses wait on writeback); an exported SPRIG_FUZZ_TMP wins.
if [ -z "${SPRIG_FUZZ_TMP:-}" ]; then
  if [ -d /dev/shm ]; then SPRIG_FUZZ_TMP=/dev/shm/sprig-fuzz-$(id -u); else SPRIG_FUZZ_TMP="$OUT/tmp"; fi
fi
export SPRIG_FUZZ_TMP
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
mkdir -p "$SPRIG_FUZZ_TMP"
# Longest input per harness. api_sequence: a program of at most 100 calls
# reads well under 2 KiB (about 800 bytes typically, 1.4 KiB at most over
# the seeds and a grown corpus), and mutations of bytes no call reads are
# wasted executions. open_file and round_trip parse every input twice and
# save it once or twice, so their time grows with the length; what they test
# (the encoding taken from a BOM, declaration or meta tag, decoding, writing
# back; reader and writer agreeing on every shape of tag and text) fits many
# times over in 4 KiB, while the parse harnesses keep 8 KiB for what only
# longer texts reach.
max_len_of() {
  case $1 in
    api_sequence) echo 2048 ;;
    open_file|round_trip|exact_edits) echo 4096 ;;
    *) echo 8192 ;;
  esac
}

fuzz_one() {  # fuzz_one <harness>: fuzzes it, prints its verdict; 1 on a finding
  local h=$1 log="$OUT/$1.log" rc execs
  mkdir -p "$OUT/corpus/$h" "$OUT/findings/$h"
  "$OUT/fuzz_$h" -max_total_time="$SECONDS_EACH" -max_len="$(max_len_of "$h")" -rss_limit_mb=4096 \
      -timeout=60 -print_final_stats=1 -artifact_prefix="$OUT/findings/$h/" \
      "$OUT/corpus/$h" "$OUT/seeds/$h" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  if [ $rc -eq 0 ]; then
    echo "fuzz $h: ${execs:-?} executions in ${SECONDS_EACH}s, no finding"
    return 0
  fi
  echo "fuzz $h: FINDING (exit $rc) after ${execs:-?} executions; see $log and $OUT/findings/$h/"
  grep -E 'sprig fuzz finding|ERROR: |SUMMARY' "$log" | head -5
  return 1
}

status=0
running=0
for h in "${HARNESSES[@]}"; do
  if [ $running -ge "${FUZZ_JOBS:-1}" ]; then wait -n || status=1; running=$((running - 1)); fi
  fuzz_one "$h" &
  running=$((running + 1))
done
while [ $running -gt 0 ]; do wait -n || status=1; running=$((running - 1)); done
exit $status
