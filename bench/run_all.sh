#!/usr/bin/env bash
# Every benchmark, one after another, from the repository root or anywhere:
# export against mdb-export, inserts and deletes, the move (which takes the
# rows insert_delete.sh makes), and the search against SQLite with the two
# windows' first screens on a million rows. Environment variables are passed
# on (RUNS, FIXTURES, ROWS, BIG_ROWS).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
for script in export_vs_mdbexport.sh insert_delete.sh move.sh search_vs_sqlite.sh; do
    echo "== $script"
    "$root/bench/$script"
done
