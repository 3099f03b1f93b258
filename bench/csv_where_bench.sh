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
python3 - "$data" "$rows" <<'PY'
import random, sys
path, rows = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
names = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪"
words = ["很好", "不错", "一般", "推荐", "质量", "物流", "good", "ok", "A+", "5星", "下次", "好评"]
with open(path, "w", encoding="utf-8", newline="") as f:
    f.write("编号,姓名,数量,备注\r\n")
    for i in range(rows):
        name = "".join(rnd.choice(names) for _ in range(rnd.randint(2, 3)))
        text = "，".join(rnd.choice(words) for _ in range(rnd.randint(2, 6)))
        if rnd.random() < 0.3:
            text += ", " + rnd.choice(words)
        f.write('%d,%s,%d,"%s"\r\n' % (i, name, rnd.randint(-1000, 1000), text))
PY
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
