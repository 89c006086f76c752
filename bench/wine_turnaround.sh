#!/bin/sh
# How fast boxfeed.exe answers the box under Wine, beside the floor (the
# fewest Win32 calls that can answer, bench/win32_floor.cpp), in one run:
# the simulated box paced at 57600 baud on a COM port linked to its
# pseudo-terminal, 1 KiB and 256-byte requests, the median time from a
# request's last byte to the reply's first, each run three times.
#   wine_turnaround.sh WINDOWS_BUILD LINUX_BUILD
set -eu
win=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
export WINEPREFIX="$win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i > "$win/wineboot.log" 2>&1
wineserver -p 2> /dev/null || true
wine cmd /c exit > /dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
work=$(mktemp -d)
image="$work/image.sdl"
head -c 100000 /dev/urandom > "$image"
link="$WINEPREFIX/dosdevices/com9"
# The tests use the same COM port: it goes with the bench.
trap 'rm -rf "$work" "$link"; wineserver -k 2>/dev/null || true' EXIT

# One load; prints the box's median turnaround in microseconds and its
# time over the wire's limit in percent.
run() {
  chunk=$1
  shift
  rm -f "$link"
  "$host/sim/boxsim" "$image" --baud 57600 --chunk "$chunk" --link "$link" --daemon > "$work/box.out"
  while [ ! -e "$link" ]; do sleep 0.05; done
  LD_PRELOAD="$host/tests/libboxfeeder_modem_lines.so" wine "$@" > "$work/tool.out" 2>&1 || {
    echo "failed: $*" >&2
    cat "$work/tool.out" >&2
    exit 1
  }
  # The box has said its figures once the tool has closed the port.
  until grep -q "image received" "$work/box.out"; do sleep 0.05; done
  sed -n 's/.*: \([0-9.]*\) s against a wire limit of \([0-9.]*\) s; the tool answered in \([0-9]*\) us.*/\3 \1 \2/p' "$work/box.out"
}

median3() { sort -n | sed -n 2p; }

echo "boxfeed.exe under Wine against the floor (win32_floor.exe), paced at 57600 baud"
printf '%-10s %16s %16s %8s %14s\n' request "boxfeed.exe (us)" "floor (us)" ratio "over the wire"
for chunk in 1024 256; do
  tool="" floor="" over=""
  for i in 1 2 3; do
    set -- $(run "$chunk" "$win/cli/boxfeed.exe" upgrade "$(winepath -w "$image")" --port COM9 --end-pause-ms 0)
    tool="$tool $1"
    over="$over $(echo "$2 $3" | awk '{printf "%.2f", ($1 / $2 - 1) * 100}')"
    set -- $(run "$chunk" "$win/bench/win32_floor.exe" "$(winepath -w "$image")" COM9)
    floor="$floor $1"
  done
  t=$(echo $tool | tr ' ' '\n' | median3)
  f=$(echo $floor | tr ' ' '\n' | median3)
  o=$(echo $over | tr ' ' '\n' | median3)
  printf '%-10s %16s %16s %7.2fx %13s%%\n' "$chunk B" "$t" "$f" "$(echo "$t $f" | awk '{print $1 / $2}')" "$o"
done
