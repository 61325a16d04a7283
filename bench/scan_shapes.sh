#!/bin/bash
# Times stampbak's scan, with its workers reading ahead (the default) and
# without (STAMPBAK_READ_AHEAD=0), on four tree shapes against find
# walking the same tree and against bench/minimal_scan.cpp, the least work
# the report needs in one thread (byte-identical output, the same 128-byte
# writes); medians of interleaved rounds, warm cache; then the same 200,000
# files read cold against find, with and without (root only). Then peak
# memory per file, reading ahead.
# Usage: bench/scan_shapes.sh [build/bench] [rounds]
set -euo pipefail
build=$(realpath "${1:-build/bench}")
rounds=${2:-7}
stampbak=$build/stampbak
minimal=$build/bench/minimal_scan
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_tree() {  # name, then "directories files-per-directory" or "chain levels files-per-level"
  local root=$work/$1
  mkdir -p "$root"
  (
    cd "$root"
    if [ "$2" = chain ]; then
      dir=.
      for level in $(seq 1 "$3"); do dir=$dir/d; echo "$dir"; done > ../$1.dirs
    else
      seq -f "dir%05g" 1 "$2" > ../$1.dirs
      [ "$2" -gt 1 ] || echo . > ../$1.dirs
    fi
    xargs mkdir -p < ../$1.dirs
    local per=${4:-$3}
    awk -v per="$per" '{ for (n = 1; n <= per; n++) printf "%s/file_%05d.txt\n", $0, n }' \
      ../$1.dirs | xargs touch
  )
}

echo "building the trees in $work"
make_tree wide 3000 20          # 60,000 files in 3,000 directories
make_tree spread 200 1000       # 200,000 files in 200 directories
make_tree chain chain 200 50    # 10,000 files down a 200-level chain
make_tree flat 1 200000         # 200,000 files in one directory
make_tree cold 1000 200         # 200,000 files in 1,000 directories, read cold

now() { date +%s%N; }
median() { sort -n | sed -n "$(( (rounds + 1) / 2 ))p"; }
printf '%-8s %9s %9s %9s %9s %9s %10s %10s %10s\n' shape files ahead-s alone-s min-s find-s \
  "ahead/min" "alone/min" "ahead/find"
for shape in wide spread chain flat; do
  tree=$work/$shape
  files=$(find "$tree" -type f | wc -l)
  "$stampbak" -s "$tree" -d "$work/out" > "$work/a.out"
  STAMPBAK_READ_AHEAD=0 "$stampbak" -s "$tree" -d "$work/out" > "$work/d.out"
  "$minimal" "$tree" "$work/out" > "$work/b.out"
  cmp -s "$work/a.out" "$work/b.out" && cmp -s "$work/a.out" "$work/d.out" ||
    { echo "$shape: the reports differ"; exit 1; }
  : > "$work/s" ; : > "$work/a" ; : > "$work/m" ; : > "$work/f"
  for round in $(seq 1 "$rounds"); do
    # Into a file, as from a scheduler: /dev/null, a character device, would
    # have the report flushed at every line end.
    t0=$(now); "$stampbak" -s "$tree" -d "$work/out" > "$work/a.out"
    t1=$(now); STAMPBAK_READ_AHEAD=0 "$stampbak" -s "$tree" -d "$work/out" > "$work/d.out"
    t2=$(now); "$minimal" "$tree" "$work/out" > "$work/b.out"
    t3=$(now); find "$tree/" -type f -printf 'C %p %T@\r\n' > "$work/c.out"
    t4=$(now)
    echo $((t1 - t0)) >> "$work/s"; echo $((t2 - t1)) >> "$work/a"
    echo $((t3 - t2)) >> "$work/m"; echo $((t4 - t3)) >> "$work/f"
  done
  s=$(median < "$work/s"); a=$(median < "$work/a"); m=$(median < "$work/m"); f=$(median < "$work/f")
  echo "$shape $s" >> "$work/times"
  awk -v sh="$shape" -v n="$files" -v s="$s" -v a="$a" -v m="$m" -v f="$f" \
    'BEGIN { printf "%-8s %9d %9.3f %9.3f %9.3f %9.3f %9.2fx %9.2fx %9.2fx\n",
             sh, n, s/1e9, a/1e9, m/1e9, f/1e9, s/m, a/m, s/f }'
done
echo "(bar: ahead/min at most 1.15x on wide and chain)"
awk '$1 == "flat" { flat = $2 } $1 == "spread" { spread = $2 }
     END { printf "one directory of 200,000 files / 200 directories of 1,000, reading ahead: %.2fx (bar 1.5x)\n",
           flat / spread }' "$work/times"

# Cold, as a nightly run meets the tree: the kernel's caches dropped before
# each run, which only root can do.
drop_caches() { sync && echo 3 > /proc/sys/vm/drop_caches; }
if [ "$(id -u)" = 0 ] && drop_caches 2> /dev/null; then
  : > "$work/s" ; : > "$work/a" ; : > "$work/f"
  for round in 1 2 3; do
    drop_caches; t0=$(now); "$stampbak" -s "$work/cold" -d "$work/out" > "$work/a.out"; t1=$(now)
    drop_caches; t2=$(now); STAMPBAK_READ_AHEAD=0 "$stampbak" -s "$work/cold" -d "$work/out" > "$work/d.out"
    t3=$(now)
    drop_caches; t4=$(now); find "$work/cold/" -type f -printf 'C %p %T@\r\n' > "$work/c.out"
    t5=$(now)
    echo $((t1 - t0)) >> "$work/s"; echo $((t3 - t2)) >> "$work/a"; echo $((t5 - t4)) >> "$work/f"
  done
  rounds=3
  s=$(median < "$work/s"); a=$(median < "$work/a"); f=$(median < "$work/f")
  awk -v s="$s" -v a="$a" -v f="$f" 'BEGIN { printf "cold, 200,000 files in 1,000 directories, median of 3: reading ahead %.3f s, alone %.3f s, find %.3f s: ahead/find %.2fx (bar 0.6x), alone/find %.2fx\n", s/1e9, a/1e9, f/1e9, s/f, a/f }'
else
  echo "cold: not measured, the caches can only be dropped by root (/proc/sys/vm/drop_caches)"
fi

peak() { /usr/bin/time -v "$stampbak" -s "$1" -d "$work/out" "${@:2}" 2>&1 > "$work/a.out" \
  | awk '/Maximum resident set size/ {print $NF}'; }
mkdir -p "$work/empty"
base_kb=$(peak "$work/empty")
# Per file met: every file selected, then three in ten excluded (no node).
for run in "wide" "flat" "wide -e *0.txt;*3.txt;*6.txt"; do
  read -r shape exclude <<< "$run"
  kb=$(peak "$work/$shape" ${exclude:+-e "$exclude"})
  files=$(find "$work/$shape" -type f | wc -l)
  awk -v s="$run" -v kb="$kb" -v b="$base_kb" -v n="$files" \
    'BEGIN { printf "peak memory per file, %s: %.0f bytes (bar 150)\n", s, (kb - b) * 1024 / n }'
done
