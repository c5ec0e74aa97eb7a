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

# The realistic register rows every write benchmark uses, made once:
# $work/rows_N.jsonl for regtool, $work/rows_N.sql (the same rows as INSERT
# statements in one transaction) and $work/schema.sql (ЗУРТ with its primary
# key and the index on Фамилия) for sqlite3.
make_rows() {
    local rows=$1
    [[ -s $work/rows_$rows.jsonl ]] || python3 "$root/bench/make_rows.py" "$rows" > "$work/rows_$rows.jsonl"
    [[ -s $work/rows_$rows.sql && -s $work/schema.sql ]] ||
        python3 "$root/bench/rows_to_sql.py" "$work/rows_$rows.jsonl" "$work/schema.sql" > "$work/rows_$rows.sql"
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
    sqlite3 "$db" < "$work/rows_$rows.sql"
    local ins; ins=$(ms_since "$t0")
    [[ $(sqlite3 "$db" 'SELECT count(*) FROM ЗУРТ') == "$rows" ]] || die "sqlite3 did not store $rows rows"
    t0=$(now)
    sqlite3 "$db" < "$work/delete_$rows.sql"
    local del; del=$(ms_since "$t0")
    [[ $(sqlite3 "$db" 'SELECT count(*) FROM ЗУРТ') == 0 ]] || die "sqlite3 did not delete every row"
    echo "$ins $del"
}
