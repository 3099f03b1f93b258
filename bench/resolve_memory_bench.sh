#!/usr/bin/env bash
# Peak memory of `resolve --jobs 64` against hostile servers on 127.0.0.1 (python3, one thread per
# connection), one address per job. Measured with /usr/bin/time -v over the whole run, in rows:
#   chunked       every answer a chunked body of 1 GB
#   bomb          every answer a gzip bomb: 1 GB of text in about 1 MB of gzip
#   chunked bomb  half of each
#   tags          1 MiB of opening head tags, the costliest page to examine, all 64 pages ending
#                 at the same moment (under the size limit, so every one is examined)
#   followed ...  the rows above again, each address a 302 to its hostile page, with --follow
#                 --loose: the chain ends at the hostile page, which is probed and downloaded
# Target: under 256 MiB at the peak in every row.
# Usage: bench/resolve_memory_bench.sh [jobs] [runs]   (defaults 64 and 3)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"

jobs="${1:-64}"
runs="${2:-3}"
bench_setup resolve-memory

server_pid=""
stop_server() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap stop_server EXIT

cat >"$scratch/server.py" <<'PY'
import http.server, sys, time, zlib

GIB = 1 << 30
BLOCK = (b"<p>" + b"x" * 1017 + b"</p>\n") * 1024  # 1 MiB of page text

def bomb():
    # 1 GiB of page text, deflated once at start-up (the same block compresses to almost nothing).
    packer = zlib.compressobj(9, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    parts = [packer.compress(b"<html><head><title>bomb</title></head><body>")]
    for _ in range(GIB // len(BLOCK)):
        parts.append(packer.compress(BLOCK))
    parts.append(packer.flush())
    return b"".join(parts)

BOMB = bomb()
# 1 MiB of opening head tags: a page under the size limit, whose head is read and examined, and
# every tag in it one that the detection keeps track of. The page ends 3 s after its head went out,
# so that all downloads end, and their pages are examined, at about the same time.
TAGS = b"<head>" * ((1 << 20) // 6)

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        try:
            if self.path.startswith("/via/"):
                self.send_response(302)
                self.send_header("Location", self.path[4:])
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif self.path.startswith("/bomb/"):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Encoding", "gzip")
                self.send_header("Content-Length", str(len(BOMB)))
                self.end_headers()
                self.wfile.write(BOMB)
            elif self.path.startswith("/tags/"):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                self.wfile.write(b"%x\r\n" % len(TAGS) + TAGS + b"\r\n")
                self.wfile.flush()
                time.sleep(3)
                self.wfile.write(b"0\r\n\r\n")
            else:
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                frame = b"%x\r\n" % len(BLOCK) + BLOCK + b"\r\n"
                for _ in range(GIB // len(BLOCK)):
                    self.wfile.write(frame)
                self.wfile.write(b"0\r\n\r\n")
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        pass  # the client hangs up on every body: nothing to report

server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
PY

bench_start_server "$scratch/server.py"

# make_list PREFIX KIND...: one address per job, the kinds taken in turn, each behind PREFIX.
make_list() {
  local prefix=$1 i
  shift
  local kinds=("$@")
  for ((i = 0; i < jobs; i++)); do
    echo "http://127.0.0.1:$port$prefix/${kinds[i % ${#kinds[@]}]}/$i"
  done
}

echo "resolve --jobs $jobs, $jobs addresses; load: $(uptime | sed 's/.*load average: //')"
worst=0
for row in "chunked" "bomb" "chunked bomb" "tags" "followed chunked" "followed bomb" \
  "followed chunked bomb" "followed tags"; do
  prefix="" options=() want_status=1
  if [[ $row == followed* ]]; then
    prefix="/via" options=(--follow --loose) want_status=0
  fi
  # shellcheck disable=SC2086  # the row is a list of kinds
  make_list "" ${row#followed } >"$scratch/want.txt"
  # shellcheck disable=SC2086
  make_list "$prefix" ${row#followed } >"$scratch/list.txt"
  for ((r = 1; r <= runs; r++)); do
    start=$(date +%s%N)
    status=0
    /usr/bin/time -v -o "$scratch/time.txt" "$cli" resolve "${options[@]}" --jobs "$jobs" "$scratch/list.txt" \
      >"$scratch/out.txt" 2>"$scratch/err.txt" || status=$?
    end=$(date +%s%N)
    # No page announces a redirect in what is read of it (too long, or nothing but tags): every
    # address fails and keeps its placeholder line; followed, every chain ends at its hostile page.
    if [[ $status -ne $want_status ]] || ! cmp -s "$scratch/out.txt" "$scratch/want.txt"; then
      echo "unexpected result (exit $status)" >&2
      exit 1
    fi
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$scratch/time.txt")
    awk -v row="$row" -v r="$r" -v kib="$kib" -v ns=$((end - start)) \
      'BEGIN { printf "  %-22s run %d: peak %6.1f MiB, wall %.1f s\n", row, r, kib / 1024, ns / 1e9 }'
    if ((kib > worst)); then worst=$kib; fi
  done
done
awk -v kib="$worst" 'BEGIN {
  printf "highest peak: %.1f MiB (target < 256 MiB): %s\n", kib / 1024, kib < 256 * 1024 ? "met" : "MISSED" }'
