// The demo register: rows that fit table ЗУРТ and make sense as persons, the
// photographs they name, and the drawn portraits as image files.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

#include <algorithm>
#include <cctype>
#include <set>
#include <stdexcept>

#include "demo_data.h"
#include "demo_images.h"
#include "jet/text.h"
#include "support.h"

namespace {

using namespace testing_support;
using regtool::DemoPhoto;
using Row = std::vector<jet::Value>;

// Table ЗУРТ as Access defines it.
enum class Kind { Autonumber, Text, Memo, Date, Integer, Long, Double, Currency, Boolean };
struct ColumnRule {
    const char* name;
    Kind kind;
    std::size_t chars = 0;  // Text: the most UTF-16 units the column holds
};
const ColumnRule kTable[] = {
    {"номер", Kind::Autonumber},
    {"Фамилия", Kind::Text, 50},
    {"Имя", Kind::Text, 50},
    {"Отчество", Kind::Text, 50},
    {"Блейк лист", Kind::Text, 20},
    {"Дата рождения", Kind::Date},
    {"Категория учета", Kind::Text, 50},
    {"Адрес места жительства", Kind::Text, 255},
    {"Пол", Kind::Text, 10},
    {"Рост", Kind::Integer},
    {"Вес", Kind::Double},
    {"Судимость", Kind::Boolean},
    {"Примечание", Kind::Memo},
    {"Телефон", Kind::Text, 30},
    {"Паспорт", Kind::Text, 30},
    {"Место рождения", Kind::Text, 100},
    {"Гражданство", Kind::Text, 50},
    {"Образование", Kind::Text, 50},
    {"Место работы", Kind::Text, 100},
    {"Должность", Kind::Text, 50},
    {"Дата постановки", Kind::Date},
    {"Сумма", Kind::Currency},
    {"Код района", Kind::Long},
    {"Служебная отметка", Kind::Text, 50},
    {"Фото", Kind::Text, 255},
    {"Изменено", Kind::Date},
};
static_assert(std::size(kTable) == regtool::kColumnCount);

const std::uint32_t kSeeds[] = {0, 1, 2, 77, 4'000'000'000u};

const std::string* text_at(const Row& row, std::size_t col) { return std::get_if<std::string>(&row[col]); }

std::size_t utf16_units(const std::string& s) { return jet::to_utf16(s).size(); }

std::string lower_ascii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double days(int y, int m, int d) { return jet::from_civil(jet::CivilTime{y, m, d}).days; }

bool ends_with_any(const std::string& s, std::initializer_list<const char*> endings) {
    return std::any_of(endings.begin(), endings.end(), [&](const char* e) { return s.ends_with(e); });
}

// ---- Rows ----

TEST(DemoRows, AboutFiftyRowsOfTwentySixValuesTheSameForTheSameSeed) {
    for (std::uint32_t seed : kSeeds) {
        std::vector<Row> rows = regtool::demo_rows(seed);
        EXPECT_GE(rows.size(), 45u);
        EXPECT_LE(rows.size(), 60u);
        for (const Row& row : rows) {
            ASSERT_EQ(row.size(), regtool::kColumnCount);
            EXPECT_TRUE(jet::is_null(row[regtool::kNumber])) << "the engine numbers the rows";
        }
        EXPECT_EQ(rows, regtool::demo_rows(seed));
    }
    EXPECT_NE(regtool::demo_rows(1), regtool::demo_rows(2));
}

TEST(DemoRows, EveryValueFitsItsColumn) {
    for (std::uint32_t seed : kSeeds) {
        std::vector<Row> rows = regtool::demo_rows(seed);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < regtool::kColumnCount; ++c) {
                const jet::Value& v = rows[r][c];
                const ColumnRule& rule = kTable[c];
                SCOPED_TRACE("seed " + std::to_string(seed) + ", row " + std::to_string(r) + ", " + rule.name);
                if (rule.kind == Kind::Boolean) {
                    // Jet keeps a Yes/No in the null mask: it cannot be Null.
                    EXPECT_TRUE(std::holds_alternative<bool>(v));
                    continue;
                }
                if (jet::is_null(v)) continue;
                switch (rule.kind) {
                case Kind::Autonumber: ADD_FAILURE() << "set by the engine"; break;
                case Kind::Text:
                    ASSERT_TRUE(std::holds_alternative<std::string>(v));
                    EXPECT_LE(utf16_units(std::get<std::string>(v)), rule.chars) << std::get<std::string>(v);
                    break;
                case Kind::Memo: EXPECT_TRUE(std::holds_alternative<std::string>(v)); break;
                case Kind::Date: EXPECT_TRUE(std::holds_alternative<jet::DateTime>(v)); break;
                case Kind::Integer:
                    ASSERT_TRUE(std::holds_alternative<std::int64_t>(v));
                    EXPECT_GE(std::get<std::int64_t>(v), -32768);
                    EXPECT_LE(std::get<std::int64_t>(v), 32767);
                    break;
                case Kind::Long:
                    ASSERT_TRUE(std::holds_alternative<std::int64_t>(v));
                    EXPECT_GE(std::get<std::int64_t>(v), INT32_MIN);
                    EXPECT_LE(std::get<std::int64_t>(v), INT32_MAX);
                    break;
                case Kind::Double: EXPECT_TRUE(std::holds_alternative<double>(v)); break;
                case Kind::Currency: EXPECT_TRUE(std::holds_alternative<jet::Currency>(v)); break;
                case Kind::Boolean: break;
                }
            }
        }
    }
}

