#!/usr/bin/env bash
# Transcoding against its standard peers on the same data, in one run:
#   big:   1 GiB of GBK text to UTF-8     vs  iconv -f GBK -t UTF-8            target <= 0.6x, peak
#                                                                                memory <= 64 MiB
#   s2t:   100 MB of GBK text, simplified to traditional, written as UTF-8
#                                         vs  iconv to UTF-8, then opencc -c s2t.json   target <= 1.3x
#   files: 10 000 files of 4 KiB GBK to UTF-8 into the "(已转换)" tree
#                                         vs  one python3 process reading, decoding and writing each
#                                                                                target <= 0.6x
# The big and files cases run on bench_lib.sh (bench_pair: alternating runs, sync and re-read of the
# input before each, median and spread).
# Runs alternate (ours, peer, ours, peer, ...) so that both meet the same machine load, each after a
# sync so that neither pays for the other's writes; the ratio is that of the medians of the
# wall-clock times (the many-files case runs twice as often: single runs are short and noisy). User + system CPU seconds are printed beside them,
# since on a shared machine they say more than the wall clock.
# Usage: bench/transcode_bench.sh [big-MiB] [s2t-MB] [files] [runs]   (defaults 1024 100 10000 3)
# The scratch folder is $TMPDIR (or /tmp); CHENGLING_BENCH_BUILD names another release build folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
big_mib="${1:-1024}"
s2t_mb="${2:-100}"
file_count="${3:-10000}"
runs="${4:-3}"

for tool in iconv opencc; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done
# shellcheck source=bench/bench_lib.sh
source "$root/bench/bench_lib.sh"
bench_setup transcode  # $cli, $scratch

# GBK text: lines of common characters (GB2312 level 1) and punctuation, some ASCII, CR LF breaks.
cat >"$scratch/make.py" <<'EOF'
import os, random, sys
kind, target, amount = sys.argv[1], sys.argv[2], int(sys.argv[3])
random.seed(7)
chars = [bytes([hi, lo]).decode("gbk") for hi in range(0xB0, 0xD8) for lo in range(0xA1, 0xFF)
         if not (hi == 0xD7 and lo > 0xF9)]
punct = "，。、；：？！"
def line():
    s = "".join(random.choice(chars) if random.random() > 0.1 else random.choice(punct)
                for _ in range(random.randint(10, 60)))
    return (s + (" abc 123" if random.random() < 0.3 else "") + "\r\n").encode("gbk")
lines = [line() for _ in range(4000)]
def exactly(data, size):  # `size` bytes ending on a line break (padded with ASCII), never mid-character
    data = data[:size]
    cut = data.rfind(b"\r\n") + 2 if b"\r\n" in data else 0
    return data[:cut] + b"x" * (size - cut)
if kind == "file":  # one file of `amount` bytes
    block = b"".join(lines)
    with open(target, "wb") as f:
        left = amount
        while left >= len(block):
            f.write(block)
            left -= len(block)
        f.write(exactly(block, left))
else:  # `amount` files of 4 KiB
    os.makedirs(target)
    for i in range(amount):
        data = b"".join(random.choice(lines) for _ in range(80))
        with open(os.path.join(target, "f%05d.txt" % i), "wb") as f:
            f.write(exactly(data, 4096))
EOF

# The peer of the many-files case: the same listing, the same tree, written with a mark like ours.
cat >"$scratch/peer.py" <<'EOF'
import os, sys
source, target = sys.argv[1], sys.argv[2]
os.makedirs(target, exist_ok=True)
for name in sorted(os.listdir(source), key=lambda n: (n.lower(), n)):
    path = os.path.join(source, name)
    if not os.path.isfile(path):
        continue
    with open(path, "rb") as f:
        text = f.read().decode("gbk", "replace")
    with open(os.path.join(target, name), "w", encoding="utf-8-sig", newline="") as f:
        f.write(text)
EOF

# Times one command: appends "seconds cpu-seconds peak-KiB" to the file $1.
timed() {
  local log="$1"
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$scratch/time.txt" "$@" >/dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$scratch/time.txt" >>"$log"
}

