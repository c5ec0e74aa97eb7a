#!/usr/bin/env bash
# The browser's search statement run by `regtool query` (the code the browser
# runs) on the 100,000-row register fixture, against sqlite3 running the same
# LIKE condition on the same rows (imported from `regtool export --csv`).
# Whole processes, both reading from the page cache, runs taking turns.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 10).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-10}
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

"$regtool" query "$db" "$ours" > /dev/null  # warm-up: both read from the page cache
sqlite3 "$lite" "$theirs" > /dev/null
a=() b=()
for ((r = 0; r < runs; ++r)); do
    t0=$(now); "$regtool" query "$db" "$ours" > /dev/null; a+=($(( ($(now) - t0) / 1000 )))
    t0=$(now); sqlite3 "$lite" "$theirs" > /dev/null; b+=($(( ($(now) - t0) / 1000 )))
done
echo "rows found: regtool $("$regtool" query "$db" "$ours" | wc -l), sqlite3 $(sqlite3 "$lite" "$theirs" | wc -l) (sqlite3 folds ASCII letters only)"
# Microseconds here, turned into milliseconds with three decimals.
to_ms() { awk '{printf "%.1f %.1f %.1f", $1 / 1000, $2 / 1000, $3 / 1000}'; }
echo "RESULT search_100000 $(printf '%s\n' "${a[@]}" | stats | to_ms) $(printf '%s\n' "${b[@]}" | stats | to_ms)"
