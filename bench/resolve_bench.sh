#!/usr/bin/env bash
# Redirect resolution speed against curl, in one run, on a local server that answers 302 to every
# path (python3 http.server, keep-alive, its default listen backlog of 5), at once and, for paths
# under /slow/, after 20 ms:
#   serial:   resolve LIST            vs one `curl -s -o /dev/null -w '%{redirect_url}\n'` per address
#   parallel: resolve --jobs 16 LIST  vs xargs -P 16 of the same curl command
# and, through chains of 3 hops (/c3/ -> /c2/ -> /c1/ -> /c0/, which answers 200 without one):
#   follow:   resolve --follow [--jobs 16] LIST  vs curl -L -w '%{url_effective}' per address [xargs -P 16]
# Targets: both <= 0.5x the peer on the answers at once; on the answers after 20 ms, --jobs 16 at
# least 10x the rate of our own serial run, one hop and followed through 3-hop chains; the peak
# memory of a followed run with --jobs 16 under 256 MiB. Runs alternate through bench_pair
# (bench_lib.sh).
# Usage: bench/resolve_bench.sh [addresses] [runs]   (defaults 400 and 3)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"

count="${1:-400}"
runs="${2:-3}"
bench_setup resolve
command -v curl >/dev/null || { echo "needs curl" >&2; exit 2; }

server_pid=""
stop_server() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap stop_server EXIT

cat >"$scratch/server.py" <<'PY'
import http.server, sys, time

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if "/slow/" in self.path:
            time.sleep(0.02)
        if self.path.startswith("/c0/"):
            # The end of a chain: a page without a redirect.
            body = b"<html><head><title>end</title></head><body>end</body></html>"
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        self.send_response(302)
        if self.path.startswith("/c") and self.path[2:3].isdigit():
            self.send_header("Location", "/c%d%s" % (int(self.path[2]) - 1, self.path[3:]))
        else:
            self.send_header("Location", "/target" + self.path)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 5  # the listen backlog a small server starts with

server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
PY

bench_start_server "$scratch/server.py"

curl_one="curl -s -o /dev/null -w '%{redirect_url}\n'"
for kind in fast slow; do
  list="$scratch/$kind.txt"
  prefix="/p"
  [[ "$kind" == slow ]] && prefix="/slow"
  for ((i = 0; i < count; i++)); do echo "http://127.0.0.1:$port$prefix/$i"; done >"$list"
  cat >"$scratch/curl_serial_$kind.sh" <<SH
while read -r url; do $curl_one "\$url"; done <'$list'
SH
  cat >"$scratch/curl_parallel_$kind.sh" <<SH
xargs -P 16 -n 1 $curl_one <'$list'
SH
  # Same answers, in input order, before any timing.
  "$cli" resolve "$list" >"$scratch/ours.txt"
  bash "$scratch/curl_serial_$kind.sh" >"$scratch/curl.txt"
  "$cli" resolve --jobs 16 "$list" >"$scratch/ours16.txt"
  if ! cmp -s "$scratch/ours.txt" "$scratch/curl.txt" || ! cmp -s "$scratch/ours16.txt" "$scratch/curl.txt"; then
    echo "results differ from curl's ($kind)" >&2
    exit 1
  fi
done
# Chains of 3 hops, followed: our final addresses against curl -L's effective ones.
curl_follow="curl -s -L -o /dev/null -w '%{url_effective}\n'"
for kind in fast slow; do
  list="$scratch/chain_$kind.txt"
  prefix="/c3/p"
  [[ "$kind" == slow ]] && prefix="/c3/slow"
  for ((i = 0; i < count; i++)); do echo "http://127.0.0.1:$port$prefix/$i"; done >"$list"
  cat >"$scratch/curl_follow_serial_$kind.sh" <<SH
while read -r url; do $curl_follow "\$url"; done <'$list'
SH
  cat >"$scratch/curl_follow_parallel_$kind.sh" <<SH
xargs -P 16 -n 1 $curl_follow <'$list'
SH
  "$cli" resolve --follow "$list" >"$scratch/ours.txt"
  bash "$scratch/curl_follow_serial_$kind.sh" >"$scratch/curl.txt"
  "$cli" resolve --follow --jobs 16 "$list" >"$scratch/ours16.txt"
  if ! cmp -s "$scratch/ours.txt" "$scratch/curl.txt" || ! cmp -s "$scratch/ours16.txt" "$scratch/curl.txt"; then
    echo "followed results differ from curl -L's ($kind)" >&2
    exit 1
  fi
done
echo "$count addresses per list; results identical to curl's, in input order (followed: to curl -L's)"
echo "load: $(uptime | sed 's/.*load average: //')"

for kind in fast slow; do
  list="$scratch/$kind.txt"
  label="answers at once"
  [[ "$kind" == slow ]] && label="answers after 20 ms"
  bench_pair "serial, $label: resolve vs curl per address" "$runs" "" "$list" \
    "'$cli' resolve '$list'" "bash '$scratch/curl_serial_$kind.sh'" | tee "$scratch/serial.txt"
  bench_pair "parallel, $label: resolve --jobs 16 vs xargs -P 16 curl" "$runs" "" "$list" \
    "'$cli' resolve --jobs 16 '$list'" "bash '$scratch/curl_parallel_$kind.sh'" | tee "$scratch/parallel.txt"
done

# Our wall-time medians from the two rows after 20 ms: the rate of --jobs 16 over the serial rate.
serial=$(awk '/ours: wall/ { print $3; exit }' "$scratch/serial.txt")
parallel=$(awk '/ours: wall/ { print $3; exit }' "$scratch/parallel.txt")

for kind in fast slow; do
  list="$scratch/chain_$kind.txt"
  label="answers at once"
  [[ "$kind" == slow ]] && label="answers after 20 ms"
  bench_pair "followed 3-hop chains, serial, $label: resolve --follow vs curl -L per address" "$runs" "" "$list" \
    "'$cli' resolve --follow '$list'" "bash '$scratch/curl_follow_serial_$kind.sh'" | tee "$scratch/follow_serial.txt"
  bench_pair "followed 3-hop chains, parallel, $label: resolve --follow --jobs 16 vs xargs -P 16 curl -L" \
    "$runs" "" "$list" "'$cli' resolve --follow --jobs 16 '$list'" \
    "bash '$scratch/curl_follow_parallel_$kind.sh'" | tee "$scratch/follow_parallel.txt"
done
follow_serial=$(awk '/ours: wall/ { print $3; exit }' "$scratch/follow_serial.txt")
follow_parallel=$(awk '/ours: wall/ { print $3; exit }' "$scratch/follow_parallel.txt")
follow_peak=$(awk '/ours: wall/ { print $(NF-2); exit }' "$scratch/follow_parallel.txt")

awk -v s="$serial" -v p="$parallel" -v n="$count" 'BEGIN {
  printf "resolve --jobs 16: %.0f addresses/s, serial %.0f addresses/s: %.1fx the serial rate (target >= 10x)\n",
    n / p, n / s, s / p }'
awk -v s="$follow_serial" -v p="$follow_parallel" -v n="$count" 'BEGIN {
  printf "resolve --follow --jobs 16 through 3-hop chains: %.0f chains/s, serial %.0f chains/s: %.1fx the serial rate (target >= 10x)\n",
    n / p, n / s, s / p }'
awk -v mib="$follow_peak" 'BEGIN {
  printf "resolve --follow --jobs 16 peak memory: %.1f MiB (target < 256 MiB): %s\n", mib, mib < 256 ? "met" : "MISSED" }'
