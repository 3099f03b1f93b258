#!/usr/bin/env bash
# Simplified <-> traditional conversion against OpenCC's own command on the same UTF-8 text:
#   s2t:  chengling-cli transcode --chinese s2t --to utf8   vs  opencc -c s2t.json   target <= 0.2x
#   t2s:  chengling-cli transcode --chinese t2s --to utf8   vs  opencc -c t2s.json   target <= 0.2x
# and both outputs must be the same bytes (ours is written after a byte-order mark, which is skipped).
# The text mixes phrases of OpenCC's own phrase list (read at run time with opencc_dict, so nothing of
# it is kept here), single common characters, punctuation and some ASCII, in lines of varying length.
# Only characters whose converted forms (both ways) GBK holds are used: internal text keeps any other
# one as it was, where OpenCC would change it. The traditional text for t2s is OpenCC's s2t output of the same text.
#
# Usage: bench/chinese_bench.sh [size-in-MB] [runs]   (defaults 100 5)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"
mb="${1:-100}"
runs="${2:-5}"
for tool in opencc opencc_dict; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done
bench_setup chinese
dicts=/usr/share/opencc
mkdir -p "$scratch/s2t" "$scratch/t2s"

opencc_dict -i "$dicts/STPhrases.ocd2" -o "$scratch/phrases.txt" -f ocd2 -t text
opencc_dict -i "$dicts/STCharacters.ocd2" -o "$scratch/characters.txt" -f ocd2 -t text
opencc_dict -i "$dicts/TSCharacters.ocd2" -o "$scratch/back.txt" -f ocd2 -t text
opencc_dict -i "$dicts/TSPhrases.ocd2" -o "$scratch/back-phrases.txt" -f ocd2 -t text
python3 - "$scratch/phrases.txt" "$scratch/characters.txt" "$scratch/back.txt" "$scratch/back-phrases.txt" \
  "$scratch/s2t/data.txt" $((mb * 1000000)) <<'PY'
import random, sys
phrases_file, characters_file, back_file, back_phrases_file, target, size = sys.argv[1:6] + [int(sys.argv[6])]
random.seed(20)
def gbk(text):
    try:
        text.encode("gbk")
        return True
    except UnicodeEncodeError:
        return False
def entries(path):
    for line in open(path, encoding="utf-8"):
        key, values = line.rstrip("\n").split("\t")
        yield key, values.split(" ")[0]
mapped = dict(entries(characters_file))
back = dict(entries(back_file))
# characters of the traditional phrases whose simplified form GBK lacks
shunned = set("".join(k for k, v in entries(back_phrases_file) if not gbk(v)))
def both_ways(c):  # its traditional form and that one's simplified form are GBK characters
    t = mapped.get(c, c)
    return gbk(t) and gbk(back.get(t, t)) and t not in shunned
common = [bytes([hi, lo]).decode("gbk") for hi in range(0xB0, 0xF8) for lo in range(0xA1, 0xFF)
          if not (hi == 0xD7 and lo > 0xF9)]
common = [c for c in common if both_ways(c)]
phrases = [k for k, v in entries(phrases_file)
           if gbk(k) and gbk(v) and all(both_ways(c) for c in k) and all(gbk(back.get(c, c)) and c not in shunned for c in v)]
punct = "，。、；：？！“”（）"
def line():
    parts = []
    for _ in range(random.randint(3, 40)):
        r = random.random()
        parts.append(random.choice(phrases) if r < 0.35 else random.choice(punct) if r < 0.45
                     else random.choice(common))
    if random.random() < 0.2:
        parts.append(" abc %d" % random.randint(0, 9999))
    return "".join(parts) + "\n"
# opencc converts its input 1 MiB at a time and cuts a phrase that crosses such a boundary (its
# output then differs from its own library's); every MiB of this text ends with a line break.
lines = [line().encode("utf-8") for _ in range(20000)]
mib = 1 << 20
with open(target, "wb") as f:
    left, i = size, 0
    while left > 0:
        block, room = [], min(mib, left)
        while len(lines[i % len(lines)]) < room:
            block.append(lines[i % len(lines)])
            room -= len(block[-1])
            i += 1
        block.append(b"x" * (room - 1) + b"\n" if room > 1 else b"\n")
        data = b"".join(block)
        f.write(data)
        left -= len(data)
PY
opencc -c s2t.json -i "$scratch/s2t/data.txt" -o "$scratch/t2s/data.txt"
bytes=$(stat -c %s "$scratch/s2t/data.txt")
echo "data: $bytes bytes of simplified text, $(stat -c %s "$scratch/t2s/data.txt") of traditional (UTF-8)"
uptime

for dir in s2t t2s; do
  bench_pair "$dir, $mb MB" "$runs" "rm -rf '$scratch/$dir(已转换)' '$scratch/$dir-peer.txt'" "$scratch/$dir/data.txt" \
    "'$cli' transcode --chinese $dir --from utf8 --to utf8 '$scratch/$dir/data.txt'" \
    "opencc -c $dir.json -i '$scratch/$dir/data.txt' -o '$scratch/$dir-peer.txt'" "$bytes"
  if tail -c +4 "$scratch/$dir(已转换)/data.txt" | cmp -s - "$scratch/$dir-peer.txt"; then
    echo "  $dir: same bytes as opencc"
  else
    echo "  $dir: OUTPUT DIFFERS FROM OPENCC"
  fi
done
