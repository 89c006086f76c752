#!/usr/bin/env bash
# The manual pages: each formats without a warning, and each page it names
# under SEE ALSO is one of ours.
set -u
top=$1
status=0
pages=$(cd "$top" && find . -name '*.1' -not -path './build*' -not -path './.git/*' | sort)
[ -n "$pages" ] || { echo "no manual pages found"; exit 1; }
names=$(for page in $pages; do basename "$page"; done)
for page in $pages; do
  warnings=$(groff -man -ww -z "$top/$page" 2>&1)
  if [ -n "$warnings" ]; then echo "$page: $warnings"; status=1; fi
  seen=$(sed -n '/^\.SH SEE ALSO/,/^\.SH/p' "$top/$page" | sed -n 's/^\.BR \([^ ]*\) (\([0-9]\)).*/\1.\2/p')
  [ -n "$seen" ] || { echo "$page: no SEE ALSO"; status=1; }
  for name in $seen; do
    grep -qx "$name" <<<"$names" || { echo "$page: SEE ALSO names $name, which is no page of ours"; status=1; }
  done
done
[ $status = 0 ] && echo "manual pages: $(wc -w <<<"$pages") checked"
exit $status
