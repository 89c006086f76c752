#!/bin/sh
# boxfeed.exe in a Windows console under Wine (the test makes one), against the Linux boxsim on
# a COM port linked to its pseudo-terminal, paced so that the run lasts
# long enough to watch and interrupt.
#   console_test.sh BOXSIM CONSOLE_TEST.EXE BOXFEED.EXE
set -eu
boxsim=$1 test=$2 boxfeed=$3
work=$(mktemp -d)
trap 'kill $box 2>/dev/null || true; rm -rf "$work"' EXIT
head -c 60000 /dev/urandom > "$work/image.sdl"
mkfifo "$work/said"
"$boxsim" "$work/image.sdl" --baud 19200 --link "$WINEPREFIX/dosdevices/com6" > "$work/said" &
box=$!
exec 3< "$work/said"
read -r first <&3
echo "$first"
wine "$test" "$(winepath -w "$boxfeed")" "$(winepath -w "$work/image.sdl")" COM6
