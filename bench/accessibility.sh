#!/usr/bin/env bash
# What a screen reader's tree walk costs in the browser: Ostrin listing a
# register of ROWS rows (3,000 and 1,000,000 by default) under Xvfb with the
# accessibility bus on; a walker over AT-SPI (accessibility_walk.py, the
# system's python3 with python3-pyatspi) visits every object of the window's
# accessible tree and prints how many there are and how long the walk took
# (the best of three).
#
# Needs: xvfb, dbus, at-spi2-core, python3-pyatspi (apt-get install).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fixtures=${FIXTURES:-$root/../shared/fixtures}
sizes=(${ROWS:-3000 1000000})
for tool in Xvfb dbus-run-session; do command -v "$tool" >/dev/null || { echo "accessibility: $tool not found" >&2; exit 1; }; done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "accessibility: python3-pyatspi not found" >&2; exit 1; }

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$root/build" regtool ostrin_open >/dev/null
regtool=$root/build/bin/regtool
work=$root/build/bench
mkdir -p "$work"
db=$work/reg_100k.mdb
[[ -s $db ]] || xz -dc "$fixtures/register/reg_100k.mdb.xz" > "$db"

for rows in "${sizes[@]}"; do
    big=$work/reg_${rows}.mdb
    if [[ ! -s $big ]]; then
        rm -f "$big"
        "$regtool" create-register "$big"
        "$regtool" export "$db" 'ЗУРТ' --jsonl | /usr/bin/python3 -c '
import json, sys
rows = [json.loads(l) for l in sys.stdin]
for r in rows: r.pop("номер", None)
n = int(sys.argv[1])
for i in range(n): print(json.dumps(rows[i % len(rows)], ensure_ascii=False))
' "$rows" | "$regtool" insert "$big" 'ЗУРТ'
    fi
    display=:$((90 + RANDOM % 9))
    Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    DISPLAY=$display dbus-run-session -- bash -c '
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" "$2" >/dev/null &
        app=$!
        /usr/bin/python3 "$3" Ostrin
        kill $app
    ' _ "$root/build/bin/ostrin_open" "$big" "$root/bench/accessibility_walk.py" | sed "s/^/rows $rows: /"
    kill "$xvfb"
done
