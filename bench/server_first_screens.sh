#!/usr/bin/env bash
# The browser's first grid screen and the viewer's first card (as
# first_screens.sh measures them on a file) on a server register of a million
# rows: the 100,000-row register fixture upsized by regtool onto a throwaway
# PostgreSQL server this script starts (tests/pg_test_server.sh), its rows
# then repeated on the server to SERVER_ROWS, and the windows given its link
# file. Each window program runs once to bring the rows into the server's
# cache, then RUNS times.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 10),
# SERVER_ROWS (a multiple of 100,000; default 1000000), BUILD_DIR (default
# build).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-10}
rows=${SERVER_ROWS:-1000000}
(( rows % 100000 == 0 && rows > 0 )) || die "SERVER_ROWS must be a multiple of 100000"
command -v xz >/dev/null || die "xz not found"
build_release regtool regtool_server ostrin_first_screen viewer_first_card
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"

start_server
upsized_register big "$db"
# Every column but the AutoNumber, which numbers the copies on.
columns=$("$pgbin/psql" -X -A -t "$conninfo" -c "SELECT string_agg(quote_ident(attname), ', ' ORDER BY attnum) FROM pg_attribute
    WHERE attrelid = '\"ЗУРТ\"'::regclass AND attnum > 1 AND NOT attisdropped")
if (( rows > 100000 )); then
    "$pgbin/psql" -X -q -v ON_ERROR_STOP=1 "$conninfo" \
        -c "INSERT INTO \"ЗУРТ\" ($columns) SELECT $columns FROM \"ЗУРТ\", generate_series(1, $(( rows / 100000 - 1 )))"
fi
"$pgbin/psql" -X -q "$conninfo" -c "VACUUM ANALYZE"
echo "server register of $("$pgbin/psql" -X -A -t "$conninfo" -c 'SELECT count(*) FROM "ЗУРТ"') rows," \
     "$("$pgbin/psql" -X -A -t "$conninfo" -c "SELECT pg_size_pretty(pg_total_relation_size('\"ЗУРТ\"'))")"

# Each window program prints one line a run: "rows N, <label> <ms> ms, ..., peak memory <MB> MB".
window_runs() {
    local program=$1 label=$2 name=$3 lines
    QT_QPA_PLATFORM=offscreen "$build/bin/$program" "$link" >/dev/null 2>&1
    lines=$(for ((r = 0; r < runs; ++r)); do QT_QPA_PLATFORM=offscreen "$build/bin/$program" "$link" 2>/dev/null; done)
    echo "$lines" >&2
    echo "RESULT $name $(echo "$lines" | sed -n "s/.*$label \([0-9.]*\) ms.*/\1/p" | stats)"
    echo "RESULT ${name}_memory $(echo "$lines" | sed -n 's/.*peak memory \([0-9]*\) MB.*/\1/p' | stats)"
}
window_runs ostrin_first_screen 'first screen' "server_first_screen_$rows"
window_runs viewer_first_card 'first card filled' "server_first_card_$rows"
