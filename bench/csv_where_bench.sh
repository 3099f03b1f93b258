#!/usr/bin/env bash
# The CSV filter against awk, in one run (bench_lib.sh: runs alternate, sync and re-read before each):
#   where: ROWS rows of UTF-8 (id, Chinese name, number, quoted free text), the rows whose number in
#          the third column is above 500, import to export:
#          chengling-cli csv --where '3 > 500' -o OUT  vs  awk -F, '$3 > 500' > OUT      target <= 0.5x
#   Both must keep the same rows: their counts are compared after the runs.
# Usage: bench/csv_where_bench.sh [ROWS] [RUNS]   (defaults 1000000 5)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
rows="${1:-1000000}"
runs="${2:-5}"
bench_setup csv-where

data="$scratch/data.csv"
bench_comment_table "$data" "$rows" -1000 1000
size=$(stat -c %s "$data")
echo "data: $rows rows, $size bytes (UTF-8); awk is $(readlink -f "$(command -v awk)"); load: $(uptime | sed 's/.*load/load/')"

export LC_ALL=C.UTF-8
bench_pair "$rows rows, those with column 3 above 500, import to export" "$runs" \
  "rm -f $scratch/ours.csv $scratch/peer.csv" "$data" \
  "$cli csv --where '3 > 500' -o $scratch/ours.csv $data" \
  "awk -F, '\$3 > 500' $data > $scratch/peer.csv" "$size"

# awk also keeps the title line ("数量" compares above "500" as text), as the export does.
ours=$(wc -l <"$scratch/ours.csv")
peer=$(wc -l <"$scratch/peer.csv")
echo "lines out: ours $ours, peer $peer$([[ $ours == "$peer" ]] && echo " (the same)" || echo " (DIFFERENT)")"
echo "target: wall <= 0.5x awk"
