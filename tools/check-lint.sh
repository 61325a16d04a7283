#!/bin/sh
# Fails on any source that clang-format would change and on any clang-tidy
# finding in the program and its platform layer.
set -eu
cd "$(dirname "$0")/.."
echo "--- clang-format"
clang-format --dry-run -Werror $(git ls-files '*.cpp' '*.h')
echo "--- clang-tidy"
cmake --preset test > /dev/null
clang-tidy -p build/test --quiet \
  $(git ls-files 'src/*.cpp' 'platform/*_posix.cpp' 'platform/system.cpp' 'tests/fake_system.cpp') \
  2> /dev/null
