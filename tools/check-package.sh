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
doc=./usr/share/doc/stampbak
for file in ./usr/bin/stampbak ./usr/share/man/man1/stampbak.1.gz $doc/copyright \
  $doc/changelog.gz $doc/README.md $doc/examples/crontab $doc/examples/logrotate/stampbak \
  $doc/examples/systemd/stampbak-nightly.service $doc/examples/systemd/stampbak-nightly.timer \
  $doc/examples/retention/prune-archives.sh $doc/examples/windows/prune-archives.cmd \
  $doc/examples/windows/schedule-stampbak.cmd; do
  echo "$contents" | grep -q " $file\$" || { echo "missing in the package: $file"; exit 1; }
done
dpkg-deb --field "$deb" Depends | grep -q libc6 || { echo "no shared-library dependencies"; exit 1; }

echo "--- the systemd example"
if command -v systemd-analyze > /dev/null; then
  units=$(mktemp -d)
  # Checked with the path of the package's program pointing at this build.
  sed "s|/usr/bin/stampbak|$PWD/build/release/stampbak|" contrib/systemd/stampbak-nightly.service \
    > "$units/stampbak-nightly.service"
  cp contrib/systemd/stampbak-nightly.timer "$units/"
  status=0
  (cd "$units" && systemd-analyze verify ./stampbak-nightly.service ./stampbak-nightly.timer) || status=$?
  rm -rf "$units"
  [ "$status" = 0 ] || { echo "systemd-analyze verify failed"; exit 1; }
  echo "unit and timer verified"
else
  echo "no systemd-analyze here: the unit is not verified"
fi

echo "--- manual page examples"
sh tests/man_examples_test.sh man/stampbak.1

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
