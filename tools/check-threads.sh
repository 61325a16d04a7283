#!/bin/sh
# Runs the end-to-end tests of the native executable (the table's rows and
# the hand-written runs, the deep tree and the read-ahead's shapes among
# them) under ThreadSanitizer, where the read-ahead's workers run by
# default: a race of theirs fails the run it happens in. Address-space
# randomisation is turned off for it, which some kernels' settings need.
set -eu
cd "$(dirname "$0")/.."
cmake --preset threads
cmake --build --preset threads
setarch "$(uname -m)" -R ctest --preset threads
