#!/usr/bin/env bash
# reg_100k onto a throwaway PostgreSQL server and back: upsize, psql's count,
# downsize into a new file, and the rows of both files as mdb-export and
# regtool read them, compared as sorted lists. Called by long-tests.sh.
#   scripts/long-server-test.sh REGTOOL
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
regtool=$(realpath "$1")
fixture="$root/../shared/fixtures/register/reg_100k.mdb.xz"
[ -f "$fixture" ] || { echo "long-server-test: $fixture is missing" >&2; exit 1; }
work=$(mktemp -d /tmp/regtool-long-XXXXXX)
server=$(mktemp -d /tmp/regtool-long-server-XXXXXX)  # beside, not inside: the server's user enters it
trap '"$root/tests/pg_test_server.sh" stop "$server"; rm -rf "$work"' EXIT
"$root/tests/pg_test_server.sh" start "$server"
xz -dc "$fixture" >"$work/reg_100k.mdb"
uri="postgresql:///postgres?host=$server&user=regtest"

start=$SECONDS
"$regtool" upsize "$work/reg_100k.mdb" "$uri"
echo "upsize: $((SECONDS - start)) s"
rows=$(psql -X -A -t "$uri" -c 'SELECT count(*) FROM "ЗУРТ"')
[ "$rows" = 100000 ] || { echo "long-server-test: the server holds $rows rows" >&2; exit 1; }
start=$SECONDS
"$regtool" downsize "$uri" "$work/back.mdb"
echo "downsize: $((SECONDS - start)) s"

for db in reg_100k back; do
  mdb-export -D '%F %T' -T '%F %T' "$work/$db.mdb" ЗУРТ | sort >"$work/$db.mdb-export"
  "$regtool" export "$work/$db.mdb" ЗУРТ --jsonl | sort >"$work/$db.jsonl"
done
cmp "$work/reg_100k.mdb-export" "$work/back.mdb-export"
cmp "$work/reg_100k.jsonl" "$work/back.jsonl"
echo "long-server-test: reg_100k there and back, row for row"

# The move: every row of the file onto an empty server register, and back.
cp "$work/reg_100k.mdb" "$work/moving.mdb"
"$regtool" create-register "$work/empty.mdb"
psql -X -q "$uri" -c 'CREATE DATABASE moved'
moved="postgresql:///moved?host=$server&user=regtest"
"$regtool" upsize "$work/empty.mdb" "$moved"
start=$SECONDS
"$regtool" move "$work/moving.mdb" "$moved"
echo "move onto the server: $((SECONDS - start)) s"
rows=$(psql -X -A -t "$moved" -c 'SELECT count(*) FROM "ЗУРТ"')
[ "$rows" = 100000 ] || { echo "long-server-test: the server took $rows rows" >&2; exit 1; }
start=$SECONDS
"$regtool" move "$moved" "$work/moving.mdb"
echo "move back: $((SECONDS - start)) s"
# Every row once, as it was but for the number the file gave it anew.
for db in reg_100k moving; do
  mdb-export -D '%F %T' -T '%F %T' "$work/$db.mdb" ЗУРТ | tail -n +2 | cut -d, -f2- | sort >"$work/$db.rows"
done
cmp "$work/reg_100k.rows" "$work/moving.rows"
[ "$(psql -X -A -t "$moved" -c 'SELECT count(*) FROM "ЗУРТ"')" = 0 ]
[ "$(psql -X -A -t "$moved" -c 'SELECT count(*) FROM register_moves.groups')" = 0 ]
echo "long-server-test: reg_100k moved onto the server and back, every row once"
