#!/usr/bin/env python3
# The rows `regtool insert` reads (JSON lines) for sqlite3: writes the table
# ЗУРТ as CREATE statements (the register's 26 columns, номер as the integer
# primary key, the index on Фамилия) to SCHEMA, and the rows as INSERT
# statements in one transaction to standard output (JSON null as NULL).
#   python3 rows_to_sql.py rows.jsonl schema.sql > rows.sql
import json
import sys

COLUMNS = [
    ("номер", "INTEGER PRIMARY KEY"), ("Фамилия", "TEXT"), ("Имя", "TEXT"), ("Отчество", "TEXT"),
    ("Блейк лист", "TEXT"), ("Дата рождения", "TEXT"), ("Категория учета", "TEXT"),
    ("Адрес места жительства", "TEXT"), ("Пол", "TEXT"), ("Рост", "INTEGER"), ("Вес", "REAL"),
    ("Судимость", "INTEGER NOT NULL DEFAULT 0"), ("Примечание", "TEXT"), ("Телефон", "TEXT"),
    ("Паспорт", "TEXT"), ("Место рождения", "TEXT"), ("Гражданство", "TEXT"), ("Образование", "TEXT"),
    ("Место работы", "TEXT"), ("Должность", "TEXT"), ("Дата постановки", "TEXT"), ("Сумма", "NUMERIC"),
    ("Код района", "INTEGER"), ("Служебная отметка", "TEXT"), ("Фото", "TEXT"), ("Изменено", "TEXT"),
]


def name(n):
    return '"' + n + '"'


def literal(v):
    if v is None:
        return "NULL"
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, (int, float)):
        return repr(v)
    return "'" + str(v).replace("'", "''") + "'"


def main():
    rows_path, schema_path = sys.argv[1], sys.argv[2]
    with open(schema_path, "w", encoding="utf-8") as schema:
        schema.write("CREATE TABLE ЗУРТ (" + ", ".join(name(n) + " " + t for n, t in COLUMNS) + ");\n")
        schema.write('CREATE INDEX "Фамилия" ON ЗУРТ ("Фамилия");\n')
    out = sys.stdout
    out.write("BEGIN;\n")
    with open(rows_path, encoding="utf-8") as rows:
        for line in rows:
            row = json.loads(line)
            out.write("INSERT INTO ЗУРТ (" + ", ".join(name(k) for k in row) + ") VALUES (" +
                      ", ".join(literal(v) for v in row.values()) + ");\n")
    out.write("COMMIT;\n")


main()
