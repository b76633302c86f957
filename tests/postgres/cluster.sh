#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests:
#   cluster.sh start DIR   a new cluster in a temporary folder, trust
#                          authentication on 127.0.0.1 at a free port; its
#                          URL goes to DIR/url (database "postgres"), the
#                          cluster's folder to DIR/cluster
#   cluster.sh stop DIR    stops it and removes both folders
#   cluster.sh crash DIR   stops it at once (pg_ctl -m immediate), as a crash
#   cluster.sh restart DIR starts it again at the same port
# As root (CI), the server runs as the postgres user, which owns the
# cluster's folder (under /tmp, which it can reach wherever DIR is).
set -euo pipefail
what=$1 handle=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
dir=$(cat "$handle/cluster" 2>/dev/null || true)
ctl() { "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" "$@"; }
case $what in
  start)
    [ -n "$dir" ] && "$0" stop "$handle"
    mkdir -p "$handle"
    dir=$(mktemp -d /tmp/tarv-postgres.XXXXXX)
    echo "$dir" >"$handle/cluster"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --no-sync \
      >"$dir/initdb.log"
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    # fsync off: a test cluster outlives no machine crash, and a server
    # crash (-m immediate) still loses nothing committed.
    cat >>"$dir/data/postgresql.conf" <<CONF
port = $port
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
fsync = off
max_connections = 200
CONF
    ctl -w -t 60 start >/dev/null
    echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$handle/url"
    ;;
  stop)
    [ -n "$dir" ] && [ -d "$dir/data" ] && { ctl -w -m fast stop >/dev/null 2>&1 || true; }
    [ -n "$dir" ] && rm -rf "$dir"
    rm -rf "$handle"
    ;;
  crash) ctl -w -m immediate stop >/dev/null ;;
  restart) ctl -w -t 60 start >/dev/null ;;
  *) echo "usage: cluster.sh start|stop|crash|restart DIR" >&2; exit 3 ;;
esac
