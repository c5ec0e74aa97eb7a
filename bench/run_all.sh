#!/usr/bin/env bash
# Every benchmark in one run, then one table of the results: each measure's
# median with the fastest and slowest run, the peer's, the ratio and the
# target. The table goes to standard output and to build/bench/results.md,
# with the machine it ran on. Environment variables are passed on (RUNS,
# ROWS, FIXTURES, SIZES, SERVER_ROWS, CLIENTS, DURATION).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

log=$work/run_all.log
: > "$log"
for script in export_vs_mdbexport.sh insert_delete.sh move.sh search_vs_sqlite.sh search_vs_psql.sh upsize_vs_mdbtools.sh first_screens.sh server_first_screens.sh offices.sh; do
    echo "== $script" | tee -a "$log"
    "$root/bench/$script" 2>&1 | tee -a "$log"
done

# name | what | peer | target kind | target value
targets() {
    cat <<'T'
export_100000|export 100,000 rows as CSV|mdb-export|faster|3
insert_100000|insert 100,000 rows|sqlite3|ratio|0.67
delete_100000|delete 100,000 rows by number|sqlite3|ratio|0.67
move_100000|move 100,000 rows between registers|sqlite3 insert + delete|ratio|0.67
search_100000|the browser's search, 100,000 rows|sqlite3|ratio|0.67
upsize_100000|upsize 100,000 rows onto a server|mdb-schema + mdb-export -I postgres, into psql|faster|3
search_server_100000|the browser's search on a server register, 100,000 rows|psql|ratio|1.2
first_screen_1000000|browser: first grid screen, 1,000,000 rows (ms)||under|30
first_screen_1000000_memory|browser: peak memory, 1,000,000 rows (MB)||under|100
first_card_1000000|viewer: first card, 1,000,000 rows (ms)||under|30
first_card_1000000_memory|viewer: peak memory, 1,000,000 rows (MB)||under|100
first_screen_1800000|browser: first grid screen, 1,800,000 rows, 2.07 GB (ms)||under|40
first_screen_1800000_memory|browser: peak memory, 1,800,000 rows (MB)||under|100
first_card_1800000|viewer: first card, 1,800,000 rows, 2.07 GB (ms)||under|40
first_card_1800000_memory|viewer: peak memory, 1,800,000 rows (MB)||under|100
server_first_screen_1000000|browser: first grid screen, server register of 1,000,000 rows (ms)||under|50
server_first_screen_1000000_memory|browser: peak memory, server register of 1,000,000 rows (MB)||under|100
server_first_card_1000000|viewer: first card, server register of 1,000,000 rows (ms)||under|50
server_first_card_1000000_memory|viewer: peak memory, server register of 1,000,000 rows (MB)||under|100
offices_ops_per_s|20 offices at once for 60 s, 100,000 rows: operations per second||rate|
offices_lost_updates|20 offices at once: lost updates||under|1
offices_missing_or_doubled|20 offices at once: persons missing or doubled||under|1
T
}

{
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(sed -n 's/^model name\s*:\s*//p' /proc/cpuinfo | head -1)," \
        "$(awk '/MemTotal/ {printf "%d GB", $2 / 1048576}' /proc/meminfo), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    echo "| measure | ours: median (min–max) | peer: median (min–max) | ratio | target | met |"
    echo "|---|---|---|---|---|---|"
    while IFS='|' read -r name what peer kind value; do
        line=$(grep "^RESULT $name " "$log" | tail -1) || true
        [[ -n $line ]] || { echo "| $what | not measured | | | | |"; continue; }
        read -r _ _ om omin omax pm pmin pmax <<< "$line"
        ours="$om ($omin–$omax)"
        if [[ -n ${pm:-} ]]; then
            theirs="$peer $pm ($pmin–$pmax)"
            ratio=$(awk -v a="$om" -v b="$pm" 'BEGIN {printf "%.2f", a / b}')
        else
            theirs="" ratio=""
        fi
        case $kind in
            ratio) target="ours/peer ≤ $value"; met=$(awk -v r="$ratio" -v t="$value" 'BEGIN {print (r <= t) ? "yes" : "no"}') ;;
            faster) target="ours/peer ≤ $(awk -v t="$value" 'BEGIN {printf "%.2f", 1 / t}') ($value× faster)"
                    met=$(awk -v a="$om" -v b="$pm" -v t="$value" 'BEGIN {print (b / a >= t) ? "yes" : "no"}') ;;
            under) target="under $value"; met=$(awk -v a="$om" -v t="$value" 'BEGIN {print (a < t) ? "yes" : "no"}') ;;
            rate) target="" met="" ;;
        esac
        echo "| $what | $ours | $theirs | $ratio | $target | $met |"
    done < <(targets)
} | tee "$work/results.md"
