#!/bin/sh
# Removes old date-stamped archives that stampbak -a left in a destination,
# so that they do not pile up for ever:
#
#   prune-archives.sh [-v] DESTINATION --keep N    keep the newest N archives of each job
#   prune-archives.sh [-v] DESTINATION --days D    keep those stamped within D days
#
# Only names made by -a (YYYY_MM_DD.rar, YYYY_MM_DD_HH_MM_SS.rar) are
# touched, and their age is read from the stamp. The record of finished
# archives (stampbak.record) decides what must stay, and is never touched:
# an archive a run is making or was making when it was killed stays, and
# so does the newest finished archive of every job, the one its next run
# compares against; --keep counts each job's archives on their own. Those
# the record does not name (made before it) count as one job more, and
# the newest archive of all always stays. Where the record cannot be read,
# nothing is removed. While a run holds the destination, nothing is removed
# either. Silent when it succeeds, so that cron mails only trouble; -v
# names each archive removed. For example, after the nightly backup in a
# crontab:
#
#   45 1 * * * /usr/libexec/stampbak/prune-archives /srv/backup/documents --days 90
set -eu
usage() {
  echo "usage: $0 [-v] DESTINATION --keep N | --days D" >&2
  exit 2
}
verbose=
[ "${1:-}" = -v ] && { verbose=1; shift; }
[ $# -eq 3 ] && [ "$3" -ge 0 ] 2> /dev/null || usage
directory=$1
count=
cutoff=
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
# The lock a run holds on its destination while it archives.
if command -v flock > /dev/null; then
  exec 9< "$directory"
  flock -n 9 || {
    echo "$0: a stampbak run is using $directory; nothing removed" >&2
    exit 1
  }
fi
record=$directory/stampbak.record
entries=
if [ -e "$record" ] || [ -L "$record" ]; then
  [ -f "$record" ] && [ ! -L "$record" ] && [ -r "$record" ] \
    && [ "$(head -n 1 "$record")" = "stampbak record 1" ] || {
    echo "$0: cannot read the record $record; nothing removed" >&2
    exit 1
  }
  # NAME STATE JOB for each archive in the destination itself.
  entries=$(awk -F '\t' 'NR > 1 && $3 !~ /[\/\\]/ { print $3 "\t" $1 "\t" $2 }' "$record")
fi

stamped=$(ls -1 "$directory" | grep -E '^[0-9]{4}_[0-9]{2}_[0-9]{2}(_[0-9]{2}_[0-9]{2}_[0-9]{2})?\.rar$' | sort -r || true)
# Newest first, per job: what the rules let go.
{
  printf '%s\n' "$entries"
  echo "--"
  printf '%s\n' "$stamped"
} | awk -F '\t' -v keep="$count" -v cutoff="$cutoff" '
  !listed && $0 == "--" { listed = 1; next }
  !listed { if ($1 != "") { state[$1] = $2; job[$1] = $3 }; next }
  $0 == "" { next }
  state[$0] == "in-progress" { next }
  {
    group = ($0 in job) ? job[$0] : "-"
    newer = seen[group]++
    if (++all == 1 || (group != "-" && newer == 0)) next
    if (keep != "" ? newer < keep : substr($0, 1, 10) >= cutoff) next
    print
  }' | while IFS= read -r name; do
  rm -f -- "$directory/$name"
  [ -z "$verbose" ] || echo "removed $directory/$name"
done
