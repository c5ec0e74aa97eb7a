#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: made in a folder of its own,
# listening on a unix socket in that folder only (no TCP port), every local
# role trusted but "refused", which the server turns away, and "locked",
# which must give a password; "outsider" may connect but owns nothing.
#   pg_test_server.sh start DIR [PID]  # makes DIR/data, starts the server; DIR is the socket's folder;
#                                      # with PID, the server is stopped once that process is gone,
#                                      # however it ended (a test program killed keeps no server alive)
#   pg_test_server.sh stop DIR    # stops it and removes DIR
#   pg_test_server.sh crash DIR   # stops it at once, as a power cut would (no shutdown)
#   pg_test_server.sh resume DIR  # starts it again after a crash
# The server refuses to run as root; under root it runs as nobody, and DIR
# must then lie where nobody may enter (not inside a folder only root enters).
set -euo pipefail
action=$1 dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/postgres" ] || { echo "pg_test_server: no PostgreSQL server installed (scripts/install-deps.sh)" >&2; exit 1; }
as_server=()
if [ "$(id -u)" -eq 0 ]; then as_server=(setpriv --reuid=nobody --regid=nogroup --clear-groups --); fi

serve() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses='' -k $dir -c fsync=off -c full_page_writes=off" start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
}

case $action in
start)
  mkdir -p "$dir"
  chmod 0700 "$dir"
  [ ${#as_server[@]} -eq 0 ] || chown nobody:nogroup "$dir"
  cd /  # the server's user may not enter the caller's folder
  "${as_server[@]}" "$bin/initdb" -D "$dir/data" -U regtest --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  printf 'local all refused reject\nlocal all locked scram-sha-256\nlocal all all trust\n' >"$dir/data/pg_hba.conf"
  serve
  "$bin/psql" -X -q -v ON_ERROR_STOP=1 "host=$dir user=regtest dbname=postgres" \
    -c "CREATE ROLE refused LOGIN" -c "CREATE ROLE locked LOGIN" -c "CREATE ROLE outsider LOGIN"
  if [ -n "${3:-}" ]; then
    setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; exec bash "$2" stop "$3"' watch "$3" "$0" "$dir" \
      </dev/null >/dev/null 2>&1 &
  fi
  ;;
crash)
  cd /
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
  ;;
resume)
  cd /
  serve
  ;;
stop)
  cd /
  if [ -d "$dir/data" ]; then "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true; fi
  rm -rf "$dir"
  ;;
esac
