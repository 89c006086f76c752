#!/bin/sh
# boxfeed.exe under Wine against the Linux boxsim, through a COM port that
# is linked to the simulated box's pseudo-terminal. The files' names are in
# Cyrillic and Chinese, with spaces; the upgrade's log and its results
# file go to such names too. "store" is the upgrade with its record going
# to the test's PostgreSQL server (BOXFEEDER_TEST_PG) through Windows'
# ODBC, which Wine hands to the host's unixODBC; the host's boxfeed then
# reads it back from the server.
#   boxfeed_exe_test.sh upgrade|store|boot BOXSIM BOXFEED.EXE
set -eu
command=$1 boxsim=$2 boxfeed=$3
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/пути 路径"
mkdir "$work"
mkfifo "$work/said"
log="$work/журнал 日志.txt"
if [ "$command" != boot ]; then
  input="$work/образ 映像 1.sdl"
  head -c 30000 /dev/urandom > "$input"
  port=COM7
  "$boxsim" "$input" --link "$WINEPREFIX/dosdevices/com7" > "$work/said" &
  results="$work/итоги 结果.jsonl"
  where=$(winepath -w "$results")
  if [ "$command" = store ]; then
    [ -n "${BOXFEEDER_TEST_PG:-}" ] || { echo "BOXFEEDER_TEST_PG names no test server"; exit 1; }
    where="odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$(cat "$BOXFEEDER_TEST_PG/port");Database=line;Uid=boxfeeder"
    BOXFEEDER_DB_PASSWORD=$(cat "$BOXFEEDER_TEST_PG/password")
    export BOXFEEDER_DB_PASSWORD
  fi
  set -- upgrade "$(winepath -w "$input")" --port $port --end-pause-ms 0 --log "$(winepath -w "$log")" \
    --results "$where" --require-store --station-name "wine-$$"
else
  input="$work/команды 命令.txt"
  printf 'BOOT\r\nfirst\r\n0102\r\n\r\nSECOND\r\nsent\r\nA1 A2 A3\r\n\r\n' > "$input"
  port=COM8
  "$boxsim" "$input" --boot --link "$WINEPREFIX/dosdevices/com8" > "$work/said" &
  set -- boot "$(winepath -w "$input")" --port $port --log "$(winepath -w "$log")"
fi
box=$!
# The box says where it is once its link is in place.
exec 3< "$work/said"
read -r first <&3
echo "$first"
status=0
wine "$boxfeed" "$@" || status=$?
if [ $status -ne 0 ]; then
  kill $box 2>/dev/null || true
  exit $status
fi
cat <&3
wait $box || { echo "boxsim: the box was not loaded"; exit 1; }
grep -q "Image SHA-256\|Flash Boot OK" "$log" || { echo "no log under its own name"; ls "$work"; exit 1; }
if [ "$command" = upgrade ]; then
  grep -q "\"outcome\":\"succeeded\"" "$results" || { echo "no record in the results file"; ls "$work"; exit 1; }
fi
if [ "$command" = store ]; then
  "$(dirname "$boxsim")/../cli/boxfeed" results "$where" --by station --json |
    grep -q "{\"key\":\"wine-$$\",\"boxes\":1,\"loaded\":1," || { echo "no record in the database"; exit 1; }
fi
