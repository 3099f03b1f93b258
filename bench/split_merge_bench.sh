#!/usr/bin/env bash
# Split and merge against GNU split and cat, in one run on the same GBK text file:
#   split --count 100        vs split -n 100      target <= 0.8x, spread no wider than the peer's
#   split --size 1MB         vs split -b 1M       target <= 1.2x
#   split --lines 1000-1000  vs split -l 1000     target <= 0.7x
#   merge of the 100 pieces  vs cat of them       target <= 1.2x
# with the peak memory of each (target <= 64 MiB), then throughput and peak memory of the modes that
# decode: --lines with --detect, --chars, --separator (targets >= 150 MB/s, <= 2.5x the file).
#
# Runs alternate through bench_pair (bench_lib.sh): a sync and a fresh read of the input before every
# run. Our pieces are new files, written atomically but not synced (only a replaced file is); GNU
# split and cat leave theirs in the page cache too.
#
# Outputs are not deleted between runs but moved aside, and deleted when the script ends. This file
# system keeps freed inodes out of use for about a minute, and every file created meanwhile first
# steps over each of them: whoever ran first after deleting thousands of pieces paid up to three
# times the other's system time, whichever side it was. Moving needs room for every run's output:
# about 2 x runs x the size for each of the three split rows.
#
# Before every run the clean cached pages are dropped where the benchmark may (as root), then the
# input is read again: the pieces of earlier runs would otherwise be reclaimed during the next one.
#
# Usage: bench/split_merge_bench.sh [size-in-MiB] [runs]   (defaults 1024 and 5; use 256 on a busy
# machine). CHENGLING_BENCH_BUILD picks the build folder (default: the release preset's).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"

mib="${1:-1024}"
runs="${2:-5}"
bench_setup split-merge
bench_drop_pages=1
mkdir -p "$scratch/data"

# The text: a block of Chinese prose lines of varying length (GBK, LF), ending with a
# "#####" line for the separator mode, repeated up to the size asked for.
book="$scratch/data/book.txt"
bench_chinese_book "$book" "$mib" "#####"
bytes=$(stat -c %s "$book")
lines=$(wc -l <"$book")
echo "data: $bytes bytes, $lines lines (GBK); load: $(uptime | sed 's/.*load average: //')"

out="$scratch/data/book"
gnu="$scratch/gnu"
aside="$scratch/aside"
mkdir -p "$aside" "$gnu"
clean="n=\$(date +%s%N); mv '$out' '$aside/o'\$n 2>/dev/null; mv '$gnu' '$aside/g'\$n; mkdir -p '$gnu'"

bench_pair "split --count 100 vs split -n 100" "$runs" "$clean" "$book" \
  "'$cli' split --count 100 '$book'" "split -n 100 '$book' '$gnu/x'" "$bytes"
bench_pair "split --size 1MB vs split -b 1M" "$runs" "$clean" "$book" \
  "'$cli' split --size 1MB '$book'" "split -b 1M '$book' '$gnu/x'" "$bytes"
bench_pair "split --lines 1000-1000 vs split -l 1000" "$runs" "$clean" "$book" \
  "'$cli' split --lines 1000-1000 '$book'" "split -l 1000 '$book' '$gnu/x'" "$bytes"

# The merge reads the 100 pieces of --count 100 in name order, as both tools get them from the glob.
bash -c "$clean"
"$cli" split --count 100 "$book" >/dev/null
merged="$out/book_1等100个文件.txt"
bench_pair "merge of 100 pieces vs cat" "$runs" "rm -f '$merged' '$scratch/cat.txt'" "$out" \
  "'$cli' merge --no-parent $out/book_*.txt" "cat $out/book_*.txt >'$scratch/cat.txt'" "$bytes"
cmp -s "$merged" "$scratch/cat.txt" && cmp -s "$merged" "$book" && echo "merge output equals cat's and the source"

echo
echo "== modes that decode, one side only (targets >= 150 MB/s, peak <= 2.5x the file)"
decoding() {
  local label="$1" args="$2" log="$scratch/.decoding"
  : >"$log"
  bash -c "$clean"
  sync
  bench_warm "$book"
  bench_time "$log" "'$cli' split $args '$book'"
  read -r seconds _ kib <"$log"
  awk -v l="$label" -v s="$seconds" -v k="$kib" -v b="$bytes" 'BEGIN {
    printf "%s: %.2f s, %.0f MB/s, peak %.0f MiB = %.2fx the file\n", l, s, b / 1e6 / s, k / 1024, k * 1024 / b }'
}
decoding "split --lines 100000-100000 --detect" "--lines 100000-100000 --detect"
decoding "split --lines 100000-100000 --detect --fix-newlines" "--lines 100000-100000 --detect --fix-newlines"
decoding "split --chars 1000000-1000000" "--chars 1000000-1000000"
decoding "split --separator #####" "--separator '#####'"
