#!/usr/bin/env bash
# Automatic input detection against the detectors people use, on labelled samples of real Chinese
# text that Debian ships: the simplified Chinese manual pages (manpages-zh) and the Chinese sayings of
# fortunes-zh, and their traditional form made by OpenCC's command (s2tw).
#   Samples: 8, 16, 32, 64 and 256 Chinese characters with their own punctuation, ASCII and digits,
#   and mostly-ASCII samples (a few Chinese characters among ASCII words of the same pages).
#   Encodings: GBK, GB18030, UTF-8, UTF-16LE, UTF-16BE (all without a mark) of the simplified
#   samples; BIG5 and UTF-8 of the traditional ones.
#   A detection is right when decoding the sample with the encoding it names gives exactly the
#   original text. Targets: ours >= 99% at 16 characters and more, >= 95% at 8, in every encoding,
#   and ahead of each peer in every cell.
#   Peers, from Debian: uchardet, python3-chardet, python3-charset-normalizer, enca (-L zh).
#   Ours: chengling-cli transcode --dry-run over the folder of samples (one process, nothing written).
# Usage: bench/detect_bench.sh [samples-per-cell]   (default 200)
set -euo pipefail

per_cell="${1:-200}"
for tool in uchardet enca opencc; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install uchardet enca opencc)" >&2; exit 2; }
done
# The peers' Python modules are Debian's: its own interpreter, whatever else is first on the PATH.
py=/usr/bin/python3
"$py" -c 'import chardet, charset_normalizer' 2>/dev/null ||
  { echo "needs python3-chardet and python3-charset-normalizer" >&2; exit 2; }
[ -d /usr/share/man/zh_CN ] || { echo "needs manpages-zh" >&2; exit 2; }
# shellcheck source=bench/bench_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"
bench_setup detect  # $cli, $scratch

# The simplified corpus: manual pages without their roff requests and escapes, and the sayings.
"$py" - "$scratch/simplified.txt" <<'EOF'
import glob, gzip, re, sys
out = []
for path in sorted(glob.glob("/usr/share/man/zh_CN/man*/*.gz")):
    try:
        text = gzip.open(path).read().decode("utf-8")
    except (OSError, UnicodeDecodeError):
        continue
    for line in text.splitlines():
        if line.startswith((".", "'")):
            line = re.sub(r'^[.\'][A-Za-z]+\s*', "", line) if line[:3] in (".B ", ".I ", ".BR", ".IR", ".BI", ".RB", ".IB", ".RI") else ""
        line = re.sub(r'\\f[BIRP]|\\f\([A-Z]{2}|\\\*\(..|\\\(..|\\[&|^-]|\\e|\\\\|\\s[-+]?\d|"', "", line)
        line = line.replace("\\-", "-").strip()
        if line:
            out.append(line)
try:
    # The sayings carry terminal colours (ESC [ ... m): no part of their text.
    sayings = open("/usr/share/games/fortunes/chinese", encoding="utf-8", errors="ignore").read()
    out += re.sub(r"\x1b\[[0-9;]*m", "", sayings).split("\n")
except OSError:
    pass
open(sys.argv[1], "w", encoding="utf-8").write("\n".join(l for l in out if l.strip()) + "\n")
EOF
opencc -c s2tw.json -i "$scratch/simplified.txt" -o "$scratch/traditional.txt"

# The samples: files samples/CELL-N, their original text in wants/CELL-N (UTF-8).
"$py" - "$scratch" "$per_cell" <<'EOF'
import os, random, re, sys
scratch, per_cell = sys.argv[1], int(sys.argv[2])
random.seed(30)
han = re.compile(r"[\u4e00-\u9fff]")
def cuts(text, count, want):
    """`want` samples of `count` Chinese characters each, from random places, whole lines joined."""
    positions = [m.start() for m in han.finditer(text)]
    found = []
    tries = 0
    while len(found) < want and tries < want * 50:
        tries += 1
        i = random.randrange(0, len(positions) - count)
        start, end = positions[i], positions[i + count - 1] + 1
        # Extend to what surrounds them up to the next Chinese character: their punctuation and ASCII.
        while end < len(text) and text[end] != "\n" and not han.match(text[end]) and end - start < count * 3 + 40:
            end += 1
        sample = text[start:end].strip()
        if len(han.findall(sample)) == count and sample not in found:
            found.append(sample)
    return found
def mostly_ascii(text, want):
    words = re.findall(r"[A-Za-z][A-Za-z0-9_.-]{1,15}", text)
    chinese = [m.group(0) for m in re.finditer(r"[\u4e00-\u9fff]{2,4}", text)]
    found = []
    for _ in range(want):
        left = " ".join(random.choice(words) for _ in range(random.randint(4, 10)))
        right = " ".join(random.choice(words) for _ in range(random.randint(2, 8)))
        found.append("%s %s %s %d" % (left, random.choice(chinese), right, random.randint(0, 9999)))
    return found
simplified = open(os.path.join(scratch, "simplified.txt"), encoding="utf-8").read()
traditional = open(os.path.join(scratch, "traditional.txt"), encoding="utf-8").read()
cells = [("gbk", "gbk", simplified), ("gb18030", "gb18030", simplified), ("utf8", "utf-8", simplified),
         ("utf16le", "utf-16-le", simplified), ("utf16be", "utf-16-be", simplified),
         ("big5", "big5", traditional), ("utf8t", "utf-8", traditional)]
