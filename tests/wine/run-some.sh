#!/bin/sh
# Runs the Windows build's tests under Wine:
#   run-tests.sh WINDOWS_BUILD LINUX_BUILD
# One Wine prefix inside the Windows build, one wineserver kept running for
# all the tests (a cold start costs seconds each), the modem-line shim
# preloaded so that WaitCommEvent works on pseudo-terminals, no desktop
# entries made on the host for Start-menu shortcuts, and a virtual
# display for the window's tests when there is none.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
win=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
export WINEPREFIX="$win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
  wineserver -k 2>/dev/null || true
  "$here/../db/pg-server.sh" stop "$win/test-pg" 2>/dev/null || true
  [ -z "${xvfb:-}" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  # The first free display number from 90 on.
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp > "$win/xvfb.log" 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  tries=0
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "Xvfb did not start: see $win/xvfb.log"; exit 1; }
    sleep 0.1
  done
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix in $WINEPREFIX"
  wineboot -i > "$win/wineboot.log" 2>&1
fi
export LD_PRELOAD="$host/tests/libboxfeeder_modem_lines.so"
# The wineserver's own complaints (a pty going away) go to its log.
wineserver -p 2> "$win/wineserver.log" || true
# Wine draws the windows' frames itself, so that screenshots show them.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f > /dev/null 2>&1
# The first program of a session brings up Wine's own services; let that
# happen here rather than inside the first test's time.
wine cmd /c exit > /dev/null 2>&1 || true
# The PostgreSQL server that boxfeed.exe stores its records in.
"$here/../db/pg-server.sh" start "$win/test-pg"
export BOXFEEDER_TEST_PG="$win/test-pg"
cd "$win"
ctest --output-on-failure -R "windows_installer|windows_console"
echo "Screenshots of the window: $win/screenshots/"
