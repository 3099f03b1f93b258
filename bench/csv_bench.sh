#!/usr/bin/env bash
# CSV table against GNU sort, in one run (bench_lib.sh: runs alternate, sync and re-read before each):
#   sort:  ROWS rows of UTF-8 (id, Chinese name, number, quoted free text), sorted by the number in
#          the third column, import to export:  chengling-cli csv --sort 3 --order number -o OUT
#          vs  sort -t, -k3,3n > OUT                         target <= 0.6x, peak memory <= 1.5x the file
#   field: one quoted field of FIELD_MB MiB (Chinese and ASCII) imported and exported
#          vs  cat > OUT                                       peak memory <= 2.5x the file
# Usage: bench/csv_bench.sh [ROWS] [RUNS] [FIELD_MB]   (defaults 1000000 5 300)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
rows="${1:-1000000}"
runs="${2:-5}"
field_mb="${3:-300}"
bench_setup csv

data="$scratch/data.csv"
bench_comment_table "$data" "$rows" -100000 10000000
size=$(stat -c %s "$data")
echo "data: $rows rows, $size bytes (UTF-8); load: $(uptime | sed 's/.*load/load/')"

export LC_ALL=C.UTF-8
bench_pair "1 M rows sorted by the number in column 3, import to export" "$runs" \
  "rm -f $scratch/ours.csv $scratch/peer.csv" "$data" \
  "$cli csv --sort 3 --order number -o $scratch/ours.csv $data" \
  "sort -t, -k3,3n $data > $scratch/peer.csv" "$size"

# One huge quoted field: the import must not hold the text more than twice and a half.
big="$scratch/field.csv"
python3 - "$big" "$field_mb" <<'PY'
import sys
path, mb = sys.argv[1], int(sys.argv[2])
chunk = ("中文字段" + "x" * 52).encode("utf-8")
with open(path, "wb") as f:
    f.write("标题\r\n\"".encode("utf-8"))
    for _ in range(mb * 1024 * 1024 // len(chunk)):
        f.write(chunk)
    f.write(b"\"\r\n")
PY
big_size=$(stat -c %s "$big")
echo "field: one field, $big_size bytes"
bench_pair "one field of $field_mb MiB, import to export" 1 \
  "rm -f $scratch/ours.csv $scratch/peer.csv" "$big" \
  "$cli csv -o $scratch/ours.csv $big" \
  "cat $big > $scratch/peer.csv" "$big_size"
echo "targets: sort wall <= 0.6x with peak memory <= 1.5x the input; one field peak memory <= 2.5x the input"
