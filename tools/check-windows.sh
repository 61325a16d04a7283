#!/bin/sh
# Cross-builds the Windows executable and its unit suite, runs the suite
# under Wine, then the end-to-end tests of stampbak.exe from the Linux
# test build (which it builds too, if need be).
set -eu
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
cmake --preset windows
cmake --build --preset windows
[ -d "$WINEPREFIX" ] || wineboot --init > /dev/null 2>&1
# Wine's server and its services, started here for every run below and
# ended with the script. Started by a test instead, the services would
# hold that test's output pipe open until the server ends, three seconds
# after the last Wine program: with other tests running Wine meanwhile,
# the test would wait for ever.
# A server still running (after wineboot) cannot be made to stay: wait for it.
wineserver -w
wineserver -p
trap 'wineserver -k 2> /dev/null || true' EXIT
wine cmd /c exit > /dev/null 2>&1 < /dev/null
ctest --preset windows
cmake --preset test > /dev/null
cmake --build --preset test
STAMPBAK_REQUIRE_WINDOWS=1 ctest --preset test -R '^Wine/'
echo "--- release zip"
(cd build/windows && cpack > /dev/null)
zip=$(ls build/windows/stampbak-*.zip)
unzip -l "$zip"
for file in stampbak.exe README.txt LICENSE.txt prune-archives.cmd schedule-stampbak.cmd stampbak-night.cmd; do
  unzip -l "$zip" | grep -q " $file\$" || { echo "missing in the zip: $file"; exit 1; }
done
# Notepad and cmd want CR LF: no line of a text may end in LF alone.
for file in README.txt LICENSE.txt prune-archives.cmd schedule-stampbak.cmd stampbak-night.cmd; do
  if unzip -p "$zip" "$file" | grep -q "[^$(printf '\r')]\$"; then
    echo "a line without CR LF in the zip's $file"; exit 1
  fi
done
