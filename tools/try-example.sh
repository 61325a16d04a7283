#!/bin/sh
# Builds the tool and runs it once on the small example tree in example/.
set -eu
cd "$(dirname "$0")/.."
cmake --preset release > /dev/null
cmake --build --preset release
echo "--- stampbak -s example/source -d build/example-backup -e '*.tmp;*.log'"
status=0
build/release/stampbak -s example/source -d build/example-backup -e '*.tmp;*.log' || status=$?
echo "--- exit status $status"
