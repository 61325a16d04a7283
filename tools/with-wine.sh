#!/bin/sh
# Runs a command (from the project's root) with Wine's server and services
# up for the Windows build's Wine prefix the whole time, started here and
# ended after it. Started by a test instead, the services would hold that
# test's output pipe open until the server ends, three seconds after the
# last Wine program: with other tests running Wine meanwhile, the test
# would wait for ever.
set -eu
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot --init > /dev/null 2>&1
# A server still running (as after wineboot) cannot be made to stay: wait
# for it to end.
wineserver -w
wineserver -p
trap 'wineserver -k 2> /dev/null || true' EXIT
wine cmd /c exit > /dev/null 2>&1 < /dev/null
"$@"
