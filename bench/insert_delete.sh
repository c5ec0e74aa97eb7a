#!/usr/bin/env bash
# Whole-process timing of storing 100,000 register rows into an empty ЗУРТ
# (primary key on номер, text index on Фамилия) with `regtool insert`, then
# deleting them all with `regtool delete`.
#
# Environment:
#   ROWS   rows to insert (default 100000)
#   RUNS   repetitions; the median of each step is reported (default 3)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rows=${ROWS:-100000}
runs=${RUNS:-3}
die() { echo "insert_delete: $*" >&2; exit 1; }
[[ $rows =~ ^[0-9]+$ ]] && (( rows > 0 )) || die "ROWS must be a positive whole number"
[[ $runs =~ ^[0-9]+$ ]] && (( runs > 0 )) || die "RUNS must be a positive whole number"

regtool=$root/build/bin/regtool
if [[ ! -x $regtool ]]; then
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DREGISTER_TESTS=OFF
    ninja -C "$root/build" regtool
fi

work=$root/build/bench
mkdir -p "$work"
input=$work/rows_$rows.jsonl
if [[ ! -s $input ]]; then
    python3 - "$rows" > "$input" <<'PY'
import json, random, sys
random.seed(1)
surnames = ["Иванов", "Петров", "Сидоров", "Кузнецов", "Смирнов", "Попов", "Васильев", "Соколов", "Михайлов", "Новиков"]
names = ["Иван", "Пётр", "Сергей", "Андрей", "Алексей", "Дмитрий", "Николай", "Михаил"]
for i in range(int(sys.argv[1])):
    print(json.dumps({
        "Фамилия": random.choice(surnames) + random.choice(["", "а"]) + str(random.randrange(1000)),
        "Имя": random.choice(names), "Отчество": random.choice(names) + "ович",
        "Дата рождения": "19%02d-%02d-%02dT00:00:00" % (random.randrange(40, 99), random.randrange(1, 13), random.randrange(1, 29)),
        "Адрес места жительства": "г. Москва, ул. Ленина, д. %d, кв. %d" % (random.randrange(200), random.randrange(300)),
        "Пол": "муж", "Рост": random.randrange(150, 200), "Вес": round(random.uniform(50, 110), 1),
        "Судимость": random.random() < 0.1, "Примечание": "Запись %d" % i, "Телефон": "+7 900 %07d" % i,
        "Сумма": "%d.%02d" % (random.randrange(100000), random.randrange(100)), "Код района": random.randrange(100),
        "Фото": "foto\\p%06d.jpg" % i}, ensure_ascii=False))
PY
fi

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ins=() del=()
for ((r = 0; r < runs; ++r)); do
    db=$work/insert_delete.mdb
    rm -f "$db"
    "$regtool" create-register "$db"
    t0=$(now); "$regtool" insert "$db" 'ЗУРТ' < "$input"; t1=$(now)
    [[ $("$regtool" check "$db") == OK ]] || die "check failed after the inserts"
    t2=$(now); seq 1 "$rows" | xargs "$regtool" delete "$db" 'ЗУРТ'; t3=$(now)
    [[ $("$regtool" check "$db") == OK ]] || die "check failed after the deletes"
    ins+=($(( (t1 - t0) / 1000000 ))) del+=($(( (t3 - t2) / 1000000 )))
done
mi=$(printf '%s\n' "${ins[@]}" | median) md=$(printf '%s\n' "${del[@]}" | median)
echo "insert $rows rows: median ${mi} ms ($(( rows * 1000 / (mi > 0 ? mi : 1) )) rows/s)"
echo "delete $rows rows: median ${md} ms ($(( rows * 1000 / (md > 0 ? md : 1) )) rows/s)"
