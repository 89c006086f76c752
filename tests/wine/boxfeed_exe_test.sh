#!/bin/sh
# boxfeed.exe under Wine against the Linux boxsim, through a COM port that
# is linked to the simulated box's pseudo-terminal.
#   boxfeed_exe_test.sh upgrade|boot BOXSIM BOXFEED.EXE
set -eu
command=$1 boxsim=$2 boxfeed=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/said"
if [ "$command" = upgrade ]; then
  head -c 30000 /dev/urandom > "$work/input"
  port=COM7
  args=""
  feed_args="--end-pause-ms 0"
else
  printf 'BOOT\r\nfirst\r\n0102\r\n\r\nSECOND\r\nsent\r\nA1 A2 A3\r\n\r\n' > "$work/input"
  port=COM8
  args=--boot
  feed_args=""
fi
link="$WINEPREFIX/dosdevices/$(echo $port | tr A-Z a-z)"
"$boxsim" "$work/input" $args --link "$link" > "$work/said" &
box=$!
# The box says where it is once its link is in place.
exec 3< "$work/said"
read -r first <&3
echo "$first"
status=0
wine "$boxfeed" $command "$(winepath -w "$work/input")" --port $port $feed_args || status=$?
if [ $status -ne 0 ]; then
  kill $box 2>/dev/null || true
  exit $status
fi
cat <&3
wait $box || { echo "boxsim: the box was not loaded"; exit 1; }
