#!/bin/bash
# Times a scan of 60,000 empty files in 3,000 directories against find
# doing the same walk, and measures the scan's peak memory per file.
# Usage: bench/scan_vs_find.sh [path/to/stampbak] [runs]
set -euo pipefail
stampbak=$(realpath "${1:-build/release/stampbak}")
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "building the tree in $work/tree"
mkdir -p "$work/tree" "$work/empty"
(
  cd "$work/tree"
  for top in $(seq -w 1 60); do
    echo "dir$top"
    for sub in $(seq -w 1 49); do echo "dir$top/sub$sub"; done
  done > "$work/dirs"
  xargs mkdir -p < "$work/dirs"
  # 20 files a directory; every third file overall is a log.
  awk '{ for (n = 1; n <= 20; n++) { i++; ext = i % 3 == 0 ? "log" : (i % 3 == 1 ? "txt" : "jpg");
         printf "%s/file_%02d.%s\n", $0, n, ext } }' "$work/dirs" | xargs touch
)
files=$(find "$work/tree" -type f | wc -l)
dirs=$(find "$work/tree" -mindepth 1 -type d | wc -l)
echo "$files files in $dirs directories"

now() { date +%s.%N; }
ratios=()
for i in $(seq 1 "$runs"); do
  t0=$(now)
  "$stampbak" -s "$work/tree" -d "$work/out" -e '*.log' > "$work/report"
  t1=$(now)
  find "$work/tree/" -type f -printf 'C %p %T@\r\n' > "$work/found"
  t2=$(now)
  ratios+=("$(echo "($t1 - $t0) / ($t2 - $t1)" | bc -l)")
  printf 'run %d: stampbak %.3fs, find %.3fs\n' "$i" "$(echo "$t1 - $t0" | bc -l)" \
    "$(echo "$t2 - $t1" | bc -l)"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | sed -n "$(( (runs + 1) / 2 ))p")
printf 'median time ratio stampbak/find: %.2fx (bar 1.00x, goal 0.75x)\n' "$median"

peak() { /usr/bin/time -v "$stampbak" -s "$1" -d "$work/out" -e '*.log' 2>&1 >/dev/null \
  | awk '/Maximum resident set size/ {print $NF}'; }
base_kb=$(peak "$work/empty")
tree_kb=$(peak "$work/tree")
echo "peak memory: empty source ${base_kb} KB, tree ${tree_kb} KB"
printf 'memory per file: %.0f bytes (bar 150, goal 100)\n' \
  "$(echo "($tree_kb - $base_kb) * 1024 / $files" | bc -l)"
