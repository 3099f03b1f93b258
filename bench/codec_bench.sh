#!/usr/bin/env bash
# Decoding a large UTF-8 text file with detection into internal text and encoding it back to UTF-8,
# against the iconv program doing the same two conversions one after the other:
#   iconv -f UTF-8 -t GB18030 file > mid; iconv -f GB18030 -t UTF-8 mid > back
# Runs alternate (ours, peer, ours, peer, ...) so that both meet the same machine load; the medians
# give the ratio. Targets: time ratio <= 1.0, our peak resident memory <= 2.5x the file size.
# For reference it also times the two iconv programs joined by a pipe (they then run at once).
# Usage: bench/codec_bench.sh [MiB] [runs]   (defaults 1024 and 3)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mib="${1:-1024}"
runs="${2:-3}"

cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target codec_bench >/dev/null
harness="$root/build/release/bench/codec_bench"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/codec-bench-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

input="$scratch/input.txt"
"$harness" generate "$input" "$mib"
size=$(stat -c %s "$input")
echo "== $((size >> 20)) MiB of mixed Chinese and ASCII UTF-8 text, $runs runs each"

# Seconds (wall, user + system) and peak resident kilobytes of one command, appended to a file.
measure() {  # output-file command...
  local out="$1"
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$@" >/dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$scratch/time" >>"$out"
}

ours=("$harness" roundtrip "$input" "$scratch/ours.txt")
sequential=(sh -c 'iconv -f UTF-8 -t GB18030 "$1" > "$2" && iconv -f GB18030 -t UTF-8 "$2" > "$3"'
  sh "$input" "$scratch/mid.gb" "$scratch/back.txt")
piped=(sh -c 'iconv -f UTF-8 -t GB18030 "$1" | iconv -f GB18030 -t UTF-8 > "$2"' sh "$input" "$scratch/back.txt")

# Both sides must produce the input again (ours with the UTF-8 mark in front).
"${ours[@]}" >/dev/null
"${sequential[@]}"
tail -c +4 "$scratch/ours.txt" | cmp -s - "$input" || { echo "our output differs from the input" >&2; exit 1; }
cmp -s "$scratch/back.txt" "$input" || { echo "iconv's output differs from the input" >&2; exit 1; }

: >"$scratch/ours.runs"
: >"$scratch/sequential.runs"
: >"$scratch/piped.runs"
for ((i = 0; i < runs; ++i)); do
  rm -f "$scratch/ours.txt" "$scratch/mid.gb" "$scratch/back.txt"
  measure "$scratch/ours.runs" "${ours[@]}"
  rm -f "$scratch/ours.txt"
  measure "$scratch/sequential.runs" "${sequential[@]}"
  rm -f "$scratch/mid.gb" "$scratch/back.txt"
  measure "$scratch/piped.runs" "${piped[@]}"
done

python3 - "$scratch" "$size" <<'EOF'
import statistics, sys
folder, size = sys.argv[1], int(sys.argv[2])
def load(name):
    rows = [line.split() for line in open(f"{folder}/{name}.runs")]
    return (statistics.median(float(r[0]) for r in rows), statistics.median(float(r[1]) for r in rows),
            max(int(r[2]) for r in rows) * 1024)
ours, sequential, piped = load("ours"), load("sequential"), load("piped")
for label, (wall, cpu, rss) in (("chengling", ours), ("iconv, one after the other", sequential),
                                 ("iconv | iconv (reference)", piped)):
    print(f"{label:28s} wall {wall:7.2f} s   cpu {cpu:7.2f} s")
print(f"ratio (chengling / iconv one after the other): {ours[0] / sequential[0]:.2f}x wall, "
      f"{ours[1] / sequential[1]:.2f}x cpu   (target <= 1.0)")
print(f"ratio (chengling / iconv | iconv):             {ours[0] / piped[0]:.2f}x wall")
print(f"chengling peak memory: {ours[2] / 2**20:.0f} MiB = {ours[2] / size:.2f}x the file   (target <= 2.5)")
EOF
