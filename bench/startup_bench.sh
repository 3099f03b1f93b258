#!/usr/bin/env bash
# Start-up of the window program and of the command line, warm cache:
#   chengling started until its window is painted (it grabs itself at once and quits)   target <= 250 ms
#   chengling-cli --help                                                               target <= 5 ms
# The window runs on the offscreen platform with a fresh settings folder. Each is started RUNS times
# straight from a timer (no shell between), after one run that warms the cache; the median and
# spread are printed with the median's ratio to the target.
#
# Usage: bench/startup_bench.sh [runs]   (default 21)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"
runs="${1:-21}"
bench_setup startup
build="${CHENGLING_BENCH_BUILD:-$root/build/release}"
cmake --build "$build" --target chengling >/dev/null
uptime
python3 - "$build/src/app/chengling" "$cli" "$scratch" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
window, cli, scratch, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", CHENGLING_HOME=os.path.join(scratch, "home"),
           CHENGLING_SCREENSHOT=os.path.join(scratch, "shot.png"), CHENGLING_SCREENSHOT_DELAY="0")
cpu = []
def timed(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if status != 0: sys.exit("%s failed" % command[0])
    cpu.append((usage.ru_utime + usage.ru_stime) * 1000)
    return wall
for label, command, target in (("window painted", [window], 250.0), ("chengling-cli --help", [cli, "--help"], 5.0)):
    timed(command)  # warms the cache
    cpu.clear()
    times = sorted(timed(command) for _ in range(runs))
    median = statistics.median(times)
    print("== %s (%d runs)" % (label, runs))
    print("  median %.1f ms [%.1f..%.1f], target %.0f ms: %.2fx the target" % (median, times[0], times[-1], target, median / target))
    print("  cpu median %.1f ms [%.1f..%.1f]" % (statistics.median(cpu), min(cpu), max(cpu)))
PY
