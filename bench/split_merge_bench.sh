#!/usr/bin/env bash
# Split and merge against GNU split and cat, in one run on the same 1 GiB GBK text file:
#   split --count 100        vs split -n 100      target <= 1.2x
#   split --size 1MB         vs split -b 1M       target <= 1.2x
#   split --lines 1000-1000  vs split -l 1000     target <= 1.5x
#   merge of the 100 pieces  vs cat of them       target <= 1.2x
# peak memory of those four (target <= 64 MiB), and throughput and peak memory of the modes that
# decode: --lines with --detect, --chars, --separator (targets >= 150 MB/s, <= 2.5x the file).
#
# Our pieces and outputs are new files, written atomically but not synced (only a replaced file is);
# GNU split and cat leave their data in the page cache too. A third row, "ours, fsync off", runs the
# same binary with fsync made a no-op through LD_PRELOAD, to show what durability still costs.
#
# Usage: bench/split_merge_bench.sh [size-in-MiB]   (default 1024)
# CHENGLING_BENCH_BUILD picks the build folder (default: the release preset's).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mib="${1:-1024}"
build="${CHENGLING_BENCH_BUILD:-$root/build/release}"

cmake --preset release -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target chengling-cli >/dev/null
cli="$build/src/cli/chengling-cli"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/split-merge-bench-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export CHENGLING_HOME="$scratch/home"
mkdir -p "$CHENGLING_HOME" "$scratch/data"

# The diagnostic shim: fsync and fdatasync succeed without doing anything.
cat >"$scratch/nosync.c" <<'EOF'
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
EOF
gcc -shared -fPIC -O2 -o "$scratch/nosync.so" "$scratch/nosync.c"
nosync="LD_PRELOAD='$scratch/nosync.so'"

# The text: a block of Chinese prose lines of varying length (GBK, LF), ending with a
# "#####" line for the separator mode, repeated up to the size asked for.
awk 'BEGIN {
  srand(20240601);
  split("春眠 不觉晓 处处 闻啼鸟 夜来 风雨声 花落 知多少 床前 明月光 疑是 地上霜 举头 望明月 低头 思故乡 山重水复 疑无路 柳暗花明 又一村", w, " ");
  total = 0;
  while (total < 1048000) {
    n = 3 + int(rand() * 25); line = "";
    for (i = 0; i < n; i++) line = line w[1 + int(rand() * 20)] (rand() < 0.15 ? "，" : "");
    line = line (rand() < 0.3 ? " 第" int(rand() * 1000) "回" : "") "。";
    print line; total += length(line) + 1;
  }
  print "#####";
}' | iconv -f UTF-8 -t GBK >"$scratch/block.txt"
book="$scratch/data/book.txt"
block=$(stat -c %s "$scratch/block.txt")
for ((i = 0; i <= mib * 1048576 / block; i++)); do cat "$scratch/block.txt"; done >"$book"
truncate -s $((mib * 1048576)) "$book"
bytes=$(stat -c %s "$book")
lines=$(wc -l <"$book")
echo "data: $book, $bytes bytes, $lines lines (GBK)"
sync

# mean seconds of a command in a hyperfine JSON export
mean() { jq -r --arg n "$2" '.results[] | select(.command == $n) | .mean' "$1"; }

# compare label prepare ours peer
compare() {
  local label="$1" prepare="$2" ours="$3" peer="$4"
  echo
  echo "== $label"
  hyperfine --runs 2 --style basic --export-json "$scratch/$label.json" --prepare "$prepare; sync" \
    -n ours "$ours" -n "ours, fsync off" "$nosync $ours" -n peer "$peer" >"$scratch/$label.log" 2>&1 ||
    { cat "$scratch/$label.log"; return 1; }
  local o n p
  o=$(mean "$scratch/$label.json" ours)
  n=$(mean "$scratch/$label.json" "ours, fsync off")
  p=$(mean "$scratch/$label.json" peer)
  awk -v l="$label" -v o="$o" -v n="$n" -v p="$p" 'BEGIN {
    printf "%s: ours %.2f s, peer %.2f s, ratio %.2fx | fsync off %.2f s, ratio %.2fx\n", l, o, p, o / p, n, n / p }'
}

# peak resident memory in MiB of one run
peak() {
  eval "$1" >/dev/null
  /usr/bin/time -f "%M" -o "$scratch/peak.txt" bash -c "$2" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$scratch/peak.txt"
}

out="$scratch/data/book"
gnu="$scratch/gnu"
clean="rm -rf '$out' '$gnu'; mkdir -p '$gnu'"

compare "split --count 100" "$clean" "'$cli' split --count 100 '$book'" "split -n 100 '$book' '$gnu/x'"
compare "split --size 1MB" "$clean" "'$cli' split --size 1MB '$book'" "split -b 1M '$book' '$gnu/x'"
compare "split --lines 1000-1000" "$clean" "'$cli' split --lines 1000-1000 '$book'" "split -l 1000 '$book' '$gnu/x'"

# The merge reads the 100 pieces of --count 100 in name order, as both tools get them from the glob.
eval "$clean"
"$cli" split --count 100 "$book" >/dev/null
merged="$out/book_1等100个文件.txt"
compare "merge of 100 pieces" "rm -f '$merged' '$scratch/cat.txt'" \
  "'$cli' merge --no-parent $out/book_*.txt" "cat $out/book_*.txt >'$scratch/cat.txt'"
cmp -s "$merged" "$scratch/cat.txt" && cmp -s "$merged" "$book" && echo "merge output equals cat's and the source"

echo
echo "== peak memory (MiB; target <= 64)"
for mode in "--count 100" "--size 1MB" "--lines 1000-1000"; do
  echo "split $mode: ours $(peak "$clean" "'$cli' split $mode '$book'")"
done
echo "split -n 100: peer $(peak "$clean" "split -n 100 '$book' '$gnu/x'")"
"$cli" split --count 100 "$book" >/dev/null
echo "merge of 100 pieces: ours $(peak "rm -f '$merged'" "'$cli' merge --no-parent $out/book_*.txt")"

echo
echo "== modes that decode (targets >= 150 MB/s, peak <= 2.5x the file)"
decoding() {
  local label="$1" args="$2"
  eval "$clean"
  sync
  /usr/bin/time -f "%e %M" -o "$scratch/time.txt" "$cli" split $args "$book" >/dev/null
  read -r seconds kib <"$scratch/time.txt"
  awk -v l="$label" -v s="$seconds" -v k="$kib" -v b="$bytes" 'BEGIN {
    printf "%s: %.2f s, %.0f MB/s, peak %.0f MiB = %.2fx the file\n", l, s, b / 1e6 / s, k / 1024, k * 1024 / b }'
}
decoding "split --lines 100000-100000 --detect" "--lines 100000-100000 --detect"
decoding "split --lines 100000-100000 --detect --fix-newlines" "--lines 100000-100000 --detect --fix-newlines"
decoding "split --chars 1000000-1000000" "--chars 1000000-1000000"
decoding "split --separator #####" "--separator #####"
