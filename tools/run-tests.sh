#!/bin/sh
# Builds and runs every check: the Windows build and its unit suite under
# Wine, the Linux build with its unit and end-to-end suites (those of the
# Windows executable included), the suite again under sanitizers and one
# run under valgrind, the fuzz targets, format and static analysis, and the
# Debian package with the manual page.
set -eu
cd "$(dirname "$0")/.."

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
cmake --preset windows
cmake --build --preset windows
[ -d "$WINEPREFIX" ] || wineboot --init > /dev/null 2>&1
ctest --preset windows

cmake --preset test
cmake --build --preset test
export STAMPBAK_REQUIRE_WINDOWS=1
ctest --preset test

tools/check-sanitizers.sh
tools/run-fuzzers.sh
tools/check-lint.sh
tools/check-package.sh
echo "all checks passed"
