#!/bin/sh
# The cron line and the systemd units as shipped, with this build's paths:
# a normal night is quiet; a warned night (an empty source, as an unmounted
# disk looks) and a failed one (no source) give cron something to mail and
# fail the unit, whose OnFailure= hook logs and mails the alert, seen
# through stubs of journalctl, logger and sendmail. Arguments: the examples'
# folder, stampbak, and the folder of the stand-in archiver.
set -eu
contrib=$1 stampbak=$2 standin=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/bin" "$dir/src"
echo letter > "$dir/src/letter.txt"
for stub in journalctl logger sendmail; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n[ %s = journalctl ] || cat >> "%s/calls"\n' \
    "$stub" "$dir" "$stub" "$dir" > "$dir/bin/$stub"
  chmod +x "$dir/bin/$stub"
done
command() {
  sed -n "s/^$1//p" "$contrib/$2" | sed -e "s|/usr/libexec/stampbak/\([a-z-]*\)|sh $contrib/*/\1.sh|" \
    -e "s|/usr/bin/stampbak|$stampbak|; s|/home/me/documents|$dir/src|; s|%i|night.service|" \
    -e "s|/srv/backup/documents|$dir/dst|; s|/var/log/stampbak|$dir/log|"
}
run() { env -i PATH="$dir/bin:$standin:/usr/bin:/bin" MAILTO="$2" sh -c "$1"; }
cron=$(command '30 1 \* \* \* ' crontab)
unit=$(command ExecStart= systemd/stampbak-nightly.service)
alert=$(command ExecStart= systemd/stampbak-failure@.service)

night() {
  status=0
  run "$unit" "" > /dev/null 2>&1 || status=$?
  [ "$status" = "$1" ] || { echo "the unit's night: status $status"; exit 1; }
  mailed=$(run "$cron" "" 2>&1) || true
  case $mailed in
    $2) ;;
    *) echo "cron would mail '$mailed'"; exit 1 ;;
  esac
}
night 0 ""
mv "$dir/src/letter.txt" "$dir"
night 1 "stampbak: no file was selected: the source * holds no file *"
rmdir "$dir/src"
night 1 "*stampbak: no backup was made: Cannot read source directory *"
[ "$(grep -c '^=== ' "$dir/log/documents.log")" = 6 ] &&
  [ "$(stat -c %a "$dir/log" "$dir/log/documents.log")" = "$(printf '700\n600')" ] ||
  { echo "not a dated line a night in a private log"; exit 1; }

run "$alert" you@example.org
run "$alert" ""
# Both alerts logged at err, one mailed.
[ "$(grep -cx 'logger -p user.err -t stampbak' "$dir/calls")" = 2 ] &&
  [ "$(grep -cx 'journalctl -u night.service -n 20 --no-pager -o short-iso' "$dir/calls")" = 2 ] &&
  [ "$(grep -c '^sendmail' "$dir/calls")" = 1 ] && grep -qx 'To: you@example.org' "$dir/calls" &&
  grep -q '^Subject: stampbak: night.service failed on ' "$dir/calls" || { cat "$dir/calls"; exit 1; }
