#!/bin/sh
# The retention script on a directory of dated archives: only stamped names
# go, by their stamp, the newest always stays, nothing is said unless asked
# for, and a missing destination is an error. With a record of finished
# archives, an archive in progress and each job's newest finished one stay,
# --keep counts per job, and a record it cannot read removes nothing. The script is the shell one,
# or with "wine" before it the Windows one, run under Wine.
set -eu
if [ "$1" = wine ]; then
  [ -d "$WINEPREFIX" ] || { echo "no Windows build"; exit 77; }
  prune() {
    for word; do
      case $word in /*) word=$(winepath -w "$word") ;; esac
      set -- "$@" "$word"
      shift
    done
    status=0
    wine cmd /c "$script" "$@" > "$out" || status=$?
    tr -d '\r' < "$out"
    return $status
  }
  script=$(winepath -w "$2")
else
  prune() { sh "$script" "$@"; }
  script=$1
fi
dir=$(mktemp -d)
out=$(mktemp)
trap 'rm -rf "$dir" "$out" "$out.record"' EXIT
check() {
  found=$(ls "$dir" | tr '\n' ' ')
  [ "$found" = "$1" ] || { echo "after $2: '$found', expected '$1'"; exit 1; }
}
old=$(date -d '40 days ago' +%Y_%m_%d)
recent=$(date -d '2 days ago' +%Y_%m_%d)
for name in 2020_01_01.rar "${old}_01_02_03.rar" "$recent.rar" notes.rar 2020_01_01.txt 2020_1_01.rar; do
  touch "$dir/$name"
done
[ -z "$(prune "$dir" --days 30)" ] || { echo "not silent"; exit 1; }
check "2020_01_01.txt 2020_1_01.rar $recent.rar notes.rar " "--days 30"
touch "$dir/2021_05_05.rar"
prune "$dir" --days 0 > /dev/null
check "2020_01_01.txt 2020_1_01.rar $recent.rar notes.rar " "--days 0 (the newest stays)"
touch "$dir/2021_05_05.rar" "$dir/2022_05_05_10_00_00.rar"
[ "$(prune -v "$dir" --keep 2 | sed 's/.*[\\/]//')" = 2021_05_05.rar ] || { echo "-v"; exit 1; }
check "2020_01_01.txt 2020_1_01.rar 2022_05_05_10_00_00.rar $recent.rar notes.rar " "--keep 2"
if prune "$dir" --keep 2> /dev/null; then echo "a bad call passed"; exit 1; fi
if prune "$dir/missing" --keep 2 2> /dev/null; then echo "a missing destination passed"; exit 1; fi

rm -f "$dir"/*
entry() {  # STATE JOB NAME
  printf '%s\t%s\t%s\t1\t0:1\t0\t0:0\t/src/\t*.*\t\n' "$1" "$2" "$3" >> "$dir/stampbak.record"
}
echo "stampbak record 1" > "$dir/stampbak.record"
for line in "finished aa 2026_01_01" "finished bb 2026_01_03" "finished bb 2026_01_04" \
  "finished aa 2026_01_05" "in-progress aa 2026_01_06" "finished cc ../dst"; do
  set -- $line
  entry "$1" "$2" "$3.rar"
done
for name in 2025_12_01 2025_12_02 2026_01_01 2026_01_03 2026_01_04 2026_01_05 2026_01_06; do
  touch "$dir/$name.rar"
done
cp "$dir/stampbak.record" "$out.record"
prune "$dir" --keep 1 > /dev/null
check "2025_12_02.rar 2026_01_04.rar 2026_01_05.rar 2026_01_06.rar stampbak.record " "--keep 1, per job"
prune "$dir" --days 0 > /dev/null
check "2026_01_04.rar 2026_01_05.rar 2026_01_06.rar stampbak.record " "--days 0, with a record"
cmp -s "$dir/stampbak.record" "$out.record" || { echo "the record was touched"; exit 1; }
echo "stampbak record 9" > "$dir/stampbak.record"
touch "$dir/2020_01_01.rar"
if prune "$dir" --days 0 2> /dev/null; then echo "an unreadable record passed"; exit 1; fi
check "2020_01_01.rar 2026_01_04.rar 2026_01_05.rar 2026_01_06.rar stampbak.record " "a record it cannot read"
echo "1 passed, 0 failed"
