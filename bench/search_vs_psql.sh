#!/usr/bin/env bash
# The browser's search on a server register: the 100,000-row register fixture
# upsized by regtool onto a throwaway PostgreSQL server this script starts
# (tests/pg_test_server.sh: a folder of its own, a unix socket only), then
# `regtool query LINK` with the statement search_vs_sqlite.sh runs (the code
# the browser runs, a whole process, through a link file) against psql
# running the same search as a person would type it (ILIKE), its rows
# written to a file. Runs take turns, the server's rows in its cache.
#
# Environment: FIXTURES (default ../shared/fixtures), RUNS (default 30),
# BUILD_DIR (default build).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-30}
command -v hyperfine >/dev/null || die "hyperfine not found (scripts/install-deps.sh installs it)"
command -v xz >/dev/null || die "xz not found"
build_release regtool regtool_server
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"

start_server
upsized_register bench "$db"
"$pgbin/psql" -X -q "$conninfo" -c "VACUUM ANALYZE"

ours="SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%ан%'and ЗУРТ.[Блейк лист] Like '%а%'"
theirs="SELECT \"номер\", \"Фамилия\", \"Имя\", \"Отчество\", \"Блейк лист\" FROM \"ЗУРТ\" WHERE \"Имя\" ILIKE '%ан%' AND \"Блейк лист\" ILIKE '%а%'"
rows=$work/psql_rows.txt

# hyperfine starts each process itself (no shell between); rounds of five
# runs of each take turns, so that a machine shared with other work weighs on
# both alike, and the medians are of every run.
rounds=$(( (runs + 4) / 5 ))
rm -f "$work"/search_psql_*.json
for ((r = 0; r < rounds; ++r)); do
    hyperfine -N --warmup 1 --runs 5 --output null --style none --export-json "$work/search_psql_$r.json" \
        -n ours "$(printf '%q %q %q' "$regtool" query "$link") $(printf '%q' "$ours")" \
        -n psql "$(printf '%q ' "$pgbin/psql" -X -A -t -o "$rows" "$conninfo" -c)$(printf '%q' "$theirs")"
done
spread() {
    python3 - "$1" "$work"/search_psql_*.json <<'PY'
import json, sys
times = sorted(t for f in sys.argv[2:] for b in json.load(open(f))["results"] if b["command"] == sys.argv[1] for t in b["times"])
print("%.1f %.1f %.1f" % (times[(len(times) - 1) // 2] * 1000, times[0] * 1000, times[-1] * 1000), end="")
PY
}
echo "rows found: regtool $("$regtool" query "$link" "$ours" | wc -l), psql $(wc -l < "$rows")," \
     "regtool on the file $("$regtool" query "$db" "$ours" | wc -l)"
echo "RESULT search_server_100000 $(spread ours) $(spread psql)"
