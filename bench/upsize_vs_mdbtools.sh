#!/usr/bin/env bash
# `regtool upsize reg_100k.mdb LINK` (the 100,000-row register onto a
# PostgreSQL server) against what a Linux user has for the same: mdbtools'
# `mdb-schema FILE postgres | psql`, then `mdb-export -I postgres … | psql` in
# one transaction. Both load into a fresh database of one throwaway server
# (tests/pg_test_server.sh: a unix socket only), made anew before each run,
# runs taking turns. Before the timing, one load of each is checked: every row
# arrived, and what the mdbtools path loses on the way is counted.
#
# mdb-export writes the 100 birth dates before 1899-12-30 that have a time
# part as "1900-01-00", which the server refuses, and the whole load with
# them; the peer's pipe turns them into NULL (sed), as a user would have to.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 5), BUILD
# (a Release build folder to take regtool from instead of building build/).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-5}
[[ $runs =~ ^[0-9]+$ ]] && (( runs > 0 )) || die "RUNS must be a positive whole number"
for tool in mdb-schema mdb-export psql hyperfine xz; do
    command -v "$tool" >/dev/null || die "$tool not found (scripts/install-deps.sh installs it)"
done
if [[ -n ${BUILD:-} ]]; then
    regtool=$BUILD/bin/regtool
    [[ -x $regtool ]] || die "no regtool in $BUILD/bin"
else
    build_release regtool
fi
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"

server=$(mktemp -d /tmp/upsize_bench.XXXXXX)
trap '"$root/tests/pg_test_server.sh" stop "$server"' EXIT
"$root/tests/pg_test_server.sh" start "$server"
conn() { echo "host=$server user=regtest dbname=$1"; }
sql() { psql -X -q -At -v ON_ERROR_STOP=1 "$(conn "$1")" -c "$2"; }
fresh() { echo "psql -X -q -v ON_ERROR_STOP=1 '$(conn postgres)' -c 'DROP DATABASE IF EXISTS $1' -c 'CREATE DATABASE $1'"; }
link=$server/ours.pgreg
conn ours > "$link"

ours="'$regtool' upsize '$db' '$link' 2>/dev/null"
peer="set -o pipefail; mdb-schema '$db' postgres 2>/dev/null | psql -X -q -v ON_ERROR_STOP=1 '$(conn peer)' >/dev/null &&
  mdb-export -I postgres -q \"'\" -B '$db' 'ЗУРТ' | sed \"s/'1900-01-00 [0-9:]*'/NULL/g\" |
  psql -X -q -1 -v ON_ERROR_STOP=1 '$(conn peer)' >/dev/null"

# One load of each, checked.
bash -c "$(fresh ours)" && bash -c "$ours" || die "regtool upsize failed"
bash -c "$(fresh peer)" && bash -c "$peer" || die "the mdbtools path failed"
[[ $(sql ours 'SELECT count(*) FROM "ЗУРТ"') == 100000 ]] || die "regtool's table does not hold 100000 rows"
[[ $(sql peer 'SELECT count(*) FROM "зурт"') == 100000 ]] || die "the mdbtools table does not hold 100000 rows"
echo "what the mdbtools path loses (regtool's table | mdbtools' table):"
echo "  tables: $(sql ours "SELECT string_agg(relname, ' ') FROM pg_class WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace")" \
     "| $(sql peer "SELECT string_agg(relname, ' ') FROM pg_class WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace")"
echo "  Сумма: $(sql ours "SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid = '\"ЗУРТ\"'::regclass AND attname = 'Сумма'")," \
     "$(sql ours 'SELECT count(*) FROM "ЗУРТ" WHERE "Сумма" <> round("Сумма", 2)') amounts with 3 or 4 decimals" \
     "| $(sql peer "SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid = 'зурт'::regclass AND attname = 'сумма'")"
echo "  birth dates before 1899-12-30: $(sql ours 'SELECT count(*) FROM "ЗУРТ" WHERE "Дата рождения" < '"'1899-12-30'") |" \
     "$(sql peer 'SELECT count(*) FROM "зурт" WHERE "дата рождения" < '"'1899-12-30'")"
echo "  empty surnames: $(sql ours 'SELECT count(*) FROM "ЗУРТ" WHERE "Фамилия" = '"''") |" \
     "$(sql peer 'SELECT count(*) FROM "зурт" WHERE "фамилия" = '"''")"
echo "  number the next row takes: $(sql ours "SELECT nextval(pg_get_serial_sequence('\"ЗУРТ\"', 'номер'))") |" \
     "$(sql peer "SELECT nextval(pg_get_serial_sequence('зурт', 'номер'))") (number 1 is taken)"

csv=$work/upsize.csv
hyperfine --shell=bash --runs "$runs" --style basic --export-csv "$csv" \
    --prepare "$(fresh ours)" -n regtool "$ours" \
    --prepare "$(fresh peer)" -n mdbtools "$peer"
# columns: command,mean,stddev,median,user,system,min,max
spread() { awk -F, -v c="$1" '$1 == c { printf "%.0f %.0f %.0f", $4 * 1000, $7 * 1000, $8 * 1000 }' "$csv"; }
echo "RESULT upsize_100000 $(spread regtool) $(spread mdbtools)"