folder = os.path.join(scratch, "samples")
wants = os.path.join(scratch, "wants")
os.makedirs(folder)
os.makedirs(wants)
for name, codec, text in cells:
    for length in ["8", "16", "32", "64", "256", "ascii"]:
        pool = mostly_ascii(text, per_cell * 2) if length == "ascii" else cuts(text, int(length), per_cell * 2)
        kept = 0
        for sample in pool:
            try:
                data = sample.encode(codec)
            except UnicodeEncodeError:
                continue  # a character this encoding cannot hold
            file = "%s-%s-%d" % (name, length, kept)
            open(os.path.join(folder, file), "wb").write(data)
            open(os.path.join(wants, file), "w", encoding="utf-8").write(sample)
            kept += 1
            if kept == per_cell:
                break
EOF

# Every detector's answer for every sample, then the table.
samples="$scratch/samples"
"$cli" transcode --dry-run "$samples" >"$scratch/ours.txt"
(cd "$samples" && find . -type f -printf '%f\n' | sort >"$scratch/list.txt")
(cd "$samples" && xargs -a "$scratch/list.txt" uchardet) >"$scratch/uchardet.txt"
(cd "$samples" && xargs -a "$scratch/list.txt" enca -L zh -i) >"$scratch/enca.txt" 2>/dev/null || true

"$py" - "$scratch" <<'EOF'
import codecs, os, sys
import chardet, charset_normalizer
scratch = sys.argv[1]
folder = os.path.join(scratch, "samples")
names = open(os.path.join(scratch, "list.txt")).read().split()
ours_names = {"ansi": "gb18030", "utf8": "utf-8", "utf16le": "utf-16-le", "utf16be": "utf-16-be", "big5": "big5",
              "big5-hkscs": "big5hkscs"}
def keyed(path, sep):
    answers = {}
    for line in open(path, encoding="utf-8", errors="replace"):
        if sep in line:
            name, answer = line.rstrip("\n").rsplit(sep, 1) if sep == ": " else line.rstrip("\n").split(sep)[:2]
            answers[os.path.basename(name)] = answer.strip()
    return answers
ours = {}
# A first line may hold a lone CR: lines end at LF only.
for line in open(os.path.join(scratch, "ours.txt"), encoding="utf-8", errors="replace", newline="\n"):
    parts = line.rstrip("\n").split("\t")
    if len(parts) >= 2:
        ours[os.path.basename(parts[0])] = ours_names.get(parts[1], parts[1])
uchardet = keyed(os.path.join(scratch, "uchardet.txt"), ": ")
enca = keyed(os.path.join(scratch, "enca.txt"), ": ")
def right(data, want, encoding):
    if not encoding:
        return False
    encoding = {"UCS-2": "utf-16", "UCS-2LE": "utf-16-le", "UCS-2BE": "utf-16-be", "UTF-16": "utf-16",
                "ASCII": "ascii", "???": ""}.get(encoding, encoding)
    try:
        codecs.lookup(encoding)
        return data.decode(encoding) == want
    except (LookupError, UnicodeDecodeError, TypeError):
        return False
detectors = ["ours", "uchardet", "chardet", "charset-normalizer", "enca"]
table = {}
for name in names:
    cell = name.rsplit("-", 1)[0]
    data = open(os.path.join(folder, name), "rb").read()
    want = open(os.path.join(scratch, "wants", name), encoding="utf-8").read()
    best = charset_normalizer.from_bytes(data).best()
    answers = {
        "ours": ours.get(name, ""),
        "uchardet": uchardet.get(name, ""),
        "chardet": chardet.detect(data)["encoding"],
        "charset-normalizer": best.encoding if best else None,
        "enca": enca.get(name, ""),
    }
    row = table.setdefault(cell, {d: [0, 0] for d in detectors})
    for d in detectors:
        row[d][0] += right(data, want, answers[d])
        row[d][1] += 1
print("%-16s %6s" % ("cell", "n") + "".join("%20s" % d for d in detectors))
order = [e + "-" + l for e in ["gbk", "gb18030", "utf8", "utf16le", "utf16be", "big5", "utf8t"]
         for l in ["8", "16", "32", "64", "256", "ascii"]]
misses = 0
totals = {d: [0, 0] for d in detectors}
for cell in order:
    if cell not in table:
        continue
    row = table[cell]
    pct = {d: 100.0 * row[d][0] / row[d][1] for d in detectors}
    target = 95.0 if cell.endswith("-8") else (None if cell.endswith("-ascii") else 99.0)
    ahead = all(pct["ours"] > pct[d] or pct["ours"] == 100.0 for d in detectors[1:])
    mark = "" if (target is None or pct["ours"] >= target) and ahead else "  <- below target"
    misses += mark != ""
    for d in detectors:
        totals[d][0] += row[d][0]
        totals[d][1] += row[d][1]
    print("%-16s %6d" % (cell, row["ours"][1]) + "".join("%19.1f%%" % pct[d] for d in detectors) + mark)
print("%-16s %6d" % ("all", totals["ours"][1]) +
      "".join("%19.1f%%" % (100.0 * totals[d][0] / totals[d][1]) for d in detectors))
print("cells short of the target or not ahead of every peer: %d" % misses)
EOF
