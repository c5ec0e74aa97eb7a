# Shared by the benchmark scripts (sourced): the build, the rows, timing,
# summaries, and SQLite doing the same work as regtool on the same rows.
#
# A result line reads
#   RESULT <name> <ours median> <ours min> <ours max> [<peer median> <peer min> <peer max>]
# in milliseconds; run_all.sh gathers them into one table.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}  # a build folder of its own (BUILD_DIR) keeps another build's settings
work=$build/bench
regtool=$build/bin/regtool
mkdir -p "$work"

die() { echo "$(basename "$0"): $*" >&2; exit 1; }
now() { date +%s%N; }
# "median min max" of the numbers on standard input.
stats() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)], a[1], a[NR]}'; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

build_release() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$build" "$@" >/dev/null
}

# The rows every write benchmark uses: the first N rows of the 100,000-row
# register fixture as a register fills them (every column, memo notes
# included), exported with `regtool export --jsonl` and their номер dropped,
# made once: $work/full_rows_N.jsonl for regtool, $work/full_rows_N.sql (the
# same rows as INSERT statements in one transaction) and $work/schema.sql (ЗУРТ
# with its primary key and the index on Фамилия) for sqlite3. (make_rows.py's
# lighter rows, each with a telephone number of its own, are for offices.sh.)
fixtures=${FIXTURES:-$root/../shared/fixtures}
make_rows() {
    local rows=$1 db=$work/reg_100k.mdb
    (( rows <= 100000 )) || die "the register fixture holds 100,000 rows; ROWS=$rows is more"
    [[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"
    if [[ ! -s $work/full_rows_$rows.jsonl ]]; then
        # sed reads the export to its end: regtool is not cut off mid-write.
        "$regtool" export "$db" 'ЗУРТ' --jsonl | sed -n "1,$rows{s/^{\"номер\":[0-9]*,/{/;p}" > "$work/full_rows_$rows.jsonl"
        [[ $(wc -l < "$work/full_rows_$rows.jsonl") == "$rows" ]] || die "the fixture's export gave fewer than $rows rows"
    fi
    [[ -s $work/full_rows_$rows.sql && -s $work/schema.sql ]] ||
        python3 "$root/bench/rows_to_sql.py" "$work/full_rows_$rows.jsonl" "$work/schema.sql" > "$work/full_rows_$rows.sql"
    [[ -s $work/delete_$rows.sql ]] ||
        { echo "BEGIN;"; seq 1 "$rows" | sed 's/.*/DELETE FROM ЗУРТ WHERE rowid = &;/'; echo "COMMIT;"; } > "$work/delete_$rows.sql"
}

# One run of SQLite inserting, then deleting by rowid, the rows (each a whole
# process and one transaction, sqlite3's defaults: a rollback journal, full
# syncs); prints "insert_ms delete_ms".
sqlite_insert_delete() {
    local rows=$1 db=$work/peer.sqlite
    rm -f "$db" "$db-journal"
    sqlite3 "$db" < "$work/schema.sql"
    local t0; t0=$(now)
    sqlite3 "$db" < "$work/full_rows_$rows.sql"
    local ins; ins=$(ms_since "$t0")
    [[ $(sqlite3 "$db" 'SELECT count(*) FROM ЗУРТ') == "$rows" ]] || die "sqlite3 did not store $rows rows"
    t0=$(now)
    sqlite3 "$db" < "$work/delete_$rows.sql"
    local del; del=$(ms_since "$t0")
    [[ $(sqlite3 "$db" 'SELECT count(*) FROM ЗУРТ') == 0 ]] || die "sqlite3 did not delete every row"
    echo "$ins $del"
}

# A throwaway PostgreSQL server for this run (tests/pg_test_server.sh: a unix
# socket in a folder of its own), stopped when the script ends: $server is
# its folder, $pgbin the server's programs. The folder lies outside the
# build: under root the server runs as nobody, who must be able to reach it.
start_server() {
    pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    [[ -x $pgbin/psql ]] || die "no PostgreSQL installed (scripts/install-deps.sh)"
    server=$(mktemp -d /tmp/register-bench.XXXXXX)
    trap 'bash "$root/tests/pg_test_server.sh" stop "$server"' EXIT
    bash "$root/tests/pg_test_server.sh" start "$server"
}

# The file $2 upsized into a new database $1 of that server: $conninfo and
# its link file $link.
upsized_register() {
    "$pgbin/psql" -X -q "host=$server user=regtest dbname=postgres" -c "CREATE DATABASE $1"
    conninfo="host=$server user=regtest dbname=$1"
    link=$work/$1.pgreg
    echo "$conninfo" > "$link"
    "$regtool" upsize "$2" "$link" 2>/dev/null
}
