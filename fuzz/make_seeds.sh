#!/usr/bin/env bash
# Makes the seed folders of the fuzz harnesses from the shared corpus (nothing
# is committed but this script). Usage: fuzz/make_seeds.sh [out-dir] [corpus]
# (defaults build/fuzz/seeds and ../shared/corpus beside the source tree).
# Each corpus file is cut to its first 16 KiB, which keeps executions fast
# while keeping real head, meta and declaration structures.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/build/fuzz/seeds}
CORPUS=${2:-$ROOT/../shared/corpus}
CUT=16384

mkdir -p "$OUT"/{parse_narrow,open_file,parse_wide,round_trip,api_sequence,exact_edits}
i=0
while IFS= read -r f; do
  i=$((i + 1))
  head -c $CUT "$f" > "$OUT/open_file/$i"
  cp "$OUT/open_file/$i" "$OUT/round_trip/$i"
  # parse_narrow: first byte 0 = exact length, 1 = terminated text.
  { printf '\x00'; cat "$OUT/open_file/$i"; } > "$OUT/parse_narrow/$i"
  { printf '\x01'; cat "$OUT/open_file/$i"; } > "$OUT/parse_narrow/t$i"
  # parse_wide: UTF-16LE of the UTF-8 pages (other encodings pass as they are).
  iconv -c -f UTF-8 -t UTF-16LE "$OUT/open_file/$i" > "$OUT/parse_wide/$i" 2>/dev/null || true
  # api_sequence: a header byte choosing the documents, then the page's bytes
  # read as a program (the first 80 bytes also serve as a document).
  { printf '\x80\x50'; head -c 4096 "$OUT/open_file/$i"; } > "$OUT/api_sequence/$i"
  # exact_edits: no edit (the output must be the input), and three edits (an
  # attribute set, an inner text set, a node inserted) with a save to a file.
  { printf '\x00'; head -c 3584 "$OUT/open_file/$i"; } > "$OUT/exact_edits/$i"
  { printf '\x43\x00\x05\x09\x02\x07\x10\x04\x03\x41'; head -c 3584 "$OUT/open_file/$i"; } \
    > "$OUT/exact_edits/e$i"
done < <(find "$CORPUS/html" "$CORPUS/feeds" -type f ! -name README.md | sort)
# Programs that exercise every operation code in turn, on each sample pair.
for s in 0 1 2 3 4 137 146 155; do
  { printf "\\x$(printf %02x $s)\\x00"; for op in $(seq 0 39); do printf "\\x$(printf %02x $op)\\x01\\x02\\x03\\x04\\x05\\x06\\x07"; done; } \
    > "$OUT/api_sequence/ops$s"
done
echo "seeds in $OUT: $(ls "$OUT/parse_narrow" | wc -l) per parse harness, $(ls "$OUT/api_sequence" | wc -l) programs"
