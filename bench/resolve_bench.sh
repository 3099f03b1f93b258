#!/usr/bin/env bash
# Redirect resolution speed against curl, in one run, on a local server that answers 302 to every
# path (python3 http.server, keep-alive):
#   serial:   resolve LIST            vs one `curl -s -o /dev/null -w '%{redirect_url}\n'` per address
#   parallel: resolve --jobs 16 LIST  vs xargs -P 16 of the same curl command
# Target for both: <= 0.5x. Usage: bench/resolve_bench.sh [addresses] [runs]   (defaults 2000 and 2)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
count="${1:-2000}"
runs="${2:-2}"

cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target chengling-cli >/dev/null
cli="$root/build/release/src/cli/chengling-cli"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/resolve-bench-XXXXXX")"
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

cat >"$scratch/server.py" <<'PY'
import http.server, sys

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        self.send_response(302)
        self.send_header("Location", "/target" + self.path)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256

server = Server(("127.0.0.1", 0), Handler)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
PY

python3 "$scratch/server.py" "$scratch/port" &
server_pid=$!
for _ in $(seq 100); do [[ -s "$scratch/port" ]] && break; sleep 0.05; done
port="$(cat "$scratch/port")"

list="$scratch/list.txt"
for ((i = 0; i < count; i++)); do echo "http://127.0.0.1:$port/p/$i"; done >"$list"

curl_one="curl -s -o /dev/null -w '%{redirect_url}\n'"
cat >"$scratch/curl_serial.sh" <<SH
while read -r url; do $curl_one "\$url"; done <'$list'
SH
cat >"$scratch/curl_parallel.sh" <<SH
xargs -P 16 -n 1 $curl_one <'$list'
SH

# Same answers before any timing.
"$cli" resolve "$list" >"$scratch/ours.txt"
bash "$scratch/curl_serial.sh" >"$scratch/curl.txt"
"$cli" resolve --jobs 16 "$list" >"$scratch/ours16.txt"
if ! cmp -s "$scratch/ours.txt" "$scratch/curl.txt" || ! cmp -s "$scratch/ours16.txt" "$scratch/curl.txt"; then
  echo "results differ from curl's" >&2
  exit 1
fi
echo "== $count addresses, all answered 302; results identical to curl's"

compare() {  # label ours peer
  local label="$1"
  hyperfine --runs "$runs" --style basic --export-json "$scratch/$label.json" \
    -n chengling "$2" -n curl "$3"
  python3 - "$scratch/$label.json" "$label" <<'PY'
import json, sys
results = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
print("%s: chengling %.3f s, curl %.3f s, ratio %.3fx (target <= 0.5x)" % (
    sys.argv[2], results["chengling"], results["curl"], results["chengling"] / results["curl"]))
PY
}

compare serial "'$cli' resolve '$list' >/dev/null" "bash '$scratch/curl_serial.sh' >/dev/null"
compare parallel "'$cli' resolve --jobs 16 '$list' >/dev/null" "bash '$scratch/curl_parallel.sh' >/dev/null"
