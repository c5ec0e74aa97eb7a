#!/usr/bin/env bash
# The browser's "открыть базу" to the grid's first screen painted and the
# viewer's "начать просмотр" to the first card, with each process's peak
# memory, on a register of a million rows and on one near the format's size
# limit of 2 GB. The registers are made once with regtool insert (the rows of
# the 100,000-row fixture repeated). Each window program runs once to bring
# the file into the page cache, then RUNS times.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 10),
# SIZES (default "1000000 1800000": rows of each register; 1,800,000 rows make 2.07 GB, near the 2 GiB limit).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-10}
sizes=${SIZES:-1000000 1800000}
command -v xz >/dev/null || die "xz not found"
build_release regtool ostrin_first_screen viewer_first_card
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"

make_big() {
    local rows=$1 big=$work/reg_$1.mdb
    [[ -s $big ]] && return
    rm -f "$big"
    "$regtool" create-register "$big"
    "$regtool" export "$db" 'ЗУРТ' --jsonl | python3 -c '
import json, sys
rows = [json.loads(l) for l in sys.stdin]
for r in rows: r.pop("номер", None)
n = int(sys.argv[1])
for i in range(n): print(json.dumps(rows[i % len(rows)], ensure_ascii=False))
' "$rows" | "$regtool" insert "$big" 'ЗУРТ'
}

# Each window program prints one line a run: "rows N, <label> <ms> ms, ..., peak memory <MB> MB".
window_runs() {
    local program=$1 label=$2 big=$3 name=$4 lines
    QT_QPA_PLATFORM=offscreen "$build/bin/$program" "$big" >/dev/null 2>&1
    lines=$(for ((r = 0; r < runs; ++r)); do QT_QPA_PLATFORM=offscreen "$build/bin/$program" "$big" 2>/dev/null; done)
    echo "$lines" >&2
    echo "RESULT $name $(echo "$lines" | sed -n "s/.*$label \([0-9.]*\) ms.*/\1/p" | stats)"
    echo "RESULT ${name}_memory $(echo "$lines" | sed -n 's/.*peak memory \([0-9]*\) MB.*/\1/p' | stats)"
}

for rows in $sizes; do
    make_big "$rows"
    echo "register of $rows rows: $(( $(stat -c %s "$work/reg_$rows.mdb") / 1048576 )) MB"
    window_runs ostrin_first_screen 'first screen' "$work/reg_$rows.mdb" "first_screen_$rows"
    window_runs viewer_first_card 'first card filled' "$work/reg_$rows.mdb" "first_card_$rows"
done
