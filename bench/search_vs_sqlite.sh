#!/usr/bin/env bash
# The browser's search statement run by `regtool query` (the code the browser
# runs) on the 100,000-row register fixture, against sqlite3 running the same
# LIKE condition on the same rows (imported from `regtool export --csv`).
# Whole processes, both reading from the page cache, runs taking turns.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 30).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-30}
command -v sqlite3 >/dev/null || die "sqlite3 not found (scripts/install-deps.sh installs it)"
command -v xz >/dev/null || die "xz not found"
build_release regtool
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"
lite=$work/reg_100k.sqlite
if [[ ! -s $lite ]]; then
    "$regtool" export "$db" 'ЗУРТ' --csv > "$work/reg_100k.csv"
    sqlite3 "$lite" ".import --csv $work/reg_100k.csv ЗУРТ"
fi

ours="SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%ан%'and ЗУРТ.[Блейк лист] Like '%а%'"
theirs="SELECT \"номер\", \"Фамилия\", \"Имя\", \"Отчество\", \"Блейк лист\" FROM ЗУРТ WHERE \"Имя\" LIKE '%ан%' AND \"Блейк лист\" LIKE '%а%'"

if command -v hyperfine >/dev/null; then
    # hyperfine starts each process itself (no shell between), one after the other.
    csv=$work/search.csv
    hyperfine -N --warmup 3 --runs "$runs" --output null --style none --export-csv "$csv" \
        -n ours "$(printf '%q %q %q' "$regtool" query "$db") $(printf '%q' "$ours")" \
        -n sqlite3 "$(printf '%q %q' sqlite3 "$lite") $(printf '%q' "$theirs")"
    spread() { awk -F, -v c="$1" '$1 == c { printf "%.1f %.1f %.1f", $4 * 1000, $7 * 1000, $8 * 1000 }' "$csv"; }
    a_stats=$(spread ours) b_stats=$(spread sqlite3)
else
    "$regtool" query "$db" "$ours" > /dev/null  # warm-up: both read from the page cache
    sqlite3 "$lite" "$theirs" > /dev/null
    a=() b=()
    for ((r = 0; r < runs; ++r)); do
        t0=$(now); "$regtool" query "$db" "$ours" > /dev/null; a+=($(( ($(now) - t0) / 1000 )))
        t0=$(now); sqlite3 "$lite" "$theirs" > /dev/null; b+=($(( ($(now) - t0) / 1000 )))
    done
    # Microseconds here, turned into milliseconds.
    to_ms() { awk '{printf "%.1f %.1f %.1f", $1 / 1000, $2 / 1000, $3 / 1000}'; }
    a_stats=$(printf '%s\n' "${a[@]}" | stats | to_ms) b_stats=$(printf '%s\n' "${b[@]}" | stats | to_ms)
fi
echo "rows found: regtool $("$regtool" query "$db" "$ours" | wc -l), sqlite3 $(sqlite3 "$lite" "$theirs" | wc -l) (sqlite3 folds ASCII letters only)"
echo "RESULT search_100000 $a_stats $b_stats"
