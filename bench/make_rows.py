#!/usr/bin/env python3
# N realistic register rows as JSON lines (what `regtool insert` reads), the
# same every time: python3 make_rows.py N > rows.jsonl
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
