#!/bin/sh
# The retention example on a directory of dated archives: only stamped
# names go, by their stamp, and the newest always stays.
set -eu
prune=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
check() {
  found=$(ls "$dir" | tr '\n' ' ')
  [ "$found" = "$1" ] || { echo "after $2: '$found', expected '$1'"; exit 1; }
}
old=$(date -d '40 days ago' +%Y_%m_%d)
recent=$(date -d '2 days ago' +%Y_%m_%d)
for name in 2020_01_01.rar "${old}_01_02_03.rar" "$recent.rar" notes.rar 2020_01_01.txt; do
  touch "$dir/$name"
done
"$prune" "$dir" --days 30 > /dev/null
check "2020_01_01.txt $recent.rar notes.rar " "--days 30"
touch "$dir/2021_05_05.rar"
"$prune" "$dir" --days 0 > /dev/null
check "2020_01_01.txt $recent.rar notes.rar " "--days 0 (the newest stays)"
touch "$dir/2021_05_05.rar" "$dir/2022_05_05_10_00_00.rar"
"$prune" "$dir" --keep 2 > /dev/null
check "2020_01_01.txt 2022_05_05_10_00_00.rar $recent.rar notes.rar " "--keep 2"
if "$prune" "$dir" --keep 2>/dev/null; then echo "a bad call passed"; exit 1; fi
echo "1 passed, 0 failed"
