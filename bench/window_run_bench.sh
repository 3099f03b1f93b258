#!/usr/bin/env bash
# The tool windows against chengling-cli doing the same work on the same data, in one run. The window
# side is window_run_bench on Qt's offscreen platform: the folder or file chosen in the page's own
# dialog, the start button clicked, every question at the end answered No.
#   transcode-files: FILES small GBK files (1 to 3 KiB) of one folder to UTF-8
#                    " 批量转换(文件夹方式)"     vs  chengling-cli transcode --to utf8 FOLDER
#   transcode-big:   one file of MIB MiB of GBK text to UTF-8
#                    "批量转换"                   vs  chengling-cli transcode --to utf8 FILE
#   classify:        FILES files, MODE (move, the default: "保留原文件" not ticked; copy: ticked)
#                    with the default template "[父目录路径]/[批次名]/[文件名]" and batches of 100
#                    "立即执行归类"               vs  chengling-cli classify [--move] FOLDER
#   split:           the MIB MiB file into 100 pieces
#                    "按份数" 100                 vs  chengling-cli split --count 100 FILE
# Targets, for each: the window's time <= 1.1x the command line's (medians); the window thread's
# longest pause while the run goes <= 50 ms (the largest gap between the ticks of a 5 ms timer on
# it); the progress bar and the status text change at least 5 and at most 60 times a second (their
# changes over the run divided by its seconds, judged on runs of a second or more; the
# classification page shows its per-file text on its start button, so there that caption is the
# status text).
#
# The window's time runs from the user's last act (the choice in the dialog, or the click on the
# start button) to the end of the run; the command line's is its whole process. The window's whole
# process, start-up included, is printed beside it.
#
# Runs alternate (window first, then the command line first, ...). Before every run: a sync, a drop
# of the clean cached pages where the benchmark may (as root), and a re-read of the input. Outputs
# are moved aside, never deleted between runs (see split_merge_bench.sh: right after thousands of
# files are deleted, whoever creates files next pays for it); the classification works on a fresh
# hard-linked copy of its folder every run. Each work's asides go when it is done, after the window's
# output of the first run has been compared with the command line's (file by file, by checksum).
#
# Moving is the default because it leaves no new files behind: every new small file is one more to
# delete when the script ends, and with the cached metadata dropped before every run, deleting
# hundreds of thousands of them takes minutes on a busy disk.
#
# Usage: bench/window_run_bench.sh [FILES] [MIB] [RUNS] [MODE]   (defaults 100000 1024 3 move)
#   full (when the machine is quiet; about 10 minutes of runs on 2 cores, and the clean-up): bench/window_run_bench.sh
#   quick (checks the harness; the figures are noisy):            bench/window_run_bench.sh 2000 64 3
# Needs about 2 x RUNS x (MIB x 2.5 + FILES x 16 KiB) of free space in the scratch folder ($TMPDIR, or /tmp);
# CHENGLING_BENCH_BUILD names another release build folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"

files="${1:-100000}"
mib="${2:-1024}"
runs="${3:-3}"
mode="${4:-move}"
[[ $mode == copy || $mode == move ]] || { echo "MODE is copy or move" >&2; exit 2; }

bench_setup window-run  # $root, $cli, $scratch; CHENGLING_HOME in the scratch folder
build="${CHENGLING_BENCH_BUILD:-$root/build/release}"
cmake --build "$build" --target window_run_bench >/dev/null
window="$build/bench/window_run_bench"
export QT_QPA_PLATFORM=offscreen
bench_drop_pages=1

data="$scratch/data"
aside="$scratch/aside"
logs="$scratch/logs"
mkdir -p "$data" "$aside" "$logs"

# The data, made once: FILES small GBK files, and a GBK book of MIB MiB.
python3 - "$data/many" "$files" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
random.seed(7)
chars = [bytes([hi, lo]).decode("gbk") for hi in range(0xB0, 0xD8) for lo in range(0xA1, 0xFF)
         if not (hi == 0xD7 and lo > 0xF9)]
lines = ["".join(random.choice(chars) if random.random() > 0.1 else "，" for _ in range(random.randint(10, 40)))
         + (" abc 123" if random.random() < 0.3 else "") + "\r\n" for _ in range(2000)]
os.makedirs(folder)
for i in range(count):
    text = "".join(random.choice(lines) for _ in range(random.randint(12, 36)))
    with open(os.path.join(folder, "f%06d.txt" % i), "wb") as f:
        f.write(text.encode("gbk"))
PY
mkdir -p "$data/big"
bench_chinese_book "$data/big/book.txt" "$mib"
big="$data/big/book.txt"
echo "data: $files files ($(du -sk "$data/many" | cut -f1) KiB), a book of $(stat -c %s "$big") bytes (GBK)"
echo "load: $(uptime | sed 's/.*load average: //')"

# Before every run: the file system synced, clean pages dropped where we may, the input read again,
# and the command line started once, so that it too finds its program and libraries in memory (the
# window's start-up is not in its time).
settle() {
  sync
  if [[ -w /proc/sys/vm/drop_caches ]]; then echo 1 >/proc/sys/vm/drop_caches; fi
  bench_warm "$@"
  "$cli" --help >/dev/null
}