# Prints the medians of two logs and their ratio: label, ours.log, peer.log, size in bytes (for the
# memory ratio; 0 to leave it out).
report() {
  python3 - "$@" <<'EOF'
import statistics, sys
label, ours, peer, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def load(path):
    rows = [list(map(float, line.split())) for line in open(path)]
    return [statistics.median(col) for col in zip(*rows)], len(rows)
(o_wall, o_cpu, o_mem), n = load(ours)
(p_wall, p_cpu, p_mem), _ = load(peer)
print("%s (%d runs, medians): chengling %.2f s wall %.2f s cpu %.0f MiB peak | peer %.2f s wall %.2f s cpu"
      " | ratio %.2fx wall, %.2fx cpu" % (label, n, o_wall, o_cpu, o_mem / 1024, p_wall, p_cpu,
                                          o_wall / p_wall, o_cpu / p_cpu))
if size:
    print("%s: peak memory %.2fx the file" % (label, o_mem * 1024 / size))
EOF
}

echo "== big: $big_mib MiB of GBK text to UTF-8"
mkdir -p "$scratch/big"
python3 "$scratch/make.py" file "$scratch/big/data.txt" $((big_mib * 1048576))
size=$(stat -c %s "$scratch/big/data.txt")
bench_pair big "$runs" "rm -rf '$scratch/big(已转换)' '$scratch/peer.txt'" "$scratch/big/data.txt" \
  "'$cli' transcode --to utf8 '$scratch/big/data.txt'" \
  "iconv -f GBK -t UTF-8 '$scratch/big/data.txt' > '$scratch/peer.txt'" "$size"
tail -c +4 "$scratch/big(已转换)/data.txt" | cmp -s - "$scratch/peer.txt" && echo "big: same bytes as iconv (after the mark)" \
  || echo "big: OUTPUT DIFFERS FROM ICONV"
rm -rf "$scratch/big" "$scratch/big(已转换)" "$scratch/peer.txt"

echo "== s2t: $s2t_mb MB of GBK text, simplified to traditional, as UTF-8"
mkdir -p "$scratch/s2t"
python3 "$scratch/make.py" file "$scratch/s2t/data.txt" $((s2t_mb * 1000000))
for ((i = 0; i < runs; i++)); do
  rm -rf "$scratch/s2t(已转换)" "$scratch/peer-utf8.txt" "$scratch/peer.txt"
  sync
  timed "$scratch/s2t-ours.log" "$cli" transcode --chinese s2t --to utf8 "$scratch/s2t/data.txt"
  sync
  timed "$scratch/s2t-peer.log" sh -c "iconv -f GBK -t UTF-8 '$scratch/s2t/data.txt' > '$scratch/peer-utf8.txt' &&
                                        opencc -c s2t.json -i '$scratch/peer-utf8.txt' -o '$scratch/peer.txt'"
done
tail -c +4 "$scratch/s2t(已转换)/data.txt" | cmp -s - "$scratch/peer.txt" && echo "s2t: same text as opencc" \
  || echo "s2t: differs from opencc (where a traditional form is not in GBK the simplified one stays)"
report s2t "$scratch/s2t-ours.log" "$scratch/s2t-peer.log" 0
rm -rf "$scratch/s2t" "$scratch/s2t(已转换)" "$scratch/peer-utf8.txt" "$scratch/peer.txt"

echo "== files: $file_count files of 4 KiB GBK to UTF-8 into the tree"
python3 "$scratch/make.py" files "$scratch/many" "$file_count"
# Every pair writes into new folders and nothing is deleted in between: right after thousands of
# files are deleted, ext4 spends its time skipping their inodes, and whoever ran next would pay.
echo 0 >"$scratch/pair"
bench_pair files $((runs * 2)) \
  "i=\$(cat '$scratch/pair'); echo \$((i + 1)) >'$scratch/pair'; cp -al '$scratch/many' '$scratch/many'\$i" \
  "$scratch/many" \
  "'$cli' transcode --to utf8 '$scratch/many'\$(( \$(cat '$scratch/pair') - 1 ))" \
  "python3 '$scratch/peer.py' '$scratch/many'\$(( \$(cat '$scratch/pair') - 1 )) '$scratch/peer'\$(( \$(cat '$scratch/pair') - 1 ))"
diff -rq "$scratch/many0(已转换)" "$scratch/peer0" >/dev/null && echo "files: same files as python" \
  || echo "files: OUTPUT DIFFERS FROM PYTHON"
