#!/usr/bin/env bash
# Classification speed against a plain Python loop building the same layout, in one run:
#   move: 100 000 empty files into batches of 100 (os.makedirs + os.rename per file), target <= 1.5x
#   copy: 10 000 files of 64 KiB into batches of 100 (os.makedirs + shutil.copyfile), target <= 1.2x
# Usage: bench/classify_bench.sh [move-files] [copy-files]   (defaults 100000 and 10000)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
move_files="${1:-100000}"
copy_files="${2:-10000}"

cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target chengling-cli >/dev/null
cli="$root/build/release/src/cli/chengling-cli"

scratch="$(mktemp -d -t classify-bench-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
export CHENGLING_HOME="$scratch/home"
mkdir -p "$CHENGLING_HOME"

# Fresh sources before every timed run (not timed): $1 files of $2 bytes in $scratch/src.
cat >"$scratch/make.py" <<'EOF'
import os, shutil, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
payload = os.urandom(size)
for i in range(count):
    with open(os.path.join(folder, "f%06d.dat" % i), "wb") as f:
        f.write(payload)
EOF

# The peer: the same walk order (names, case ignored), the same batch folders, one call per file.
cat >"$scratch/peer.py" <<'EOF'
import os, shutil, sys
mode, folder, per_batch = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted((n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n))),
               key=lambda n: (n.lower(), n))
for i, name in enumerate(names):
    target = os.path.join(folder, str(i // per_batch + 1))
    os.makedirs(target, exist_ok=True)
    if mode == "move":
        os.rename(os.path.join(folder, name), os.path.join(target, name))
    else:
        shutil.copyfile(os.path.join(folder, name), os.path.join(target, name))
EOF

src="$scratch/src"
run() {  # label files size mode-args peer-mode
  local label="$1" files="$2" size="$3" args="$4" peer="$5"
  echo "== $label: $files files of $size bytes, batches of 100"
  hyperfine --runs 3 --style basic --export-json "$scratch/$label.json" \
    --prepare "python3 '$scratch/make.py' '$src' $files $size; sync" \
    -n chengling "'$cli' classify $args --per-batch 100 '$src'" \
    -n python "python3 '$scratch/peer.py' $peer '$src' 100"
  python3 - "$scratch/$label.json" "$label" <<'EOF'
import json, sys
runs = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ours, peer = runs["chengling"], runs["python"]
cpu = lambda r: r["user"] + r["system"]
# Wall time is the target; CPU time is printed too because it is steadier on a busy machine.
print("%s: chengling %.3f s, python %.3f s, ratio %.2fx (cpu %.2f s vs %.2f s, %.2fx)" % (
    sys.argv[2], ours["mean"], peer["mean"], ours["mean"] / peer["mean"], cpu(ours), cpu(peer),
    cpu(ours) / cpu(peer)))
EOF
}

run move "$move_files" 0 "--move" move
run copy "$copy_files" 65536 "" copy
