#!/bin/sh
# boxfeed.exe under Wine through a COM port that behaves as a UART
# (tests/uart preloaded into Wine).
#   uart_model_exe_test.sh boot|read-error BOXSIM BOXFEED.EXE UART_MODEL.SO
# boot: a box that says two bytes at power-on, and an adapter that holds 32
# bytes its driver cannot see; the speed may change only once the section
# has left the wire. read-error: reads fail with EIO mid-upgrade, as an
# unplugged adapter's do; the run fails once, with its cause.
set -eu
mode=$1 boxsim=$2 boxfeed=$3 model=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/said"
link="$WINEPREFIX/dosdevices/com9"
if [ "$mode" = boot ]; then
  hex=$(printf 'A5%.0s' $(seq 1 100))
  printf 'BOOT\r\nfirst\r\n0102\r\n\r\nSECOND\r\nsent\r\n%s\r\n\r\n' "$hex" > "$work/input"
  "$boxsim" "$work/input" --boot --power-on-bytes 2 --link "$link" > "$work/said" &
  export BOXFEEDER_UART_FIFO=32
  set -- boot "$(winepath -w "$work/input")" --port COM9
else
  head -c 8192 /dev/urandom > "$work/input"
  "$boxsim" "$work/input" --chunk 512 --link "$link" > "$work/said" &
  export BOXFEEDER_UART_FAIL=read:EIO:6
  set -- upgrade "$(winepath -w "$work/input")" --port COM9 --end-pause-ms 0
fi
box=$!
exec 3< "$work/said"
read -r first <&3
status=0
LD_PRELOAD="$model $LD_PRELOAD" BOXFEEDER_UART_DEVICE="$link" BOXFEEDER_UART_LOG="$work/uart.log" \
  wine "$boxfeed" "$@" > "$work/out" 2> "$work/err" || status=$?
cat "$work/out"
if [ "$mode" = boot ]; then
  cat <&3
  wait $box || { echo "boxsim: the box was not loaded"; status=1; }
  echo "--- what the UART was asked"
  cat "$work/uart.log"
  grep -q "speed 38400 -> 115200, 0 bytes on the wire" "$work/uart.log" ||
    { echo "the speed changed with bytes on the wire, or never"; status=1; }
  exit $status
fi
kill $box 2>/dev/null || true
[ $status -eq 1 ] || { echo "exit status $status, not 1"; exit 1; }
causes=$(grep -c '^Cause: COM9: the port disappeared' "$work/out" || true)
[ "$causes" -eq 1 ] || { echo "$causes cause lines for the vanished port, not 1"; exit 1; }
failures=$(grep -c 'Fail to Read the Port' "$work/err" || true)
[ "$failures" -le 1 ] || { echo "$failures read failures shown, not one"; exit 1; }
