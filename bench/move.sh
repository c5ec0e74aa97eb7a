#!/usr/bin/env bash
# Whole-process timing of `regtool move` (the importer's run) of 100,000
# register rows from one register into an empty one, both with the primary key
# on номер and the text index on Фамилия. The rows are the realistic ones of
# insert_delete.sh. RUNS repetitions (default 3); the median is reported.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${RUNS:-3}
work=$root/build/bench
input=$work/rows_100000.jsonl
[[ -s $input ]] || ROWS=100000 RUNS=1 "$root/bench/insert_delete.sh" >/dev/null
regtool=$root/build/bin/regtool
now() { date +%s%N; }
times=()
for ((r = 0; r < runs; ++r)); do
    rm -f "$work/move_src.mdb" "$work/move_dst.mdb"
    "$regtool" create-register "$work/move_src.mdb"
    "$regtool" insert "$work/move_src.mdb" 'ЗУРТ' < "$input"
    "$regtool" create-register "$work/move_dst.mdb"
    t0=$(now); "$regtool" move "$work/move_src.mdb" "$work/move_dst.mdb"; t1=$(now)
    [[ $("$regtool" check "$work/move_dst.mdb") == OK && $("$regtool" check "$work/move_src.mdb") == OK ]] || { echo "move: check failed" >&2; exit 1; }
    times+=($(( (t1 - t0) / 1000000 )))
done
m=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "move 100000 rows: median ${m} ms ($(( 100000 * 1000 / (m > 0 ? m : 1) )) rows/s)"
