#!/bin/sh
# The nightly wrapper over nights a log must tell apart: archived, unchanged,
# failed, warned, nothing selected, unstamped beside the destination. Each
# ends the log with one dated line naming what happened; standard error
# carries stampbak's own and nothing more; the status is stampbak's, or 1
# for a warned night under --fail-on-warnings. Arguments: the wrapper, the
# stampbak it runs and the folder of the stand-in archiver; with "wine"
# before them, the Windows wrapper and stampbak.exe, under Wine.
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mode=$1
if [ "$mode" = wine ]; then
  [ -d "${WINEPREFIX:-}" ] && [ -f "$2" ] && [ -f "$3" ] || { echo "no Windows build"; exit 77; }
  shift
  native() { winepath -w "$1"; }
  export WINEPATH="$(native "$3")"
  # Each word quoted, as a scheduled task's command line has it.
  night() {
    line="call \"$(native "$script")\""
    for word; do line="$line \"$word\""; done
    printf '@echo off\r\n%s\r\n' "$line" > "$dir/night.cmd"
    status=0
    wine cmd /c "$(native "$dir/night.cmd")" > "$dir/out" 2> "$dir/err.raw" || status=$?
    tr -d '\r' < "$dir/err.raw" > "$dir/err"
    tr -d '\r' < "$log" > "$dir/log"
  }
else
  native() { printf '%s\n' "$1"; }
  export PATH="$3:$PATH"
  night() {
    status=0
    sh "$script" "$@" > "$dir/out" 2> "$dir/err" || status=$?
    cp "$log" "$dir/log"
  }
fi
script=$1
stampbak=$(native "$2")
log=$dir/logs/documents.log
wlog=$(native "$log")
mkdir -p "$dir/src/sub"
echo letter > "$dir/src/sub/letter.txt"
echo notes > "$dir/src/notes.txt"
src=$(native "$dir/src")
dst=$(native "$dir/dst")
sep=$(printf '%s' "$dst" | sed 's/.*\(.\)dst$/\1/')

# The status, the end of the night's dated line and what standard error
# must hold (empty: nothing), then stampbak's options after -d; $wrapper
# may add an option of the wrapper's.
wrapper=
expect() {
  want_status=$1 want_line=$2 want_err=$3
  shift 3
  night $wrapper "$wlog" "$stampbak" -d "$dst" "$@"
  last=$(grep '^=== ' "$dir/log" | tail -n 1)
  case $want_line:$last in
    # A line ending ": " leaves the system's reason open.
    *": :=== "*" $want_line"*) ;;
    *:"=== "*" $want_line") ;;
    *) echo "after '$*': '$last', expected '$want_line'"; exit 1 ;;
  esac
  [ "$status" = "$want_status" ] && [ ! -s "$dir/out" ] || { echo "after '$*': status $status"; exit 1; }
  if [ -n "$want_err" ]; then grep -q "$want_err" "$dir/err"; else [ ! -s "$dir/err" ]; fi ||
    { echo "after '$*': standard error: $(cat "$dir/err")"; exit 1; }
}
# The last night archived, into NAME as the log says it, FILE here.
archived() {
  [ "$status" = 0 ] && tail -n 1 "$dir/log" | grep -qF " archived $1 ($(wc -c < "$2") bytes)" ||
    { echo "not archived into $1: $(tail -n 3 "$dir/log")"; exit 1; }
}
for tries in 1 2; do
  # The stamp is the run's day; a run at midnight may take the next one.
  stamp=$(date +%Y_%m_%d)
  night "$wlog" "$stampbak" -s "$src" -d "$dst" -a -r
  [ -f "$dir/dst/$stamp.rar" ] && break
  rm -rf "$dir/dst" "$dir/logs"
done
archive=$dst$sep$stamp.rar
archived "$archive" "$dir/dst/$stamp.rar"
expect 0 "nothing changed since $archive" "" -s "$src" -a -r
expect 0 "nothing changed since $archive; 1 warning above" "^stampbak: passed over" -s "$src" -a -r -x
wrapper=--fail-on-warnings
expect 1 "nothing changed since $archive; 1 warning above" "^stampbak: passed over" -s "$src" -a -r -x
wrapper=
expect 0 "no archive, no file was selected: the lists take none of the files met in $src$sep (2); 1 warning above" \
  "^stampbak: no file was selected" -s "$src" -a -r -i 'sub;*.doc'
expect 1 "NO BACKUP: Cannot read source directory $src${sep}missing$sep: " \
  "^stampbak: no backup was made" -s "$src${sep}missing" -a -r
# Another job, unstamped: its archive lies beside the destination.
night "$wlog" "$stampbak" -s "$src" -d "$dst" -i '*.txt;sub' -r
archived "$dst.rar" "$dir/dst.rar"
expect 0 "nothing changed since $dst.rar" "" -s "$src" -i '*.txt;sub' -r
expect 0 "report only: no archive asked for (no -r)" "" -s "$src"
[ "$(grep -c '^=== ' "$dir/log")" = 9 ] && grep -q '^C .*letter.txt' "$dir/log" ||
  { echo "not the report and one dated line a night"; exit 1; }
if [ "$mode" != wine ] && [ "$(stat -c %a "$log" "$dir/logs")" != "$(printf '600\n700')" ]; then
  echo "the log is not private"; exit 1
fi
