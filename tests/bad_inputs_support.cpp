#include "bad_inputs_support.h"

#include <QRegularExpression>

#include <array>

#include "jet/database.h"
#include "storage/page_file.h"
#include "logic/register_table.h"

namespace testing_support {

Row person(int i, const std::string& photo) {
    Row v = person(i);
    v[24] = photo;
    return v;
}

std::vector<BadFile> bad_files(const fs::path& dir) {
    std::vector<BadFile> out;
    write_file(dir / "notes.mdb", "Фамилия;Имя\nИванов;Иван\n");
    write_file(dir / "empty.mdb", "");
    out.push_back({"text file", dir / "notes.mdb", "не является базой данных"});
    out.push_back({"empty file", dir / "empty.mdb", "пуст"});
    if (have_fixtures()) {
        const std::array<std::pair<const char*, const char*>, 4> fixtures{{
            {"other-formats/jackcess__V1997__testV1997.mdb", "Access 97"},
            {"other-formats/jackcess__V2007__testV2007.accdb", "Access 2007"},
            {"other-formats/mdbreader__encryption__data__office-agile-4.2.accdb", "Access 2007"},
            {"realworld/mdbreader__password__data__V2000_with-password.mdb", "паролем"},
        }};
        for (const auto& [name, says] : fixtures) {
            const fs::path from = fixtures_dir() / name;
            if (!fs::exists(from)) continue;
            const fs::path to = dir / ("fixture_" + from.filename().string());
            fs::copy_file(from, to);
            fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
            out.push_back({from.filename().string(), to, says});
        }
    }
    return out;
}

bool in_russian(QString message) {
    message.remove(QRegularExpression(QStringLiteral("«[^»]*»")));
    for (const char* name : {"Microsoft Office", "LibreOffice Writer", "libreoffice-writer", "Access", "accdb"}) {
        message.remove(QString::fromUtf8(name));
    }
    return !message.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

std::vector<fs::path> truncated_registers(const fs::path& dir, int rows) {
    const fs::path whole = make_register(dir / "whole", rows);
    const std::string bytes = read_file(whole);
    const std::size_t pages = bytes.size() / jet::kPageSize;
    std::vector<fs::path> out;
    for (std::size_t keep : {std::size_t{1}, std::size_t{3}, pages / 2, pages - 1}) {
        const fs::path cut = dir / ("cut_" + std::to_string(keep) + ".mdb");
        write_file(cut, bytes.substr(0, keep * jet::kPageSize));
        out.push_back(cut);
    }
    return out;
}

fs::path database_without_register(const fs::path& dir) {
    jet::TableSpec spec = reg::register_table_spec();
    spec.name = "ЗУРТ_архив";
    return write_table(dir / "other.mdb", spec);
}

fs::path narrow_register(const fs::path& dir, std::size_t columns, int rows) {
    jet::TableSpec spec = reg::register_table_spec();
    spec.columns.resize(columns);
    std::vector<Row> narrow;
    for (int i = 0; i < rows; ++i) {
        narrow.push_back(person(i));
        narrow.back().resize(columns);
    }
    return write_table(dir / ("narrow_" + std::to_string(columns) + ".mdb"), spec, narrow);
}

}  // namespace testing_support