# window LOG ARGS...: one window run; appends "run-seconds pause-ms bar status caption process-seconds".
window_run() {
  local log="$1"
  shift
  local start end line
  start=$(date +%s%N)
  line=$("$window" "$@" 2>"$scratch/stderr.txt") || { cat "$scratch/stderr.txt" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$line $(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')" >>"$log"
}

# cli LOG ARGS...: one command-line run; appends its wall seconds.
cli_run() {
  local log="$1"
  shift
  local start end
  start=$(date +%s%N)
  "$cli" "$@" >/dev/null 2>"$scratch/stderr.txt" || { cat "$scratch/stderr.txt" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }' >>"$log"
}

# A listing of every file under $1 with its checksum, by path below $1.
listing() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r md5sum); }

# same LABEL WINDOW-OUTPUT CLI-OUTPUT: whether both sides wrote the same files with the same bytes.
same() {
  if [[ "$(listing "$2")" == "$(listing "$3")" && -n "$(listing "$2")" ]]; then
    echo "  $1: the window wrote the same files as the command line ($(find "$2" -type f | wc -l) files)"
  else
    echo "  $1: THE WINDOW'S OUTPUT DIFFERS FROM THE COMMAND LINE'S"
  fi
}

report() {
  python3 - "$1" "$logs/$1.window" "$logs/$1.cli" <<'PY'
import statistics, sys
label, window, cli = sys.argv[1:4]
w = [list(map(float, line.split())) for line in open(window)]
c = [float(line) for line in open(cli)]
m = statistics.median
def spread(values, unit="s"):
    return "%.3f %s [%.3f..%.3f]" % (m(values), unit, min(values), max(values))
run = [r[0] for r in w]
print("== %s (%d runs each, alternating)" % (label, len(w)))
print("  window: %s (whole process %s)" % (spread(run), spread([r[5] for r in w])))
print("  cli:    %s" % spread(c))
ratio = m(run) / max(m(c), 0.001)
print("  ratio of medians, window / cli: %.2fx (target <= 1.1x) %s" % (ratio, "ok" if ratio <= 1.1 else "MISSED"))
pause = max(r[1] for r in w)
print("  longest pause of the window thread: %.1f ms, median of the runs %.1f ms (target <= 50 ms) %s" % (
    pause, m([r[1] for r in w]), "ok" if pause <= 50 else "MISSED"))
status_column = 4 if label == "classify" else 3
for name, column in (("progress bar", 2), ("status text" if status_column == 3 else "status text (start button)", status_column)):
    rates = [r[column] / max(r[0], 0.001) for r in w]
    low, high = min(rates), max(rates)
    # The changes at the start and the end of a run alone make a high rate of a short one.
    verdict = "ok" if low >= 5 and high <= 60 else "MISSED"
    if min(run) < 1:
        verdict = "(a run under 1 s: not judged)"
    print("  %s: %.1f changes/s [%.1f..%.1f] (target 5..60) %s" % (name, m(rates), low, high, verdict))
PY
}

# work LABEL INPUT OUTPUT PREPARE WINDOW-ARGS CLI-ARGS
#   INPUT   what is read again before every run
#   OUTPUT  what a run writes, moved aside after it (the first run's are compared)
#   PREPARE shell text run before each side's run, untimed ("" for none)
# "$next" in any of them (quoted) stands for the name of the run: window0, cli0, cli1, window1, ...
# The asides of works over many files stay until the script ends (see above); those of the big file
# go when its work is done.
work() {
  local label="$1" input="$2" output="$3" prepare="$4" window_args="$5" cli_args="$6" i side
  local -a order=(window cli)
  echo "-- $label"
  for ((i = 0; i < runs; i++)); do
    for side in "${order[@]}"; do
      next="$side$i"
      [[ -n "$prepare" ]] && eval "${prepare//'$next'/$next}"
      settle "${input//'$next'/$next}"
      if [[ $side == window ]]; then
        eval "window_run '$logs/$label.window' ${window_args//'$next'/$next}"
      else
        eval "cli_run '$logs/$label.cli' ${cli_args//'$next'/$next}"
      fi
      mv "${output//'$next'/$next}" "$aside/$label-$side$i"
    done
    order=("${order[1]}" "${order[0]}")
  done
  same "$label" "$aside/$label-window0" "$aside/$label-cli0"
  report "$label"
  [[ $label == transcode-files || $label == classify ]] || rm -rf "$aside/$label"-*
}

many="$data/many"
work transcode-files "$many" "$many(已转换)" "" \
  "transcode-folder '$many'" "transcode --to utf8 '$many'"
work transcode-big "$big" "$data/big(已转换)" "" \
  "transcode-file '$big'" "transcode --to utf8 '$big'"
# A fresh copy of the folder for every run, hard-linked (no data copied); the logs of each run are
# kept with its output.
move=""
[[ $mode == move ]] && move="--move"
work classify "$data/run-\$next" "$data/run-\$next" "cp -al '$many' '$data/run-\$next'" \
  "classify '$data/run-\$next' $mode" "classify $move '$data/run-\$next'"
work split "$big" "$data/big/book" "" \
  "split '$big' 100" "split --count 100 '$big'"
