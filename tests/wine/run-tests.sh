#!/bin/sh
# Runs the Windows build's tests under Wine:
#   run-tests.sh WINDOWS_BUILD LINUX_BUILD
# One Wine prefix inside the Windows build, one wineserver kept running for
# all the tests (a cold start costs seconds each), and the modem-line shim
# preloaded so that WaitCommEvent works on pseudo-terminals.
set -eu
win=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
export WINEPREFIX="$win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix in $WINEPREFIX"
  wineboot -i > "$win/wineboot.log" 2>&1
fi
export LD_PRELOAD="$host/tests/libboxfeeder_modem_lines.so"
# The wineserver's own complaints (a pty going away) go to its log.
wineserver -p 2> "$win/wineserver.log" || true
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program of a session brings up Wine's own services; let that
# happen here rather than inside the first test's time.
wine cmd /c exit > /dev/null 2>&1 || true
cd "$win"
ctest --output-on-failure
