#!/bin/sh
# Builds everything with the test suite and runs the whole of it.
set -eu
cd "$(dirname "$0")/.."
cmake --preset test
cmake --build --preset test
ctest --preset test
tools/run-fuzzers.sh
