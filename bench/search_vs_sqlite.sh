#!/usr/bin/env bash
# The browser's search statement run by `regtool query` on the 100,000-row
# register fixture, against sqlite3 running the same LIKE condition on the same
# rows; then, on a register of a million rows (made once with regtool insert),
# the browser's "открыть базу" to the grid's first screen and the viewer's
# "начать просмотр" to the first card, each with peak memory (medians of RUNS).
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 10),
# BIG_ROWS (default 1000000).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-10}
big_rows=${BIG_ROWS:-1000000}
die() { echo "search_vs_sqlite: $*" >&2; exit 1; }
command -v sqlite3 >/dev/null || die "sqlite3 not found (Debian package sqlite3)"
command -v xz >/dev/null || die "xz not found"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$root/build" regtool ostrin_first_screen viewer_first_card >/dev/null
regtool=$root/build/bin/regtool
work=$root/build/bench
mkdir -p "$work"
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"
lite=$work/reg_100k.sqlite
if [[ ! -s $lite ]]; then
    "$regtool" export "$db" 'ЗУРТ' --csv > "$work/reg_100k.csv"
    sqlite3 "$lite" ".import --csv $work/reg_100k.csv ЗУРТ"
fi

ours="SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%ан%'and ЗУРТ.[Блейк лист] Like '%а%'"
theirs="SELECT \"номер\", \"Фамилия\", \"Имя\", \"Отчество\", \"Блейк лист\" FROM ЗУРТ WHERE \"Имя\" LIKE '%ан%' AND \"Блейк лист\" LIKE '%а%'"

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_runs() {
    local times=()
    "$@" > /dev/null  # warm-up: both read from the page cache
    for ((r = 0; r < runs; ++r)); do
        local t0; t0=$(now); "$@" > /dev/null; local t1; t1=$(now)
        times+=($(( (t1 - t0) / 1000 )))
    done
    printf '%s\n' "${times[@]}" | median
}
a=$(time_runs "$regtool" query "$db" "$ours")
b=$(time_runs sqlite3 "$lite" "$theirs")
echo "search, 100,000 rows: regtool query ${a} us, sqlite3 ${b} us, ratio $(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}')"
echo "rows found: regtool $("$regtool" query "$db" "$ours" | wc -l), sqlite3 $(sqlite3 "$lite" "$theirs" | wc -l) (sqlite3 folds ASCII letters only)"

big=$work/reg_${big_rows}.mdb
if [[ ! -s $big ]]; then
    rm -f "$big"
    "$regtool" create-register "$big"
    "$regtool" export "$db" 'ЗУРТ' --jsonl | python3 -c '
import json, sys
rows = [json.loads(l) for l in sys.stdin]
for r in rows: r.pop("номер", None)
n = int(sys.argv[1])
for i in range(n): print(json.dumps(rows[i % len(rows)], ensure_ascii=False))
' "$big_rows" | "$regtool" insert "$big" 'ЗУРТ'
fi
# Each window program prints one line a run, "... <label> <ms> ms ...".
window_runs() {
    local program=$1 label=$2 lines
    QT_QPA_PLATFORM=offscreen "$root/build/bin/$program" "$big" >/dev/null 2>&1  # warm-up: the file into the page cache
    lines=$(for ((r = 0; r < runs; ++r)); do QT_QPA_PLATFORM=offscreen "$root/build/bin/$program" "$big" 2>/dev/null; done)
    echo "$lines"
    echo "$program: median $label $(echo "$lines" | sed -n "s/.*$label \([0-9.]*\) ms.*/\1/p" | median) ms"
}
window_runs ostrin_first_screen 'first screen'
window_runs viewer_first_card 'first card filled'
