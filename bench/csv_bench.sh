#!/usr/bin/env bash
# CSV table: import + sort + export of a generated 1 000 000-row UTF-8 CSV (Chinese name, number,
# date, quoted free text), against miller (numeric sort) and GNU sort -f (text), in one run.
#   bench/csv_bench.sh [ROWS]
# Prints each time ratio (ours / peer; the target is at most 1.0), our pinyin sort against our
# numeric sort (at most 2.0) and our peak memory against the file size (at most 3.0).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}

if ! command -v mlr >/dev/null; then
  if [[ $(id -u) -eq 0 ]]; then apt-get install -y miller >/dev/null; else sudo apt-get install -y miller >/dev/null; fi
fi
for tool in hyperfine python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target chengling-cli >/dev/null
cli=build/release/src/cli/chengling-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=$work/data.csv

python3 bench/csv_data.py "$data" "$rows"
size=$(stat -c %s "$data")
echo "data: $rows rows, $size bytes (UTF-8)"

# GNU sort in the usual UTF-8 locale; ours writes a file through an atomic rename, the peers their
# standard output into a file.
export LC_ALL=C.UTF-8
ours_number="$cli csv --sort 2 --order number -o $work/ours_number.csv $data"
ours_codes="$cli csv --sort 4 --order codes --asc -o $work/ours_codes.csv $data"
ours_pinyin="$cli csv --sort 1 --order pinyin --asc -o $work/ours_pinyin.csv $data"
mlr_number="mlr --icsv --ocsv sort -nr 数量 $data > $work/mlr.csv"
sort_text="sort -f $data > $work/sort.txt"

hyperfine --warmup 1 --runs 3 --export-json "$work/times.json" \
  -n ours_number "$ours_number" -n miller "$mlr_number" \
  -n ours_codes "$ours_codes" -n sort_f "$sort_text" \
  -n ours_pinyin "$ours_pinyin"

/usr/bin/time -v $ours_number 2> "$work/mem.txt"
peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/mem.txt")

python3 - "$work/times.json" "$peak_kb" "$size" <<'EOF'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
times = {r["command"]: r["mean"] for r in results}
cpu = {r["command"]: r["user"] + r["system"] for r in results}
peak, size = int(sys.argv[2]) * 1024, int(sys.argv[3])
rows = [
    ("import+sort+export, number vs mlr sort -nr", times["ours_number"], times["miller"], 1.0),
    ("import+sort+export, codes vs sort -f", times["ours_codes"], times["sort_f"], 1.0),
    ("pinyin sort vs our numeric sort", times["ours_pinyin"], times["ours_number"], 2.0),
    ("peak memory vs file size", peak, size, 3.0),
]
# Processor time too: on a shared machine the wall clock also measures the neighbours.
print("processor time (user + system): number/miller %.2fx, codes/sort -f %.2fx, pinyin/number %.2fx"
      % (cpu["ours_number"] / cpu["miller"], cpu["ours_codes"] / cpu["sort_f"],
         cpu["ours_pinyin"] / cpu["ours_number"]))
for name, ours, peer, limit in rows:
    ratio = ours / peer
    print("%-45s %10.3f / %10.3f = %5.2fx  (target <= %.1fx) %s"
          % (name, ours if ours < 1e6 else ours / 2**20, peer if peer < 1e6 else peer / 2**20, ratio, limit,
             "ok" if ratio <= limit else "MISSED"))
EOF
