#!/bin/sh
# The retention script on a directory of dated archives: only stamped names
# go, by their stamp, the newest always stays, nothing is said unless asked
# for, and a missing destination is an error. The script is the shell one,
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
trap 'rm -rf "$dir" "$out"' EXIT
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
echo "1 passed, 0 failed"
