// Fuzzes writing into a damaged register. A small register is made when the
// process starts; each input is a list of 5-byte patches to it (4-byte offset,
// 1-byte value, as open_scan_fuzzer takes them). The patched file then takes
// a fixed group of changes: three rows inserted (one with a memo of several
// KB), one old and one new row updated, one old and one new row removed, and
// the group committed.
//
// Any jet::Error on the way is a correct outcome. What is checked:
//  - after a group that failed before commit(), the file is byte for byte as
//    it was, and after any failed group it reads or refuses with jet::Error;
//  - when the file was sound before (jet::check_database found nothing) and
//    the commit succeeded, it is still sound, and every row the group wrote
//    reads back as the writer read it inside the group, the removed ones gone.
// A failure of these aborts, which libFuzzer reports as a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_files.h"
#include "jet/check.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"

namespace {

using Row = std::vector<jet::Value>;
const char* const kTable = "ЗУРТ";

Row person(int i) {
    Row v(26, jet::Null{});
    const char* surnames[] = {"Иванов", "Ёлкина", "", "Smith", "Щукин", "иванов"};
    v[1] = std::string(surnames[i % 6]) + std::to_string(i);
    if (i % 4 != 1) v[2] = std::string(i % 4 == 2 ? "" : "Анна");
    v[5] = jet::DateTime{20000.25 + i};
    v[9] = std::int64_t{150 + i};
    v[10] = 60.5 + i;
    v[11] = i % 2 == 0;
    const std::size_t memo[] = {0, 40, 5000, 9000};
    if (i % 5 != 4) {
        std::string m;
        while (m.size() < memo[i % 4]) m += "Примечание " + std::to_string(i) + "; ";
        v[12] = m;
    }
    v[21] = jet::Currency{i * 12345LL};
    v[24] = "Фото " + std::to_string(i) + ".jpg";
    return v;
}

const std::vector<std::uint8_t>& base_file() {
    static const std::vector<std::uint8_t> base = [] {
        const auto path = fuzz::work_dir() / "base.mdb";
        jet::create_database(path.string());
        {
            jet::Database d(path.string());
            reg::create_register_table(d);
            jet::WriteGroup g(d);
            jet::TableWriter& t = g.table(kTable);
            for (int i = 0; i < 6; ++i) {
                Row v = person(i);
                t.insert(v);
            }
            g.commit();
        }
        std::vector<std::uint8_t> b = fuzz::read_file(path);
        std::filesystem::remove(path);
        if (b.empty()) std::abort();
        return b;
    }();
    return base;
}

bool is_sound(const std::string& path) {
    try {
        jet::Database d(path);
        return jet::check_database(d).empty();
    } catch (const jet::Error&) {
        return false;
    }
}

void read_everything(const std::string& path) {
    jet::Database db(path);
    for (const std::string& name : db.user_tables()) {
        jet::Table t = db.table(name);
        t.scan([](jet::RowId, const Row&) { return true; });
        for (jet::RowId id : t.row_ids()) (void)t.read(id);
    }
}

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "write_fuzzer: %s\n", what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)base_file();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file = base_file();
    fuzz::apply_patches(file, data, size);
    const auto path = fuzz::work_dir() / "w.mdb";
    std::filesystem::remove(path.string() + "-journal");
    fuzz::write_file(path, file);

    const bool sound_before = is_sound(path.string());

    std::vector<std::pair<jet::RowId, Row>> expected;  // rows as the writer read them in the group
    std::vector<jet::RowId> removed;
    std::size_t rows_before = 0;
    bool commit_called = false;
    bool committed = false;
    try {
        jet::Database d(path.string());
        const std::vector<jet::RowId> old = d.table(kTable).row_ids();
        rows_before = old.size();
        jet::WriteGroup g(d);
        jet::TableWriter& t = g.table(kTable);
        std::vector<jet::RowId> added;
        for (int i = 10; i < 13; ++i) {
            Row v = person(i);
            added.push_back(t.insert(v));
        }
        if (!old.empty()) t.update(old.front(), person(20));
        t.update(added[2], person(21));
        if (old.size() > 1) {
            t.remove(old[1]);
            removed.push_back(old[1]);
        }
        t.remove(added[1]);
        removed.push_back(added[1]);
        std::vector<jet::RowId> kept = {added[0], added[2]};
        if (!old.empty()) kept.push_back(old.front());
        for (jet::RowId id : kept) {
            std::optional<Row> now = t.read(id);
            if (!now) finding("a row written in the group is missing inside it");
            expected.emplace_back(id, std::move(*now));
        }
        for (jet::RowId id : removed) {
            if (t.read(id)) finding("a row removed in the group still reads inside it");
        }
        commit_called = true;
        g.commit();
        committed = true;
    } catch (const jet::Error&) {
        // Refusing to write into a damaged file is a correct outcome.
    }

    if (!committed) {
        if (!commit_called && fuzz::read_file(path) != file) finding("a group that failed before its commit changed the file");
        try {
            read_everything(path.string());
        } catch (const jet::Error&) {
        }
        return 0;
    }

    if (!sound_before) {
        // Written into a file that was not sound: it need not be sound now, but must still read or refuse.
        try {
            read_everything(path.string());
        } catch (const jet::Error&) {
        }
        return 0;
    }

    jet::Database d(path.string());
    for (const std::string& problem : jet::check_database(d)) finding("after a committed group: " + problem);
    jet::Table t = d.table(kTable);
    for (const auto& [id, row] : expected) {
        std::optional<Row> now = t.read(id);
        if (!now) finding("a row written by a committed group is missing");
        if (*now != row) finding("a row written by a committed group reads back different");
    }
    for (jet::RowId id : removed) {
        if (t.read(id)) finding("a row removed by a committed group still reads");
    }
    if (t.row_ids().size() != rows_before + 3 - removed.size()) finding("the row count after a committed group is wrong");
    return 0;
}
