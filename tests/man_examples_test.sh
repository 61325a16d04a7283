#!/bin/sh
# Each example command of the manual page, as the page prints it, runs
# through the shell against a stub stampbak: it must parse as printed, the
# stub must be called once, and nothing may be left over for the shell to
# run (an unquoted "~*" would be). Paths under /var/log go to a temporary
# directory, the nightly wrapper is the one in the sources, and the stub
# touches nothing.
set -eu
page=$1
night=$(cd "$(dirname "$page")/.." && pwd)/contrib/night/stampbak-night.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/calls.$$"\n' "$work" > "$work/bin/stampbak"
chmod +x "$work/bin/stampbak"
mandoc -T ascii "$page" | col -b | sed -n '/^EXAMPLES/,/^[A-Z]/p' | grep 'stampbak -' |
  sed -e 's/^[[:space:]]*//' -e 's/^[0-9*]* [0-9*]* [0-9*]* [0-9*]* [0-9*]* //' -e "s|/var/log|$work/var/log|g" \
      -e "s|/usr/libexec/stampbak/stampbak-night|sh $night|; s|/usr/bin/stampbak|stampbak|" \
  > "$work/lines"
[ -s "$work/lines" ] || { echo "no examples found"; exit 1; }
while IFS= read -r line; do
  rm -f "$work"/calls.*
  (cd "$work" && PATH="$work/bin:$PATH" sh -c "$line") || { echo "failed as printed: $line"; exit 1; }
  [ "$(ls "$work" | grep -c '^calls\.')" = 1 ] || { echo "not one call: $line"; exit 1; }
  echo "parses as printed: $line"
done < "$work/lines"
