# Shared by the benchmark scripts: source it, then call bench_setup and bench_pair.
#
# bench_pair times our command against its peer on the same data in one run. Runs alternate (ours,
# peer, peer, ours, ours, ...) so both meet the same machine load, and each side is as often the first
# after a clean-up. Before every single run the file system
# is synced (neither side pays for the other's writes) and the inputs are read once more into the page
# cache (this machine pages out idle file pages within about a minute). Cleaning up happens for both
# sides together before a pair, never right before only one of them: ext4 is slow to create files just
# after a large delete, and whoever ran next would pay for it.

# bench_setup NAME: builds the release chengling-cli and makes a scratch folder.
# Sets $root, $cli and $scratch; the scratch folder goes when the script ends.
bench_setup() {
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  local build="${CHENGLING_BENCH_BUILD:-$root/build/release}"
  cmake --preset release -S "$root" -B "$build" >/dev/null
  cmake --build "$build" --target chengling-cli >/dev/null
  cli="$build/src/cli/chengling-cli"
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/$1-bench-XXXXXX")"
  trap 'rm -rf "$scratch"' EXIT
  export CHENGLING_HOME="$scratch/home"
  mkdir -p "$CHENGLING_HOME"
  for tool in python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
  done
}

# bench_warm PATH...: reads every file under the paths, so the next run finds them in the page cache.
bench_warm() {
  local path
  for path in "$@"; do
    if [[ -d "$path" ]]; then
      find "$path" -type f -exec cat {} + >/dev/null
    else
      cat "$path" >/dev/null
    fi
  done
}

# One timed run: appends "wall-seconds cpu-seconds peak-KiB" to the log $1.
bench_time() {
  local log="$1"
  shift
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%U %S %M" -o "$scratch/.time" bash -c "$1" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) '{ printf "%.3f %.2f %s\n", ns / 1e9, $1 + $2, $3 }' "$scratch/.time" >>"$log"
}

# With bench_drop_pages=1, every run also starts after the kernel dropped its clean cached pages (where
# the benchmark may write /proc/sys/vm/drop_caches): neither side pays for reclaiming the other's
# output. The inputs are read again after it.
bench_drop_pages=${bench_drop_pages:-0}

# bench_pair LABEL RUNS CLEAN INPUTS OURS PEER [SIZE]
#   CLEAN   shell text run before each pair, removing what both sides wrote last time ("" for none)
#   INPUTS  paths re-read before every run (space-separated, no spaces inside a path)
#   OURS, PEER  shell texts of the two commands
#   SIZE    bytes of the input, to print peak memory as a multiple of it (0 or absent: left out)
# Prints, for each side, the median with [min..max] of wall time, CPU time and peak memory, and the
# ratio of the medians.
bench_pair() {
  local label="$1" runs="$2" clean="$3" inputs="$4" ours="$5" peer="$6" size="${7:-0}" i
  local logs="$scratch/.pair"
  rm -rf "$logs" && mkdir -p "$logs"
  local -a order=(ours peer)
  for ((i = 0; i < runs; i++)); do
    [[ -n "$clean" ]] && bash -c "$clean"
    local side
    for side in "${order[@]}"; do
      sync
      if [[ $bench_drop_pages == 1 && -w /proc/sys/vm/drop_caches ]]; then echo 1 >/proc/sys/vm/drop_caches; fi
      # shellcheck disable=SC2086  # INPUTS is a list of paths
      bench_warm $inputs
      if [[ $side == ours ]]; then bench_time "$logs/ours" "$ours"; else bench_time "$logs/peer" "$peer"; fi
    done
    order=("${order[1]}" "${order[0]}")
  done
  python3 - "$label" "$logs/ours" "$logs/peer" "$size" <<'EOF'
import statistics, sys
label, ours, peer, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def load(path):
    return list(zip(*[list(map(float, line.split())) for line in open(path)]))
o, p = load(ours), load(peer)
def spread(values, unit, scale=1.0):
    return "%.3g%s [%.3g..%.3g]" % (statistics.median(values) * scale, unit,
                                    min(values) * scale, max(values) * scale)
print("== %s (%d runs each, alternating)" % (label, len(o[0])))
for name, side in (("ours", o), ("peer", p)):
    print("  %s: wall %s, cpu %s, peak %s" % (name, spread(side[0], " s"), spread(side[1], " s"),
                                               spread(side[2], " MiB", 1 / 1024)))
print("  ratio of medians, ours / peer: wall %.2fx, cpu %.2fx, peak memory %.2fx" % (
    statistics.median(o[0]) / max(statistics.median(p[0]), 0.001),
    statistics.median(o[1]) / max(statistics.median(p[1]), 0.01),
    statistics.median(o[2]) / statistics.median(p[2])))
if size:
    print("  our peak memory: %.2fx the input (%.0f MiB)" % (
        statistics.median(o[2]) * 1024 / size, statistics.median(o[2]) / 1024))
EOF
}

# bench_chinese_book FILE MIB [LAST_LINE]: writes MIB MiB of Chinese prose lines of varying length (GBK,
# LF) to FILE: one block of about a MiB, ending with LAST_LINE when given, repeated and cut to size.
bench_chinese_book() {
  local file=$1 mib=$2 last=${3:-}
  LAST="$last" awk 'BEGIN {
    srand(20240601);
    split("春眠 不觉晓 处处 闻啼鸟 夜来 风雨声 花落 知多少 床前 明月光 疑是 地上霜 举头 望明月 低头 思故乡 山重水复 疑无路 柳暗花明 又一村", w, " ");
    total = 0;
    while (total < 1048000) {
      n = 3 + int(rand() * 25); line = "";
      for (i = 0; i < n; i++) line = line w[1 + int(rand() * 20)] (rand() < 0.15 ? "，" : "");
      line = line (rand() < 0.3 ? " 第" int(rand() * 1000) "回" : "") "。";
      print line; total += length(line) + 1;
    }
    if (ENVIRON["LAST"] != "") print ENVIRON["LAST"];
  }' | iconv -f UTF-8 -t GBK >"$file.block"
  local block i
  block=$(stat -c %s "$file.block")
  for ((i = 0; i <= mib * 1048576 / block; i++)); do cat "$file.block"; done >"$file"
  truncate -s $((mib * 1048576)) "$file"
  rm -f "$file.block"
}

# bench_comment_table FILE ROWS LOW HIGH: a table of shop comments (number, Chinese name, a quantity
# from LOW to HIGH, quoted free text of which a third holds a comma), UTF-8 with CR LF, the same for
# the same arguments.
bench_comment_table() {
  python3 - "$@" <<'PY'
import random, sys
path, rows, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
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
        f.write('%d,%s,%d,"%s"\r\n' % (i, name, rnd.randint(low, high), text))
PY
}

# bench_start_server SCRIPT: starts the python3 server SCRIPT, which writes the port it listens on to
# the file named by its one argument, and waits up to 30 s for it. Sets $server_pid and $port.
bench_start_server() {
  rm -f "$scratch/port"
  python3 "$1" "$scratch/port" &
  server_pid=$!
  for _ in $(seq 600); do [[ -s "$scratch/port" ]] && break; sleep 0.05; done
  [[ -s "$scratch/port" ]] || { echo "the server did not start" >&2; exit 1; }
  port="$(cat "$scratch/port")"
}
