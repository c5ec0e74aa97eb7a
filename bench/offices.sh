#!/usr/bin/env bash
# Many offices on one server register at once: CLIENTS processes
# (offices.cpp, the data access layer the windows use) for DURATION seconds
# against a register of ROWS persons on a throwaway PostgreSQL server this
# script starts (tests/pg_test_server.sh). Of every five offices two search (the
# browser's query), two change photos (the viewer's edit of Фото, mostly on
# the first hundred rows, so that offices meet on the same rows) and one
# moves: small files of new persons into the register, and its own server
# register of 200 persons out to a file and back.
#
# Then the check: every person (their telephone number is unique) is found
# exactly once across the register, the movers' registers and files; and
# the photo values of each row form one history: back from the row's last
# value, each stored write names the value it was made over, and every write
# an office was told was stored must be on it; one that is not was
# overwritten by an office that never saw it, a lost update. A change
# refused as a conflict is no loss. The rate is every office's operations
# together per second.
#
# Environment: CLIENTS (default 20), DURATION (seconds, default 60), ROWS
# (default 100000), BUILD_DIR (default build).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

clients=${CLIENTS:-20}
seconds=${DURATION:-60}
rows=${ROWS:-100000}
build_release regtool regtool_server offices

start_server
run=$work/offices
rm -rf "$run"
mkdir -p "$run"
psql_as() { "$pgbin/psql" -X -q -v ON_ERROR_STOP=1 "host=$server user=regtest dbname=$1" "${@:2}"; }

# A server register of the rows given as JSON lines on standard input.
server_register() {
    local name=$1 file=$run/$1.mdb
    "$regtool" create-register "$file"
    "$regtool" insert "$file" 'ЗУРТ'
    psql_as postgres -c "CREATE DATABASE $name"
    echo "host=$server user=regtest dbname=$name" > "$run/$name.pgreg"
    "$regtool" upsize "$file" "$run/$name.pgreg" 2>/dev/null
    rm -f "$file"
    psql_as "$name" -c "VACUUM ANALYZE"
}

[[ -s $work/rows_$rows.jsonl ]] || python3 "$root/bench/make_rows.py" "$rows" > "$work/rows_$rows.jsonl"
server_register register < "$work/rows_$rows.jsonl"
"$regtool" create-register "$run/empty.mdb"
for ((c = 0; c < clients; ++c)); do
    (( c % 5 == 4 )) || continue
    python3 -c '
import json, sys
c = int(sys.argv[1])
for i in range(200):
    print(json.dumps({"Фамилия": "Соколов%d" % (i % 100), "Имя": "Пётр", "Телефон": "+7 7%02d %06d" % (c, i), "Фото": "foto\\o%d.jpg" % i}, ensure_ascii=False))
' "$c" | server_register "own_$c"
    cp "$run/empty.mdb" "$run/out_$c.mdb"
done

# Every telephone number in the registers now, one a line.
numbers() {
    for reg in "$run"/*.pgreg "$run"/out_*.mdb "$run"/in_*.mdb; do
        [[ -e $reg ]] || continue
        "$regtool" query "$reg" 'SELECT Телефон, Фото FROM ЗУРТ'
    done
}
numbers > "$run/before.jsonl"

echo "$clients offices for $seconds s on a register of $rows rows" >&2
pids=()
for ((c = 0; c < clients; ++c)); do
    case $((c % 5)) in
        0|1) role=search ;;
        2|3) role=photo ;;
        4) role=move ;;
    esac
    "$build/bin/offices" "$role" "$c" "$run/register.pgreg" "$seconds" "$run/client_$c.log" "$run" &
    pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
(( failed == 0 )) || echo "$failed offices stopped early (their logs say why)" >&2
numbers > "$run/after.jsonl"

python3 - "$run" "$clients" <<'PY'
import collections, glob, json, os, sys
run, clients = sys.argv[1], int(sys.argv[2])
def people(path):
    return [json.loads(l) for l in open(path) if l.strip()]
before = collections.Counter(p["Телефон"] for p in people(os.path.join(run, "before.jsonl")))
after_rows = people(os.path.join(run, "after.jsonl"))
after = collections.Counter(p["Телефон"] for p in after_rows)
expected = collections.Counter(before)
ops = collections.Counter()
elapsed = 0.0
errors = collections.Counter()
writes = collections.defaultdict(list)  # phone -> [(id, prev)]
refused = 0
for log in glob.glob(os.path.join(run, "client_*.log")):
    for line in open(log, encoding="utf-8", errors="replace"):
        f = line.split()
        if not f:
            continue
        if f[0] == "N":
            expected[" ".join(f[1:])] += 1
        elif f[0] == "W":
            writes[" ".join(f[1:-2])].append((f[-2], f[-1]))
        elif f[0] == "R":
            refused += 1
        elif f[0] == "E":
            errors[f[1] + " " + f[2] + " " + " ".join(f[3:])[:120]] += 1
        elif f[0] == "OPS":
            ops[f[1]] += int(f[2])
            elapsed = max(elapsed, float(f[3]))
missing = sum(max(0, n - after[k]) for k, n in expected.items())
doubled = sum(max(0, n - expected[k]) for k, n in after.items())
# The chain of each row's photo writes.
final = {}
for p in after_rows:
    v = p.get("Фото") or ""
    final[p["Телефон"]] = v.split(".jpg;prev=")[0] if v.startswith("c") and ".jpg;prev=" in v else "orig"
lost = 0
for phone, ws in writes.items():
    # The row's history, back from its last value: every stored write must be on it.
    prev_of = dict(ws)
    state, history = final.get(phone, "orig"), 0
    while state in prev_of and history <= len(ws):
        state, history = prev_of[state], history + 1
    lost += len(ws) - history if state == "orig" else len(ws)
stored = sum(len(ws) for ws in writes.values())
total = sum(ops.values())
for e, n in errors.most_common(8):
    print("error %d× %s" % (n, e), file=sys.stderr)
print("operations: %s; photo changes stored %d, refused %d; persons expected %d, found %d"
      % (", ".join("%s %d" % kv for kv in sorted(ops.items())), stored, refused, sum(expected.values()), sum(after.values())), file=sys.stderr)
print("lost updates %d, missing %d, doubled %d, errors %d" % (lost, missing, doubled, sum(errors.values())), file=sys.stderr)
rate = total / elapsed if elapsed else 0
for name, v in (("offices_ops_per_s", "%.1f" % rate), ("offices_lost_updates", lost), ("offices_missing_or_doubled", missing + doubled)):
    print("RESULT %s %s %s %s" % (name, v, v, v))
for role in sorted(ops):
    r = ops[role] / elapsed
    print("RESULT offices_%s_per_s %.1f %.1f %.1f" % (role, r, r, r))
PY
