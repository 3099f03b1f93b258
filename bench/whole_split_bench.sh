#!/usr/bin/env bash
# Splits that keep lines or characters whole, in one run on the same GBK text file:
#   split --count 100 --whole-lines  vs split -n l/100      (GNU split's own whole-line split)
#   split --size 1MB --whole-lines   vs split -C 1M
#   the same two, and --whole-chars, vs our byte-exact split of the same kind   target <= 1.1x
# with the peak memory of each (target: as the byte-exact split, a few MiB), then the worst case of
# --whole-chars: one line of Chinese without a single ASCII byte, where no byte near a cut tells
# where a character starts and each cut is found by walking from the one before.
#
# Runs alternate through bench_pair (bench_lib.sh): a sync and a fresh read of the input before every
# run. Outputs are moved aside between runs and deleted when the script ends (see split_merge_bench.sh
# for why); that needs room for about 2 x runs x the size for each row.
#
# Usage: bench/whole_split_bench.sh [size-in-MiB] [runs]   (defaults 1024 and 5; use 256 on a busy
# machine). CHENGLING_BENCH_BUILD picks the build folder (default: the release preset's).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"

mib="${1:-1024}"
runs="${2:-5}"
bench_setup whole-split
mkdir -p "$scratch/data" "$scratch/exact"

# The text of split_merge_bench.sh: Chinese prose lines of varying length (GBK, LF).
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
}' | iconv -f UTF-8 -t GBK >"$scratch/block.txt"
book="$scratch/data/book.txt"
block=$(stat -c %s "$scratch/block.txt")
for ((i = 0; i <= mib * 1048576 / block; i++)); do cat "$scratch/block.txt"; done >"$book"
truncate -s $((mib * 1048576)) "$book"
# The byte-exact side splits the same file under another name, so that neither replaces the
# other's pieces (a replaced file is synced first).
exact="$scratch/exact/book.txt"
ln "$book" "$exact"
bytes=$(stat -c %s "$book")
echo "data: $bytes bytes, $(wc -l <"$book") lines (GBK); load: $(uptime | sed 's/.*load average: //')"

out="$scratch/data/book"
gnu="$scratch/gnu"
aside="$scratch/aside"
mkdir -p "$aside" "$gnu"
# The outputs moved aside also leave the page cache (after a sync, so their pages are clean): a
# few rows fill the memory, and whoever ran next would pay for its reclaim.
cat >"$scratch/forget.py" <<'EOF'
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        fd = os.open(os.path.join(folder, name), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
EOF
clean="n=\$(date +%s%N); mv '$out' '$aside/o'\$n 2>/dev/null; mv '$scratch/exact/book' '$aside/e'\$n 2>/dev/null;"
clean+=" mv '$gnu' '$aside/g'\$n; mkdir -p '$gnu'; sync; python3 '$scratch/forget.py' '$aside'"

bench_pair "split --count 100 --whole-lines vs split -n l/100" "$runs" "$clean" "$book" \
  "'$cli' split --count 100 --whole-lines '$book'" "split -n l/100 '$book' '$gnu/x'" "$bytes"
bench_pair "split --size 1MB --whole-lines vs split -C 1M" "$runs" "$clean" "$book" \
  "'$cli' split --size 1MB --whole-lines '$book'" "split -C 1M '$book' '$gnu/x'" "$bytes"

# Every byte is in a piece, and merged in number order the pieces give the source; with whole lines
# every piece but the last ends with LF, with whole characters every piece reads as GBK on its own.
check() {
  local label="$1" rule="$2" piece bad=""
  local -a pieces
  mapfile -t pieces < <(ls "$out" | sort -t_ -k2 -n)
  for piece in "${pieces[@]}"; do cat "$out/$piece"; done | cmp -s - "$book" || bad+=" merge"
  for piece in "${pieces[@]:0:${#pieces[@]}-1}"; do
    if [[ $rule == lines ]]; then
      [[ $(tail -c1 "$out/$piece" | od -An -tx1 | tr -d ' ') == 0a ]] || bad+=" $piece"
    else
      iconv -f GBK -t UTF-8 "$out/$piece" >/dev/null 2>&1 || bad+=" $piece"
    fi
  done
  echo "  $label: ${#pieces[@]} pieces; ${bad:-every one whole, merged in number order they give the source}"
}
bash -c "$clean"
"$cli" split --count 100 --whole-lines "$book" >/dev/null
check "--count 100 --whole-lines" lines
bash -c "$clean"
"$cli" split --size 1MB --whole-chars "$book" >/dev/null
check "--size 1MB --whole-chars" chars

bench_pair "split --count 100: --whole-lines vs byte-exact" "$runs" "$clean" "$book" \
  "'$cli' split --count 100 --whole-lines '$book'" "'$cli' split --count 100 '$exact'" "$bytes"
bench_pair "split --size 1MB: --whole-lines vs byte-exact" "$runs" "$clean" "$book" \
  "'$cli' split --size 1MB --whole-lines '$book'" "'$cli' split --size 1MB '$exact'" "$bytes"
bench_pair "split --count 100: --whole-chars vs byte-exact" "$runs" "$clean" "$book" \
  "'$cli' split --count 100 --whole-chars '$book'" "'$cli' split --count 100 '$exact'" "$bytes"
bench_pair "split --size 1MB: --whole-chars vs byte-exact" "$runs" "$clean" "$book" \
  "'$cli' split --size 1MB --whole-chars '$book'" "'$cli' split --size 1MB '$exact'" "$bytes"

# The worst case: one line of two-byte characters, nothing else (a quarter of the size).
bash -c "$clean"
rm -f "$exact" "$book"
line=$((mib * 1048576 / 4))
python3 -c "import sys; sys.stdout.buffer.write('春眠不觉晓处处闻啼鸟'.encode('gbk') * ($line // 20))" >"$book"
ln "$book" "$exact"
bench_warm "$book"
"$cli" split --count 100 --whole-chars "$book" >/dev/null
check "one line, --count 100 --whole-chars" chars
bench_pair "one line of Chinese, split --count 100: --whole-chars vs byte-exact" "$runs" "$clean" "$book" \
  "'$cli' split --count 100 --whole-chars '$book'" "'$cli' split --count 100 '$exact'" "$line"
