#!/bin/sh
# Runs one night of stampbak for a scheduler and says in the log, on one
# dated line, what the night did:
#
#   stampbak-night [--fail-on-warnings] LOG STAMPBAK OPTION...
#
# LOG gets the night's report, then what stampbak wrote to standard error,
# then a line such as
#
#   === 2026-12-08 01:30:00 archived /srv/backup/documents/2026_12_08.rar (48213 bytes)
#   === 2026-12-09 01:30:00 nothing changed since /srv/backup/documents/2026_12_08.rar
#   === 2026-12-10 01:30:00 NO BACKUP: Cannot read source directory /home/me/documents/: ...
#
# with "; N warnings above" where a night had any, so `grep '^=== ' LOG`
# shows the nights at a glance. LOG and its folder are created private
# (0600, 0700). Standard error still gets what stampbak writes there, for
# cron to mail and the journal to keep, and nothing else; standard output
# gets nothing. The exit status is stampbak's (0: the night did its job,
# 1: no backup was made), or 1 for a night with warnings under
# --fail-on-warnings, so that the scheduler alerts on those too.
# STAMPBAK is the program with its path, as the examples give it.
set -u
usage() {
  echo "usage: $0 [--fail-on-warnings] LOG STAMPBAK OPTION..." >&2
  exit 2
}
strict=
[ "${1:-}" = --fail-on-warnings ] && { strict=1; shift; }
[ $# -ge 2 ] || usage
log=$1
shift
# Private, as it names every file; stampbak keeps the caller's umask.
(umask 077 && mkdir -p -- "$(dirname -- "$log")" && touch -- "$log") || exit 1
began=$(date '+%F %T')

# The options as stampbak reads them: the first letter of a word counts,
# after one leading - or /; a value option takes the next word whatever
# it is.
program=$1
shift
destination= archives= stamped= value=
for word; do
  [ "$value" = d ] && destination=$word
  [ -n "$value" ] && { value=; continue; }
  letter=$(printf '%.1s' "${word#[-/]}" | tr 'A-Z' 'a-z')
  case $letter in
    s | d | i | e) value=$letter ;;
    a | m) stamped=1 ;;
    r) archives=1 ;;
  esac
done
record=${destination%/}/stampbak.record

# The record's entries, where it is a plain file.
entries() {
  [ -f "$record" ] && [ ! -L "$record" ] && tail -n +2 "$record"
}
before=$(entries) || before=
logged=$(wc -c < "$log")
errors=$(mktemp) || exit 1
trap 'rm -f "$errors"' EXIT
# stampbak's standard error to the caller and a copy; its status through 3.
status=$({ { "$program" "$@" 3>&- 2>&1 >> "$log"; echo $? >&3; } | tee "$errors" >&2; } 3>&1)
cat "$errors" >> "$log"

# The night's settings, from the first lines of its report alone: a report
# may list a million files.
header=$(tail -c +$((logged + 1)) "$log" | head -n 4 | tr -d '\r')
setting() { printf '%s\n' "$header" | sed -n "s/^$1 = //p"; }
warnings=$(grep -c '^stampbak: ' "$errors")
said() { grep -m 1 "^stampbak: $1" "$errors" | sed 's/^stampbak: //'; }

if [ "$status" != 0 ]; then
  reason=$(said 'no backup was made: ' | sed 's/^no backup was made: //')
  [ -n "$reason" ] || reason=$(said 'ended by')
  [ -n "$reason" ] || reason=$(head -n 1 "$errors")
  outcome="NO BACKUP: ${reason:-exit status $status}"
  warnings=0
elif [ -z "$archives" ]; then
  outcome="report only: no archive asked for (no -r)"
else
  # This night's archive, as the record names it: the unstamped one lies
  # beside the destination.
  archive=$(setting DstDir)
  archive=${archive%/}.rar
  name=${archive##*/}
  [ -n "$stamped" ] || name=../$name
  made=$(entries | awk -F '\t' -v name="$name" '$1 == "finished" && $3 == name' | tail -n 1)
  if [ -n "$made" ] && ! printf '%s\n' "$before" | grep -qxF -- "$made"; then
    outcome="archived $archive ($(printf '%s' "$made" | cut -f 4) bytes)"
  elif [ -n "$(said 'no file was selected')" ]; then
    outcome="no archive, $(said 'no file was selected' | sed 's/; no archive is made$//')"
  else
    # The job: the source with every link followed, and both lists, as
    # the record spells them.
    escape() { sed 's/%/%25/g; s/	/%09/g'; }
    source=$(cd -P -- "$(setting SrcDir)" 2> /dev/null && pwd -P)
    last=$(entries | awk -F '\t' -v source="${source%/}/" \
      -v include="$(setting IncludeMask | escape)" -v exclude="$(setting ExcludeMask | escape)" \
      '$1 == "finished" && $8 == source && $9 == include && $10 == exclude { last = $3 }
       END { print last }')
    case $last in
      "") since="the last archive" ;;
      ../*) since=$(dirname -- "${destination%/}")/${last#../} ;;
      *) since=${destination%/}/$last ;;
    esac
    outcome="nothing changed since $since"
  fi
fi
[ "$warnings" -gt 0 ] && outcome="$outcome; $warnings warning$([ "$warnings" = 1 ] || echo s) above"
echo "=== $began $outcome" >> "$log"
[ -n "$strict" ] && [ "$status" = 0 ] && [ "$warnings" -gt 0 ] && exit 1
exit "$status"
