#!/bin/sh
# The Windows window's whole upgrade under Wine, against the Linux boxsim
# on a COM port linked to the simulated box's pseudo-terminal. The image's
# name is in Cyrillic and Chinese, with a space.
#   window_upgrade_test.sh BOXSIM WINDOW_TEST.EXE
set -eu
boxsim=$1 test_exe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/said"
image="$work/образ 映像 1.sdl"
head -c 50000 /dev/urandom > "$image"
"$boxsim" "$image" --link "$WINEPREFIX/dosdevices/com6" > "$work/said" &
box=$!
exec 3< "$work/said"
read -r first <&3
echo "$first"
status=0
BOXFEEDER_TEST_PORT=COM6 BOXFEEDER_TEST_IMAGE=$(winepath -w "$image") \
  wine "$test_exe" --gtest_filter='WindowUpgrade.*' || status=$?
if [ $status -ne 0 ]; then
  kill $box 2>/dev/null || true
  exit $status
fi
cat <&3
wait $box || { echo "boxsim: the box was not loaded"; exit 1; }
