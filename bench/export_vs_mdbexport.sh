#!/usr/bin/env bash
# Whole-process timing of `regtool export DB TABLE --csv` against mdbtools'
# `mdb-export` on the 100,000-row register fixture.
#
# Environment:
#   FIXTURES  folder holding register/reg_100k.mdb.xz
#             (default: ../shared/fixtures relative to the repository root)
#   RUNS      timed runs per command (default 10, at least 5)
#
# Both commands write to /dev/null. One untimed warm-up run of each comes first
# so that both read the database from the page cache. Medians are reported.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fixtures=${FIXTURES:-$root/../shared/fixtures}
runs=${RUNS:-10}
table='ЗУРТ'
date_fmt='%Y-%m-%dT%H:%M:%S'

die() { echo "export_vs_mdbexport: $*" >&2; exit 1; }

[[ $runs =~ ^[0-9]+$ ]] && (( runs >= 5 )) || die "RUNS must be a whole number of at least 5 (got '$runs')"

archive=$fixtures/register/reg_100k.mdb.xz
[[ -f $archive ]] || die "fixture not found: $archive (set FIXTURES to the fixtures folder)"
command -v mdb-export >/dev/null || die "mdb-export not found (Debian package mdbtools)"
command -v xz >/dev/null || die "xz not found"

regtool=$root/build/bin/regtool
if [[ ! -x $regtool ]]; then
    echo "building regtool (Release) ..."
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREGISTER_TESTS=OFF
    ninja -C "$root/build"
    [[ -x $regtool ]] || die "build finished but $regtool is missing"
fi

work=$root/build/bench
db=$work/reg_100k.mdb
mkdir -p "$work"
if [[ ! -s $db ]]; then
    echo "unpacking $archive ..."
    xz -dkc "$archive" > "$db.tmp"
    mv "$db.tmp" "$db"
fi

reg_cmd=("$regtool" export "$db" "$table" --csv)
mdb_cmd=(mdb-export -D "$date_fmt" -T "$date_fmt" "$db" "$table")

# CSV records, not lines: a quoted memo may span several lines, so a line ends
# a record only when the count of '"' seen so far is even (an escaped quote is
# doubled and does not change the parity).
count_records() {
    LC_ALL=C awk '{ q += gsub(/"/, "\"") } q % 2 == 0 { n++ } END { print n + 0 }' "$1"
}

# Sanity check before timing: both must succeed and give the same number of
# records (header included).
check_out=$(mktemp -d)
trap 'rm -rf "$check_out"' EXIT
"${reg_cmd[@]}" > "$check_out/regtool.csv" || die "regtool export failed"
"${mdb_cmd[@]}" > "$check_out/mdb-export.csv" || die "mdb-export failed"
reg_records=$(count_records "$check_out/regtool.csv")
mdb_records=$(count_records "$check_out/mdb-export.csv")
reg_bytes=$(stat -c %s "$check_out/regtool.csv")
mdb_bytes=$(stat -c %s "$check_out/mdb-export.csv")
printf 'regtool    : exit 0, %d records, %d bytes\n' "$reg_records" "$reg_bytes"
printf 'mdb-export : exit 0, %d records, %d bytes\n' "$mdb_records" "$mdb_bytes"
(( reg_records == mdb_records )) || die "record counts differ ($reg_records vs $mdb_records)"
rm -rf "$check_out"

# Median of the numbers on stdin, one a line.
median() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        if (NR % 2) printf "%.3f\n", v[(NR + 1) / 2]
        else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

if command -v hyperfine >/dev/null; then
    csv=$work/export_vs_mdbexport.csv
    quote() { local out= a; for a in "$@"; do out+="${out:+ }$(printf '%q' "$a")"; done; printf '%s' "$out"; }
    hyperfine -N --warmup 1 --runs "$runs" --output null --style basic \
        --export-csv "$csv" \
        -n regtool "$(quote "${reg_cmd[@]}")" \
        -n mdb-export "$(quote "${mdb_cmd[@]}")"
    # columns: command,mean,stddev,median,user,system,min,max
    reg_median=$(awk -F, '$1 == "regtool" { printf "%.3f\n", $4 }' "$csv")
    mdb_median=$(awk -F, '$1 == "mdb-export" { printf "%.3f\n", $4 }' "$csv")
    spread() { awk -F, -v c="$1" '$1 == c { printf "%.1f %.1f %.1f", $4 * 1000, $7 * 1000, $8 * 1000 }' "$csv"; }
    reg_stats=$(spread regtool) mdb_stats=$(spread mdb-export)
else
    # Fallback: wall-clock time of each run with date +%s%N.
    time_runs() {
        local i t0 t1
        "$@" > /dev/null    # warm-up
        for (( i = 0; i < runs; i++ )); do
            t0=$(date +%s%N)
            "$@" > /dev/null
            t1=$(date +%s%N)
            awk -v ns=$(( t1 - t0 )) 'BEGIN { printf "%.6f\n", ns / 1e9 }'
        done
    }
    reg_times=$(time_runs "${reg_cmd[@]}") mdb_times=$(time_runs "${mdb_cmd[@]}")
    reg_median=$(echo "$reg_times" | median)
    mdb_median=$(echo "$mdb_times" | median)
    spread() { sort -n | awk '{a[NR] = $1 * 1000} END {printf "%.1f %.1f %.1f", a[int((NR + 1) / 2)], a[1], a[NR]}'; }
    reg_stats=$(echo "$reg_times" | spread) mdb_stats=$(echo "$mdb_times" | spread)
fi

[[ -n $reg_median && -n $mdb_median ]] || die "could not read the timings"
ratio=$(awk -v m="$mdb_median" -v r="$reg_median" 'BEGIN { printf "%.2f", m / r }')

echo
printf 'runs per command      : %d (after 1 warm-up)\n' "$runs"
printf 'regtool median        : %s s\n' "$reg_median"
printf 'mdb-export median     : %s s\n' "$mdb_median"
printf 'ratio mdb-export/regtool: %s\n' "$ratio"
if awk -v m="$mdb_median" -v r="$reg_median" 'BEGIN { exit !(m >= 3 * r) }'; then
    echo "target (regtool at least 3x faster): met"
else
    echo "target (regtool at least 3x faster): NOT met"
fi
echo "RESULT export_100000 $reg_stats $mdb_stats"