TEST(DemoRows, NamesAgreeWithSex) {
    const std::string male = regtool::kMale, female = regtool::kFemale;
    for (std::uint32_t seed : kSeeds) {
        std::vector<Row> rows = regtool::demo_rows(seed);
        std::set<std::string> men, women;
        for (const Row& row : rows) {
            const std::string* sex = text_at(row, regtool::kSex);
            const std::string* surname = text_at(row, regtool::kSurname);
            const std::string* name = text_at(row, regtool::kName);
            ASSERT_TRUE(sex && surname && name);
            ASSERT_TRUE(*sex == male || *sex == female) << *sex;
            const std::string* patronymic = text_at(row, regtool::kPatronymic);
            std::string who = *surname + " " + *name + " " + (patronymic ? *patronymic : "");
            if (*sex == male) {
                men.insert(*surname);
                EXPECT_FALSE(ends_with_any(*surname, {"ова", "ева", "ёва", "ина", "ына", "ая"})) << who;
                if (patronymic && !patronymic->empty()) { EXPECT_TRUE(patronymic->ends_with("ич")) << who; }
            } else {
                women.insert(*surname);
                EXPECT_FALSE(ends_with_any(*surname, {"ов", "ев", "ёв", "ин", "ын", "ий", "ой", "ый"})) << who;
                if (patronymic && !patronymic->empty()) { EXPECT_TRUE(patronymic->ends_with("на")) << who; }
            }
        }
        // Families: the same surname in both forms.
        int both = 0;
        for (const std::string& s : men) {
            both += women.count(s + "а") > 0 || (s.ends_with("ий") && women.count(s.substr(0, s.size() - 4) + "ая") > 0);
        }
        EXPECT_GE(both, 5);
    }
}

TEST(DemoRows, DatesFollowOneAnother) {
    const double first = days(1940, 1, 1), last = days(2005, 12, 31), end = days(2025, 12, 31);
    for (std::uint32_t seed : kSeeds) {
        for (const Row& row : regtool::demo_rows(seed)) {
            const auto* born = std::get_if<jet::DateTime>(&row[regtool::kBirthDate]);
            const auto* registered = std::get_if<jet::DateTime>(&row[regtool::kRegistered]);
            const auto* changed = std::get_if<jet::DateTime>(&row[regtool::kChanged]);
            if (born) {
                EXPECT_GE(born->days, first);
                EXPECT_LE(born->days, last);
            }
            if (born && registered) { EXPECT_GT(registered->days, born->days + 365 * 14); }
            if (registered && changed) { EXPECT_GE(changed->days, registered->days); }
            if (changed) { EXPECT_LE(changed->days, end); }
        }
    }
}

// What the register is for: readers meet Nulls of every type, empty strings,
// notes long enough for long-value pages, and money with kopecks.
TEST(DemoRows, HoldTheAwkwardCases) {
    for (std::uint32_t seed : kSeeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::vector<Row> rows = regtool::demo_rows(seed);
        for (std::size_t c = 0; c < regtool::kColumnCount; ++c) {
            if (c == regtool::kSurname || c == regtool::kName || c == regtool::kSex || kTable[c].kind == Kind::Boolean) continue;
            EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return jet::is_null(r[c]); }))
                << "no Null in " << kTable[c].name;
        }
        std::size_t empty = 0, blacklisted = 0, notes_over_100 = 0, notes_over_5000 = 0, kopecks = 0, negative = 0;
        for (const Row& row : rows) {
            for (const jet::Value& v : row) empty += v == jet::Value{std::string()};
            blacklisted += row[regtool::kBlackList] == jet::Value{std::string("да")};
            if (const std::string* note = text_at(row, regtool::kNote)) {
                notes_over_100 += utf16_units(*note) > 100;
                notes_over_5000 += utf16_units(*note) > 5000;
            }
            if (const auto* sum = std::get_if<jet::Currency>(&row[regtool::kAmount])) {
                kopecks += sum->units % 10000 != 0;
                negative += sum->units < 0;
            }
        }
        EXPECT_GE(empty, 10u);
        EXPECT_GE(blacklisted, 3u);
        EXPECT_GE(notes_over_100, 3u);
        EXPECT_EQ(notes_over_5000, 1u);
        EXPECT_GE(kopecks, 10u);
        EXPECT_GE(negative, 1u);
    }
}

// ---- Photos ----

