#!/usr/bin/env bash
# Transcoding against the copy floor, in one run, on one file of Chinese text with ASCII mixed in
# (numbers, words and line breaks, about a tenth of the bytes):
#   g2u: MiB of GBK to UTF-8        vs  dd if=IN of=OUT bs=1M (the floor)  and  iconv -f GBK -t UTF-8
#   u2g: the same text as UTF-8 to GBK  vs  dd of the UTF-8 file           and  iconv -f UTF-8 -t GBK
# Target: ours <= 3x the floor (wall clock, medians), the same bytes as iconv, peak memory bounded.
# The three sides take turns (the order rotates every round); outputs of a round are removed before
# it, and before every single run the file system is synced, the clean cached pages are dropped
# (where the benchmark may) and the input is read again, so every side starts from the same cache.
# User + system CPU seconds are printed beside the wall clock: on a shared machine they are steadier.
# Usage: bench/transcode_floor_bench.sh [MiB] [runs]   (defaults 1024 5)
# The scratch folder is $TMPDIR (or /tmp); CHENGLING_BENCH_BUILD names another release build folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mib="${1:-1024}"
runs="${2:-5}"

command -v iconv >/dev/null || { echo "needs iconv" >&2; exit 2; }
# shellcheck source=bench/bench_lib.sh
source "$root/bench/bench_lib.sh"
bench_setup transcode-floor  # $cli, $scratch
bench_drop_pages=1

# GBK text: lines of common characters (GB2312 level 1) and punctuation, with ASCII numbers and
# words among them; CR LF or LF breaks. A block of about 4 MiB, repeated and cut at a line break.
mkdir -p "$scratch/g" "$scratch/u"
python3 - "$scratch/g/text.txt" $((mib * 1048576)) <<'EOF'
import random, sys
target, size = sys.argv[1], int(sys.argv[2])
random.seed(11)
chars = [bytes([hi, lo]).decode("gbk") for hi in range(0xB0, 0xD8) for lo in range(0xA1, 0xFF)
         if not (hi == 0xD7 and lo > 0xF9)]
punct = "，。、；：？！“”（）"
words = ["2024", "12", "GB18030", "UTF-8", "iPhone", "CPU", "3.5", "100%", "http://example.com/a", "OK"]
def line():
    parts = []
    for _ in range(random.randint(8, 40)):
        r = random.random()
        if r < 0.07:
            parts.append(" " + random.choice(words) + " ")
        elif r < 0.17:
            parts.append(random.choice(punct))
        else:
            parts.append("".join(random.choice(chars) for _ in range(random.randint(1, 4))))
    return ("".join(parts) + random.choice(["\r\n", "\n"])).encode("gbk")
block = bytearray()
while len(block) < (4 << 20):
    block += line()
with open(target, "wb") as f:
    left = size
    while left >= len(block):
        f.write(block)
        left -= len(block)
    cut = block[:left]
    f.write(cut[:cut.rfind(b"\n") + 1] if b"\n" in cut else b"")
EOF
iconv -f GBK -t UTF-8 "$scratch/g/text.txt" >"$scratch/u/text.txt"
python3 -c "
import sys
d = open(sys.argv[1], 'rb').read(1 << 22)
print('input: %d MiB of GBK (%.1f%% ASCII bytes), %d MiB as UTF-8' % (
    $mib, 100.0 * sum(b < 0x80 for b in d) / len(d), int(sys.argv[2]) >> 20))
" "$scratch/g/text.txt" "$(stat -c %s "$scratch/u/text.txt")"

# run_sides LABEL INPUT OURS FLOOR PEER: the three sides, $runs rounds, then the summary.
run_sides() {
  local label="$1" input="$2" i side
  local -A commands=([ours]="$3" [floor]="$4" [iconv]="$5")
  local -a order=(ours floor iconv)
  local logs="$scratch/.$label"
  rm -rf "$logs" && mkdir -p "$logs"
  for ((i = 0; i < runs; i++)); do
    rm -rf "$scratch/g(已转换)" "$scratch/u(已转换)" "$scratch/floor.out" "$scratch/iconv.out"
    for side in "${order[@]}"; do
      sync
      if [[ -w /proc/sys/vm/drop_caches ]]; then echo 1 >/proc/sys/vm/drop_caches; fi
      bench_warm "$input"
      bench_time "$logs/$side" "${commands[$side]}"
    done
    order=("${order[1]}" "${order[2]}" "${order[0]}")
  done
  python3 - "$label" "$logs" "$(stat -c %s "$input")" <<'EOF'
import statistics, sys
label, logs, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
def load(side):
    return list(zip(*[list(map(float, line.split())) for line in open("%s/%s" % (logs, side))]))
sides = {side: load(side) for side in ("ours", "floor", "iconv")}
med = {side: [statistics.median(column) for column in columns] for side, columns in sides.items()}
def spread(values, unit, scale=1.0):
    return "%.3g%s [%.3g..%.3g]" % (statistics.median(values) * scale, unit, min(values) * scale,
                                    max(values) * scale)
print("== %s: %d MiB in (%d runs each, rotating)" % (label, size >> 20, len(sides["ours"][0])))
for side, columns in sides.items():
    print("  %-5s wall %s, cpu %s, peak %s" % (side, spread(columns[0], " s"), spread(columns[1], " s"),
                                              spread(columns[2], " MiB", 1 / 1024)))
wall = med["ours"][0] / max(med["floor"][0], 0.001)
print("  ours / floor: wall %.2fx (target <= 3x: %s), cpu %.2fx" % (
    wall, "met" if wall <= 3 else "MISSED", med["ours"][1] / max(med["floor"][1], 0.01)))
print("  ours / iconv: wall %.2fx, cpu %.2fx, peak memory %.2fx" % (
    med["ours"][0] / med["iconv"][0], med["ours"][1] / max(med["iconv"][1], 0.01),
    med["ours"][2] / med["iconv"][2]))
EOF
}

run_sides g2u "$scratch/g/text.txt" \
  "'$cli' transcode --from ansi --to utf8-nobom '$scratch/g/text.txt'" \
  "dd if='$scratch/g/text.txt' of='$scratch/floor.out' bs=1M 2>/dev/null" \
  "iconv -f GBK -t UTF-8 '$scratch/g/text.txt' >'$scratch/iconv.out'"
cmp -s "$scratch/g(已转换)/text.txt" "$scratch/iconv.out" && echo "  g2u: same bytes as iconv" \
  || echo "  g2u: OUTPUT DIFFERS FROM ICONV"

run_sides u2g "$scratch/u/text.txt" \
  "'$cli' transcode --from utf8 --to ansi '$scratch/u/text.txt'" \
  "dd if='$scratch/u/text.txt' of='$scratch/floor.out' bs=1M 2>/dev/null" \
  "iconv -f UTF-8 -t GBK '$scratch/u/text.txt' >'$scratch/iconv.out'"
cmp -s "$scratch/u(已转换)/text.txt" "$scratch/iconv.out" && echo "  u2g: same bytes as iconv" \
  || echo "  u2g: OUTPUT DIFFERS FROM ICONV"
