#!/usr/bin/env bash
# `regtool move` (the importer's own code) of ROWS of the register fixture's
# own rows (lib.sh) from one register into an empty one, both with the
# primary key on номер and the text index on Фамилия, against sqlite3
# inserting the same rows into one table and deleting them from another (the
# sum of the two, each a whole process and one transaction). Runs take turns;
# both files are checked.
#
# Environment: ROWS (default 100000), RUNS (default 5).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows=${ROWS:-100000}
runs=${RUNS:-5}
command -v sqlite3 >/dev/null || die "sqlite3 not found (scripts/install-deps.sh installs it)"
build_release regtool
make_rows "$rows"

times=() peer=()
src=$work/move_src.mdb dst=$work/move_dst.mdb
for ((r = 0; r < runs; ++r)); do
    rm -f "$src" "$dst"
    "$regtool" create-register "$src"
    "$regtool" insert "$src" 'ЗУРТ' < "$work/full_rows_$rows.jsonl"
    "$regtool" create-register "$dst"
    t0=$(now); "$regtool" move "$src" "$dst"; times+=("$(ms_since "$t0")")
    [[ $("$regtool" check "$dst") == OK && $("$regtool" check "$src") == OK ]] || die "check failed after the move"
    [[ $("$regtool" export "$dst" 'ЗУРТ' --csv | wc -l) -gt $rows ]] || die "the destination lacks rows"
    read -r a b < <(sqlite_insert_delete "$rows")
    peer+=("$((a + b))")
done
echo "RESULT move_$rows $(printf '%s\n' "${times[@]}" | stats) $(printf '%s\n' "${peer[@]}" | stats)"
