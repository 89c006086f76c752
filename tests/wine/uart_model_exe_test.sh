#!/bin/sh
# boxfeed.exe's boot download under Wine through a COM port that behaves as
# a UART (tests/uart preloaded into Wine): a box that says two bytes at
# power-on, and an adapter that holds 32 bytes its driver cannot see. The
# speed may change only once the section has left the wire.
#   uart_model_exe_test.sh BOXSIM BOXFEED.EXE UART_MODEL.SO
set -eu
boxsim=$1 boxfeed=$2 model=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/said"
hex=$(printf 'A5%.0s' $(seq 1 100))
printf 'BOOT\r\nfirst\r\n0102\r\n\r\nSECOND\r\nsent\r\n%s\r\n\r\n' "$hex" > "$work/commands"
link="$WINEPREFIX/dosdevices/com9"
"$boxsim" "$work/commands" --boot --power-on-bytes 2 --link "$link" > "$work/said" &
box=$!
exec 3< "$work/said"
read -r first <&3
status=0
LD_PRELOAD="$model $LD_PRELOAD" BOXFEEDER_UART_DEVICE="$link" BOXFEEDER_UART_LOG="$work/uart.log" \
  BOXFEEDER_UART_FIFO=32 wine "$boxfeed" boot "$(winepath -w "$work/commands")" --port COM9 || status=$?
cat <&3
wait $box || { echo "boxsim: the box was not loaded"; status=1; }
echo "--- what the UART was asked"
cat "$work/uart.log"
grep -q "speed 38400 -> 115200, 0 bytes on the wire" "$work/uart.log" ||
  { echo "the speed changed with bytes on the wire, or never"; status=1; }
exit $status
