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
  ./usr/libexec/stampbak/stampbak-night ./usr/libexec/stampbak/stampbak-alert \
  ./usr/libexec/stampbak/prune-archives $doc/examples/windows/stampbak-night.cmd \
  $doc/changelog.gz $doc/README.md $doc/examples/crontab $doc/examples/logrotate/stampbak \
  $doc/examples/systemd/stampbak-nightly.service $doc/examples/systemd/stampbak-nightly.timer \
  $doc/examples/systemd/stampbak-failure@.service \
  $doc/examples/retention/prune-archives.sh $doc/examples/windows/prune-archives.cmd \
  $doc/examples/windows/schedule-stampbak.cmd; do
  echo "$contents" | grep -q " $file\$" || { echo "missing in the package: $file"; exit 1; }
done
dpkg-deb --field "$deb" Depends | grep -q libc6 || { echo "no shared-library dependencies"; exit 1; }

echo "--- the systemd example, as the package and as cmake --install with a prefix put it"
if command -v systemd-analyze > /dev/null; then
  units=$(mktemp -d)
  dpkg-deb -x "$deb" "$units/package"
  cmake --install build/release --prefix "$units/usr/local" > /dev/null
  status=0
  for pair in "$units/package/usr /usr" "$units/usr/local $units/usr/local"; do
    set -- $pair  # where it lies, and the prefix its program is under
    grep -q "^ExecStart=$2/libexec/stampbak/stampbak-night .* $2/bin/stampbak " \
      "$1/share/doc/stampbak/examples/systemd/stampbak-nightly.service" ||
      { echo "the unit under $1 does not start $2/bin/stampbak"; status=1; }
    grep -q "^30 1 .* $2/libexec/stampbak/stampbak-night .* $2/bin/stampbak " \
      "$1/share/doc/stampbak/examples/crontab" ||
      { echo "the crontab under $1 does not start $2/bin/stampbak"; status=1; }
  done
  # The package's units name /usr/bin/stampbak, which is only verified
  # where this machine has one; the prefixed ones name the programs beside
  # them.
  examples=$units/usr/local/share/doc/stampbak/examples/systemd
  (cd "$examples" && systemd-analyze verify ./stampbak-nightly.service \
    ./stampbak-nightly.timer ./stampbak-failure@.service) || status=1
  rm -rf "$units"
  [ "$status" = 0 ] || { echo "systemd-analyze verify failed"; exit 1; }
  echo "units verified"
else
  echo "no systemd-analyze here: the units are not verified"
fi

echo "--- manual page examples, and the README's scheduler lines as the examples hold them"
sh tests/man_examples_test.sh man/stampbak.1
for pattern in '30 1 \* \* \* ' '/TR "cmd /c '; do
  readme=$(grep "$pattern" README.md | sed 's/^ *//')
  example=$(grep -h "$pattern" contrib/crontab contrib/windows/schedule-stampbak.cmd | sed 's/^ *//')
  [ -n "$readme" ] && [ "$readme" = "$example" ] ||
    { echo "the README and the example differ: $readme | $example"; exit 1; }
done

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
