#!/usr/bin/env bash
# Storing ROWS of the register fixture's own rows (lib.sh) into an empty ЗУРТ
# (primary key on номер, text index on Фамилия) with `regtool insert`, then
# deleting them all by number with one `regtool delete`, against sqlite3 doing
# the same to the same rows in a table with the same columns and indexes (one
# transaction each, deleting by rowid). Whole processes, ours and the peer's
# runs taking turns; the file is checked after each step.
#
# Environment: ROWS (default 100000), RUNS (default 5).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows=${ROWS:-100000}
runs=${RUNS:-5}
[[ $rows =~ ^[0-9]+$ ]] && (( rows > 0 )) || die "ROWS must be a positive whole number"
[[ $runs =~ ^[0-9]+$ ]] && (( runs > 0 )) || die "RUNS must be a positive whole number"
command -v sqlite3 >/dev/null || die "sqlite3 not found (scripts/install-deps.sh installs it)"
build_release regtool
make_rows "$rows"

ins=() del=() peer_ins=() peer_del=()
db=$work/insert_delete.mdb
for ((r = 0; r < runs; ++r)); do
    rm -f "$db"
    "$regtool" create-register "$db"
    t0=$(now); "$regtool" insert "$db" 'ЗУРТ' < "$work/full_rows_$rows.jsonl"; ins+=("$(ms_since "$t0")")
    [[ $("$regtool" check "$db") == OK ]] || die "check failed after the inserts"
    # One process and one group, as the peer's one transaction.
    t0=$(now); seq 1 "$rows" | xargs -s 1500000 "$regtool" delete "$db" 'ЗУРТ'; del+=("$(ms_since "$t0")")
    [[ $("$regtool" check "$db") == OK ]] || die "check failed after the deletes"
    read -r a b < <(sqlite_insert_delete "$rows")
    peer_ins+=("$a") peer_del+=("$b")
done
echo "RESULT insert_$rows $(printf '%s\n' "${ins[@]}" | stats) $(printf '%s\n' "${peer_ins[@]}" | stats)"
echo "RESULT delete_$rows $(printf '%s\n' "${del[@]}" | stats) $(printf '%s\n' "${peer_del[@]}" | stats)"
