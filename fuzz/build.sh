#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang: every library source (src/**/*.cpp)
# and harnesses.cpp compiled once with ASan + UBSan + fuzzer coverage, then one
# executable per fuzz_<name>.cpp (exact_edits among them). Usage:
# fuzz/build.sh [out-dir] (default build/fuzz). Incremental: an object is rebuilt only when its source or any
# header is newer. Uses one compile job at a time unless JOBS is set.
# SPRIG_SRC_TREE names another checkout whose src/ and include/ to fuzz (for
# example a `git archive` of a commit), keeping this tree's harnesses.
# The invariant checker (src/testing/invariants.cpp) gets the sanitizers but no
# coverage: it runs after every call of api_sequence, and its ring walks'
# comparisons and loop counters would cost more than the library calls while
# only rewarding inputs that grow the documents.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/build/fuzz}
TREE=${SPRIG_SRC_TREE:-$ROOT}
CXX=${CXX_FUZZ:-clang++}
JOBS=${JOBS:-1}
FLAGS=(-std=c++17 -O1 -g -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=undefined
       -I"$TREE/include" -I"$TREE/src" -I"$ROOT/fuzz" -DSPRIG_BUILDING)

mkdir -p "$OUT/obj"
newest_header=$(find "$TREE/src" "$TREE/include" "$ROOT/fuzz" -name '*.h' -printf '%T@\n' | sort -n | tail -1)

compile() {  # compile <source> <object> <extra flags...>
  local src=$1 obj=$2; shift 2
  if [ -f "$obj" ]; then
    local t_obj t_src
    t_obj=$(stat -c %Y "$obj"); t_src=$(stat -c %Y "$src")
    if [ "$t_obj" -ge "$t_src" ] && [ "$t_obj" -ge "${newest_header%.*}" ]; then return 0; fi
  fi
  "$CXX" "${FLAGS[@]}" "$@" -c "$src" -o "$obj"
}

objects=()
pids=()
while IFS= read -r src; do
  rel=${src#"$TREE/"}
  rel=${rel#"$ROOT/"}
  obj="$OUT/obj/$(echo "$rel" | tr '/' '_').o"
  objects+=("$obj")
  coverage=-fsanitize=fuzzer-no-link
  [ "$rel" = src/testing/invariants.cpp ] && coverage=
  compile "$src" "$obj" $coverage &
  pids+=($!)
  if [ ${#pids[@]} -ge "$JOBS" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done < <(find "$TREE/src" -name '*.cpp' | sort; echo "$ROOT/fuzz/harnesses.cpp")
for p in "${pids[@]}"; do wait "$p"; done

for entry in "$ROOT"/fuzz/fuzz_*.cpp; do
  name=$(basename "$entry" .cpp)
  compile "$entry" "$OUT/obj/$name.o" -fsanitize=fuzzer-no-link
  "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer "$OUT/obj/$name.o" "${objects[@]}" -o "$OUT/$name"
done
echo "fuzz harnesses in $OUT: $(cd "$OUT" && ls fuzz_* | tr '\n' ' ')"
