#!/bin/sh
# Removes old date-stamped archives that stampbak -a left in a destination,
# so that they do not pile up for ever:
#
#   prune-archives.sh [-v] DESTINATION --keep N    keep the newest N archives
#   prune-archives.sh [-v] DESTINATION --days D    keep those stamped within D days
#
# Only names made by -a (YYYY_MM_DD.rar, YYYY_MM_DD_HH_MM_SS.rar) are
# touched, and their age is read from the stamp: an archive's file time is
# that of its newest file, not when it was made. The record of finished
# archives (stampbak.record) is never touched, and the newest archive is
# always kept. Silent when it
# succeeds, so that cron mails only trouble; -v names each archive removed.
# For example, after the nightly backup in a crontab:
#
#   45 1 * * * sh /usr/share/doc/stampbak/examples/retention/prune-archives.sh /srv/backup/documents --days 90
set -eu
usage() {
  echo "usage: $0 [-v] DESTINATION --keep N | --days D" >&2
  exit 2
}
verbose=
[ "${1:-}" = -v ] && { verbose=1; shift; }
[ $# -eq 3 ] && [ "$3" -ge 0 ] 2> /dev/null || usage
directory=$1
case $2 in
  --keep) count=$3 ;;
  --days) cutoff=$(date -d "$3 days ago" +%Y_%m_%d) ;;
  *) usage ;;
esac
# A missing or unreadable destination must not pass for one with nothing
# to remove.
[ -d "$directory" ] && [ -r "$directory" ] && [ -x "$directory" ] || {
  echo "$0: cannot read the destination $directory" >&2
  exit 1
}

stamped=$(ls -1 "$directory" | grep -E '^[0-9]{4}_[0-9]{2}_[0-9]{2}(_[0-9]{2}_[0-9]{2}_[0-9]{2})?\.rar$' | sort)
total=$(printf '%s\n' "$stamped" | grep -c . || true)
index=0
printf '%s\n' "$stamped" | while IFS= read -r name; do
  [ -n "$name" ] || continue
  index=$((index + 1))
  [ "$index" -lt "$total" ] || break  # the newest stays
  if [ -n "${count:-}" ]; then
    [ $((total - index)) -ge "$count" ] || continue
  else
    [ "$(printf '%s' "$name" | cut -c1-10)" \< "$cutoff" ] || continue
  fi
  rm -f -- "$directory/$name"
  [ -z "$verbose" ] || echo "removed $directory/$name"
done
