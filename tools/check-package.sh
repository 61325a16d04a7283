#!/bin/sh
# Checks the manual page, builds the Debian package, looks inside it, runs
# Debian's package checker on it, and runs the tool once from the package
# unpacked into a temporary directory. Nothing is installed.
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
for file in ./usr/bin/stampbak ./usr/share/man/man1/stampbak.1.gz \
  ./usr/share/doc/stampbak/copyright ./usr/share/doc/stampbak/changelog.gz; do
  echo "$contents" | grep -q " $file\$" || { echo "missing in the package: $file"; exit 1; }
done
dpkg-deb --field "$deb" Depends | grep -q libc6 || { echo "no shared-library dependencies"; exit 1; }

echo "--- lintian"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Any error fails the check; the note that root runs it (CI does) is dropped.
status=0
lintian --fail-on error "$deb" > "$work/lintian" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian" || true
[ "$status" = 0 ] || { echo "lintian found errors"; exit 1; }

echo "--- unpacked"
dpkg-deb -x "$deb" "$work/root"
stampbak=$work/root/usr/bin/stampbak
"$stampbak" -s example/source -d "$work/backup" -e '*.tmp' > "$work/report"
grep -q '^All OK' "$work/report" || { cat "$work/report"; exit 1; }
[ -d "$work/backup" ]
echo "unpacked stampbak ran: $(grep -c '^C ' "$work/report") files selected"
