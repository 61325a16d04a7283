#!/bin/sh
# Checks the manual page, builds the Debian package, looks inside it,
# installs it and runs the installed tool once on the example tree.
set -eu
cd "$(dirname "$0")/.."

echo "--- manual page"
mandoc -T lint -W warning man/stampbak.1
man -l man/stampbak.1 > /dev/null

echo "--- package"
cmake --preset release > /dev/null
cmake --build --preset release
(cd build/release && cpack > /dev/null)
deb=$(ls build/release/stampbak_*.deb)
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
for file in ./usr/bin/stampbak ./usr/share/man/man1/stampbak.1; do
  echo "$contents" | grep -q " $file\$" || { echo "missing in the package: $file"; exit 1; }
done
dpkg-deb --field "$deb" Depends | grep -q libc6 || { echo "no shared-library dependencies"; exit 1; }

echo "--- installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$(id -u)" = 0 ]; then
  dpkg -i "$deb" > /dev/null
  stampbak=/usr/bin/stampbak
elif sudo -n true 2> /dev/null; then
  sudo dpkg -i "$deb" > /dev/null
  stampbak=/usr/bin/stampbak
else
  echo "(not root: unpacking instead of installing)"
  dpkg-deb -x "$deb" "$work/root"
  stampbak=$work/root/usr/bin/stampbak
fi
"$stampbak" -s example/source -d "$work/backup" -e '*.tmp' > "$work/report"
grep -q '^All OK' "$work/report" || { cat "$work/report"; exit 1; }
[ -d "$work/backup" ]
echo "installed $stampbak ran: $(grep -c '^C ' "$work/report") files selected"
