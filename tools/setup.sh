#!/bin/sh
# Installs the Debian packages that building and testing need, the ones
# missing only. Root installs directly; anyone else through sudo.
set -eu
cd "$(dirname "$0")/.."
missing=
for package in $(cat tools/debian-packages.txt); do
  dpkg -s "$package" > /dev/null 2>&1 || missing="$missing $package"
done
[ -n "$missing" ] || { echo "all packages present"; exit 0; }
if [ "$(id -u)" = 0 ]; then
  as_root=
elif command -v sudo > /dev/null; then
  as_root=sudo
else
  echo "not root and no sudo: install as root:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update
# shellcheck disable=SC2086  # one word per package
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
