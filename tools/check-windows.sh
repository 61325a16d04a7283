#!/bin/sh
# Cross-builds the Windows executable and its unit suite, runs the suite
# under Wine, then the end-to-end tests of stampbak.exe from the Linux
# test build (which it builds too, if need be).
set -eu
cd "$(dirname "$0")/.."
cmake --preset windows
cmake --build --preset windows
cmake --preset test > /dev/null
cmake --build --preset test
tools/with-wine.sh ctest --preset windows
STAMPBAK_REQUIRE_WINDOWS=1 tools/with-wine.sh ctest --preset test -R '^Wine/'
echo "--- release zip"
(cd build/windows && cpack > /dev/null)
zip=$(ls build/windows/stampbak-*.zip)
unzip -l "$zip"
texts="README.txt LICENSE.txt prune-archives.cmd schedule-stampbak.cmd stampbak-night.cmd"
for file in stampbak.exe $texts; do
  unzip -l "$zip" | grep -q " $file\$" || { echo "missing in the zip: $file"; exit 1; }
done
# Notepad and cmd want CR LF: no line of a text may end in LF alone.
for file in $texts; do
  if unzip -p "$zip" "$file" | grep -q "[^$(printf '\r')]\$"; then
    echo "a line without CR LF in the zip's $file"; exit 1
  fi
done
