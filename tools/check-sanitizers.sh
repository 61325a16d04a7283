#!/bin/sh
# Runs the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then one archiving run of the release build
# under valgrind's memcheck.
set -eu
cd "$(dirname "$0")/.."
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

echo "--- valgrind memcheck"
cmake --preset release > /dev/null
cmake --build --preset release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"
PATH="$PWD/build/sanitize/stand-in:$PATH" TEMP="$work/tmp" \
  valgrind --quiet --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect,possible \
  build/release/stampbak -s example/source -d "$work/backup" -a -r > "$work/report" 2> "$work/err" \
  || { cat "$work/err"; exit 1; }
grep -q '^All OK' "$work/report" || { cat "$work/report" "$work/err"; exit 1; }
ls "$work/backup"/*.rar > /dev/null
echo "memcheck: no error, no leak"
