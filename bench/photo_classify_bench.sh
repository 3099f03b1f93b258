#!/usr/bin/env bash
# Sorting photos by when they were taken against sorting them by their file times, in one run:
# chengling-cli classify with [拍摄年]/[拍摄月] (each photo's EXIF record is read) against the same
# command with [年]/[月] (the file's modification time only), over the same photos: small JPEGs with
# an EXIF record written by libexiv2 (bench/photo_maker.cpp). Both sides make the same number of
# year and month folders. Target: the record-reading run takes at most 1.5x the file-time run.
#   move: every photo renamed into its folder (the run does little else, so reading shows most)
#   copy: every photo copied, the default of the window and the command line
# Usage: bench/photo_classify_bench.sh [photos] [runs]   (defaults 10000 and 5)
set -euo pipefail

photos="${1:-10000}"
runs="${2:-5}"
# shellcheck source=bench/bench_lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/bench_lib.sh"
bench_setup photo-classify
build="${CHENGLING_BENCH_BUILD:-$root/build/release}"
cmake --build "$build" --target photo_maker >/dev/null

echo "making $photos photos..."
mkdir -p "$scratch/master"
"$build/bench/photo_maker" "$scratch/master" "$photos"
du -sh "$scratch/master" | sed 's/^/photos: /'
# Each side sorts its own copy (the same names, bytes and times).
for side in ours peer; do cp -a "$scratch/master" "$scratch/$side"; done
mkdir -p "$scratch/aside"

ours="'$cli' classify --to '$scratch/out-ours/[拍摄年]/[拍摄月]/[文件名]'"
peer="'$cli' classify --to '$scratch/out-peer/[年]/[月]/[文件名]'"

# Before a pair of move runs: every photo back in its source folder, the empty folders away.
back="for side in ours peer; do
  if [[ -d '$scratch/out-'\$side ]]; then
    find '$scratch/out-'\$side -type f -exec mv -t '$scratch/'\$side {} +
    rm -r '$scratch/out-'\$side
  fi
done"
# The wall ratio of a pair's report against the target.
verdict() {
  tee "$scratch/.report"
  awk -v what="$1" '/ratio of medians/ { sub(/x,$/, "", $8); r = $8 + 0;
    printf "  %s: wall ratio %.2fx against the target 1.5x: %s\n", what, r, r <= 1.5 ? "met" : "MISSED" }' \
    "$scratch/.report"
}
bench_pair "move $photos photos: dates from EXIF vs file times" "$runs" "$back" \
  "$scratch/ours $scratch/peer" "$ours --move '$scratch/ours'" "$peer --move '$scratch/peer'" | verdict move
bash -c "$back"

# Before a pair of copy runs: the copies moved aside (deleting thousands of files right before a
# run would slow the next one down), removed when the script ends.
aside="for side in ours peer; do
  [[ -d '$scratch/out-'\$side ]] && mv '$scratch/out-'\$side \"\$(mktemp -d '$scratch/aside/XXXXXX')\"
done; true"
bench_pair "copy $photos photos: dates from EXIF vs file times" "$runs" "$aside" \
  "$scratch/ours $scratch/peer" "$ours '$scratch/ours'" "$peer '$scratch/peer'" | verdict copy

# The record was read: the taken years (2015 to 2024), not the file times' (2005 to 2014), with
# every photo in the folder of its own month ([拍摄月] "03", [月] "3").
echo "years by EXIF: $(ls "$scratch/out-ours" | tr '\n' ' ')"
echo "years by file time: $(ls "$scratch/out-peer" | tr '\n' ' ')"
if ls "$scratch/out-ours" | grep -qv '^20[12][0-9]$' || [[ $(ls "$scratch/out-ours" | head -1) != 2015 ]]; then
  echo "the EXIF run did not sort by the taken years" >&2
  exit 1
fi
sorted() { (cd "$1" && find . -type f | awk -F/ '{ printf "%d/%s\n", $3, $4 }' | sort); }
if ! diff <(sorted "$scratch/out-ours") <(sorted "$scratch/out-peer") >"$scratch/months.diff"; then
  echo "the two runs put the photos into different months:" >&2
  head -5 "$scratch/months.diff" >&2
  exit 1
fi
