#!/bin/sh
# Fails on any source that clang-format would change and on any clang-tidy
# finding in the program and its platform layer, the Win32 files included
# (checked for the MinGW target, with its C++ and Windows headers).
set -eu
cd "$(dirname "$0")/.."
echo "--- clang-format"
clang-format --dry-run -Werror $(git ls-files '*.cpp' '*.h')
echo "--- clang-tidy"
cmake --preset test > /dev/null
clang-tidy -p build/test --quiet \
  $(git ls-files 'src/*.cpp' 'platform/*_posix.cpp') \
  2> /dev/null
echo "--- clang-tidy, Win32 layer"
cmake --preset windows > /dev/null
# The cross compiler's C++ and Windows headers; clang brings its own
# intrinsics, which GCC's headers would clash with.
headers=$(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 \
  | sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '^ ' \
  | grep -v -e '-posix/include$' -e 'include-fixed' | sed 's/^ */--extra-arg=-isystem/')
# shellcheck disable=SC2086  # one argument per directory
clang-tidy -p build/windows --quiet --extra-arg=--target=x86_64-w64-mingw32 $headers \
  $(git ls-files 'platform/*_win32.cpp') 2> /dev/null