TEST(DemoPhotos, MatchTheRowsThatNameThem) {
    for (std::uint32_t seed : kSeeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::vector<Row> rows = regtool::demo_rows(seed);
        std::vector<DemoPhoto> photos = regtool::demo_photos(seed);
        std::set<std::size_t> rows_with_photo;
        std::set<std::string> folded_names;
        int missing = 0;
        for (const DemoPhoto& p : photos) {
            ASSERT_LT(p.row, rows.size());
            EXPECT_EQ(rows[p.row][regtool::kPhoto], jet::Value{p.stored_name});
            rows_with_photo.insert(p.row);
            // Windows ignores letter case in file names: two such names would be one file there.
            EXPECT_TRUE(folded_names.insert(lower_ascii(p.stored_name)).second) << p.stored_name;
            std::string on_disk = p.stored_name;
            std::replace(on_disk.begin(), on_disk.end(), '\\', '/');
            EXPECT_EQ(p.file_path_relative, on_disk);
            const std::string ext = lower_ascii(p.stored_name.substr(p.stored_name.rfind('.') + 1));
            EXPECT_EQ(ext == "jpg" ? "JPG" : ext == "png" ? "PNG" : ext == "bmp" ? "BMP" : "?", p.format) << p.stored_name;
            missing += !p.present;
        }
        EXPECT_EQ(missing, 1);
        EXPECT_EQ(rows_with_photo.size(), photos.size());
        // Every row that names a photo is in the list.
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::string* name = text_at(rows[r], regtool::kPhoto);
            if (name && !name->empty()) { EXPECT_TRUE(rows_with_photo.count(r)) << *name; }
        }
        EXPECT_GE(photos.size() * 100, rows.size() * 55);
        EXPECT_LE(photos.size() * 100, rows.size() * 80);
    }
}

TEST(DemoPhotos, CoverFormatsSizesAndFolders) {
    std::vector<DemoPhoto> photos = regtool::demo_photos(1);
    std::set<std::string> formats;
    bool small = false, large = false, near_edge = false, in_folder = false, beside = false, upper = false;
    for (const DemoPhoto& p : photos) {
        formats.insert(p.format);
        small |= p.width < 200 && p.height < 200;
        large |= p.width > 200 && p.height > 200;
        near_edge |= (p.width < 200) != (p.height < 200) && std::abs(p.width - 200) <= 1 && std::abs(p.height - 200) <= 1;
        in_folder |= p.present && p.stored_name.rfind("foto\\", 0) == 0;
        beside |= p.present && p.stored_name.find('\\') == std::string::npos;
        upper |= std::any_of(p.stored_name.begin(), p.stored_name.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); });
    }
    EXPECT_EQ(formats, (std::set<std::string>{"BMP", "JPG", "PNG"}));
    EXPECT_TRUE(small);
    EXPECT_TRUE(large);
    EXPECT_TRUE(near_edge);
    EXPECT_TRUE(in_folder);
    EXPECT_TRUE(beside);
    EXPECT_TRUE(upper);
}

// ---- Portraits ----

TEST(Portraits, ReadBackWithTheirSizeAndFormat) {
    TempDir dir;
    struct Case {
        const char* format;
        const char* reader_format;  // what Qt calls the format when it reads the file
    };
    for (Case c : {Case{"BMP", "bmp"}, Case{"JPG", "jpeg"}, Case{"PNG", "png"}}) {
        for (QSize size : {QSize(120, 160), QSize(199, 201), QSize(640, 480), QSize(1, 1)}) {
            const std::string name = std::to_string(size.width()) + "x" + std::to_string(size.height()) + "." + c.format;
            SCOPED_TRACE(name);
            const fs::path path = dir / name;
            regtool::write_portrait(path.string(), size.width(), size.height(), 42, c.format);
            QImageReader reader(QString::fromStdString(path.string()));
            EXPECT_EQ(reader.format(), QByteArray(c.reader_format));
            EXPECT_EQ(reader.size(), size);
            QImage img = reader.read();
            ASSERT_FALSE(img.isNull()) << reader.errorString().toStdString();
            if (size.width() < 100) continue;
            // A face, not a blank: many colours along the middle line.
            std::set<QRgb> colours;
            for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, img.height() * 3 / 5));
            EXPECT_GE(colours.size(), 8u);
        }
    }
}

TEST(Portraits, TheSeedDecidesTheFace) {
    TempDir dir;
    for (const char* name : {"a.png", "b.png"}) regtool::write_portrait((dir / name).string(), 200, 200, 7, "PNG");
    regtool::write_portrait((dir / "c.png").string(), 200, 200, 8, "PNG");
    EXPECT_EQ(read_file(dir / "a.png"), read_file(dir / "b.png"));
    EXPECT_NE(QImage(QString::fromStdString((dir / "a.png").string())),
              QImage(QString::fromStdString((dir / "c.png").string())));
}

TEST(Portraits, FailuresRaise) {
    TempDir dir;
    EXPECT_THROW(regtool::write_portrait((dir / "a.png").string(), 0, 10, 1, "PNG"), std::runtime_error);
    EXPECT_THROW(regtool::write_portrait((dir / "no folder" / "a.png").string(), 10, 10, 1, "PNG"), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir / "a.png"));
}

}  // namespace
