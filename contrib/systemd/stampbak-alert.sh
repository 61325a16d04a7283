#!/bin/sh
# Raises the alert for a night whose unit failed (no backup was made, or a
# warned night under stampbak-night --fail-on-warnings):
#
#   stampbak-alert UNIT
#
# The unit's last journal lines, which hold stampbak's reason or warnings,
# go to the system log at priority err, and, where MAILTO names an address
# (Environment=MAILTO=... in stampbak-failure@.service), by mail through
# sendmail, which any mail transport provides (exim4, postfix, dma,
# msmtp-mta). A mail that cannot be handed over fails the alert unit, so
# that `systemctl --failed` shows that too.
set -u
[ $# -eq 1 ] || { echo "usage: $0 UNIT" >&2; exit 2; }
unit=$1
lines=$(journalctl -u "$unit" -n 20 --no-pager -o short-iso 2>&1)
printf '%s\n' "$lines" | logger -p user.err -t stampbak
[ -n "${MAILTO:-}" ] || exit 0
{
  echo "To: $MAILTO"
  echo "Subject: stampbak: $unit failed on $(hostname)"
  echo
  echo "The night of $unit did not end well; its last journal lines:"
  echo
  printf '%s\n' "$lines"
} | sendmail -t
