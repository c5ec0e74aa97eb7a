// Fuzzes the query language: the input is taken as the text of a statement;
// when it parses, it is run over a small register made when the process starts
// and every row of the result is read. A refusal (sql::Error, jet::Error) is a
// correct outcome; a crash, a sanitizer report or a leak is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_files.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"
#include "sql/sql.h"

namespace {

using Row = std::vector<jet::Value>;

// The register ЗУРТ with a few people (Cyrillic, Null, empty text, a long
// memo) and a table "Разное" holding a value of every other column type.
jet::Database& database() {
    static const std::unique_ptr<jet::Database> db = [] {
        const std::string path = (fuzz::work_dir() / "query.mdb").string();
        jet::create_database(path);
        auto d = std::make_unique<jet::Database>(path);
        reg::create_register_table(*d);
        {
            jet::WriteGroup g(*d);
            jet::TableSpec other;
            other.name = "Разное";
            other.columns = {{"Код", jet::ColumnType::Long, 0, true},  {"Байт", jet::ColumnType::Byte},
                             {"Одинарное", jet::ColumnType::Single},    {"Число", jet::ColumnType::Decimal, 0, false, 18, 4},
                             {"Ключ", jet::ColumnType::Guid},           {"Данные", jet::ColumnType::Binary, 16},
                             {"Объект", jet::ColumnType::Ole},          {"Да", jet::ColumnType::Boolean},
                             {"Текст", jet::ColumnType::Text, 20}};
            other.indexes = {{"PrimaryKey", {{"Код", true}}, true, true, false, true}};
            jet::create_table(g, other);
            g.commit();
        }
        d->reload_catalog();
        jet::WriteGroup g(*d);
        jet::TableWriter& reg = g.table("ЗУРТ");
        const char* surnames[] = {"Иванов", "Ёлкина", "", "Smith", "иванов"};
        for (int i = 0; i < 5; ++i) {
            Row v(26, jet::Null{});
            v[1] = std::string(surnames[i]);
            if (i != 3) v[2] = i == 2 ? std::string() : std::string("Пётр") + std::to_string(i);
            if (i % 2 == 0) v[5] = jet::DateTime{20000.5 + i * 1000};
            v[8] = std::string(i % 2 ? "Ж" : "М");
            if (i != 1) v[9] = std::int64_t{150 + i * 7};
            v[10] = 55.25 * (i + 1);
            v[11] = i % 2 == 0;
            if (i == 0) v[12] = std::string(3000, 'x') + "Примечание";
            if (i == 1) v[12] = std::string();
            v[13] = std::string("+7 (495) 123-45-6") + std::to_string(i);
            v[21] = jet::Currency{-12345LL * i};
            v[22] = std::int64_t{i - 2};
            v[24] = std::string("Фото 0000") + std::to_string(i) + ".jpg";
            reg.insert(v);
        }
        jet::TableWriter& misc = g.table("Разное");
        for (int i = 0; i < 3; ++i) {
            Row v(9, jet::Null{});
            v[1] = std::int64_t{i * 100};
            v[2] = 1.5f * static_cast<float>(i);
            jet::Decimal dec;
            dec.negative = i == 1;
            dec.magnitude[0] = 1234567u * static_cast<std::uint32_t>(i + 1);
            dec.scale = 4;
            dec.precision = 18;
            v[3] = dec;
            jet::Guid guid;
            for (std::size_t k = 0; k < guid.bytes.size(); ++k) guid.bytes[k] = static_cast<std::uint8_t>(k * 17 + i);
            if (i != 2) v[4] = guid;
            v[5] = jet::Binary{{0x00, 0xFF, static_cast<std::uint8_t>(i)}};
            if (i == 0) v[6] = jet::Binary{std::vector<std::uint8_t>(100, 0xAB)};
            v[7] = i == 1;
            v[8] = i == 0 ? std::string() : std::string("Ёж") + std::to_string(i);
            misc.insert(v);
        }
        g.commit();
        return d;
    }();
    return *db;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)database();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        sql::Statement s = sql::parse(text);
        sql::Result r = sql::Result::run(database(), s);
        if (r.column_names().size() != r.column_types().size()) std::abort();
        for (std::size_t i = 0; i < r.row_count(); ++i) {
            if (r.row(i).size() != r.column_names().size()) std::abort();
        }
        auto all = r.rows(0, r.row_count());
        if (all.size() != r.row_count()) std::abort();
    } catch (const sql::Error& e) {
        // The position, when there is one, must point into the statement (or just past it).
        if (e.position() != sql::Error::npos && e.position() > size) std::abort();
    } catch (const jet::Error&) {
    }
    return 0;
}
