#!/bin/sh
# The Win32 station window under Wine against Linux boxsims on COM6 to COM9,
# linked to the simulated boxes' pseudo-terminals: the box on COM7 hangs up
# part of the way, the one on COM8 stays silent, and three boxes follow one
# another on COM9.
#   station_test.sh BOXSIM STATION_TEST.EXE
set -eu
boxsim=$1 test_exe=$2
work=$(mktemp -d)
# The silent box on COM8 waits for ever: it goes with the test.
trap 'pkill -f -- "--link $WINEPREFIX/dosdevices/com8" || true; rm -rf "$work" "$WINEPREFIX/dosdevices/com6" "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8" "$WINEPREFIX/dosdevices/com9"' EXIT
image="$work/образ.sdl"
head -c 20000 /dev/urandom > "$image"
rm -f "$WINEPREFIX/dosdevices/com6" "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8" "$WINEPREFIX/dosdevices/com9"
"$boxsim" "$image" --link "$WINEPREFIX/dosdevices/com6" --daemon > "$work/box6"
"$boxsim" "$image" --hang-up-after 5000 --link "$WINEPREFIX/dosdevices/com7" --daemon > "$work/box7"
"$boxsim" "$image" --silent --link "$WINEPREFIX/dosdevices/com8" --daemon > "$work/box8"
"$boxsim" "$image" --boxes 3 --link "$WINEPREFIX/dosdevices/com9" --daemon > "$work/box9"
BOXFEEDER_TEST_IMAGE=$(winepath -w "$image") BOXFEEDER_TEST_RESULTS=$(winepath -w "$work/results.jsonl") \
  BOXFEEDER_TEST_SESSION_RESULTS=$(winepath -w "$work/session.jsonl") \
  BOXFEEDER_TEST_LINE_RESULTS=$(winepath -w "$work/line.jsonl") \
  wine "$test_exe"
grep -q "image received" "$work/box6" || { echo "boxsim on COM6: the box was not loaded"; cat "$work/box6"; exit 1; }
