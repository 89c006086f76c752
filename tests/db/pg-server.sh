#!/bin/bash
# A PostgreSQL server of the tests' own, in a folder of its own:
#   pg-server.sh start DIR   makes a cluster in DIR, starts it on a free
#                            port of 127.0.0.1 and writes the port to DIR/port
#   pg-server.sh pause DIR   stops it, keeping its data
#   pg-server.sh resume DIR  starts it again on the same port
#   pg-server.sh stop DIR    stops it and removes DIR
# Its user is "boxfeeder" with the password in DIR/password, its database
# "line". The server refuses to run as root: as root, it runs as postgres.
set -eu
command=$1
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
start_server() {
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-p $(cat "$dir/port") -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start > /dev/null
}
case $command in
  start)
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "line-secret-$$" > "$dir/password"
    [ "$(id -u)" != 0 ] || chown -R postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U boxfeeder --pwfile="$dir/password" -A scram-sha-256 \
      -E UTF8 --no-locale > "$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log"; exit 1; }
    # The first port from 55432 on where nothing listens.
    port=55432
    while (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null; do port=$((port + 1)); done
    echo "$port" > "$dir/port"
    start_server || { cat "$dir/server.log"; exit 1; }
    PGPASSWORD=$(cat "$dir/password") "$bin/createdb" -h 127.0.0.1 -p "$port" -U boxfeeder line
    # The tests read the port and the password; the data stays the server's.
    chmod a+rx "$dir"
    chmod a+r "$dir/port" "$dir/password"
    ;;
  pause) as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop > /dev/null ;;
  resume) start_server ;;
  stop)
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop > /dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start|pause|resume|stop DIR" >&2; exit 64 ;;
esac
