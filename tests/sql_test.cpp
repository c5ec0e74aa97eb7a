// The queries of the register browser: what the parser takes and refuses,
// which rows a condition takes (LIKE, comparisons, Null and three-valued
// logic), the errors and their numbers, and reading a result by position.
#include <gtest/gtest.h>

#ifdef REGISTER_WITH_QT
#include <QChar>
#endif

#include <functional>
#include <stdexcept>

#include "jet/database.h"
#include "jet/text.h"
#include "errors/numbers.h"
#include "sql/like.h"
#include "sql/sql.h"
#include "support.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;

const std::string kListQuery =
    "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист], ЗУРТ.[Дата "
    "рождения],ЗУРТ.[Категория учета],ЗУРТ.[Адрес места жительства] FROM ЗУРТ";

std::string search_query(const std::string& t1, const std::string& t2) {
    return "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%" + t1 +
           "%'and ЗУРТ.[Блейк лист] Like '%" + t2 + "%'";
}

// The number of the sql::Error f raises; 0 when it raises none.
int error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const sql::Error& e) {
        return e.number();
    }
    return 0;
}

sql::Error caught(const std::function<void()>& f) {
    try {
        f();
    } catch (const sql::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no sql::Error";
    return sql::Error(errors::QueryFault::Syntax, "", "");
}

bool valid_utf8(const std::string& s) {
    std::string back;
    for (char32_t c : jet::utf8_to_utf32(s)) jet::append_utf8(back, c);
    return back == s;
}

// ---------------------------------------------------------------- parsing

TEST(SqlParse, TheBrowsersListStatement) {
    sql::Statement s = sql::parse(kListQuery);
    EXPECT_FALSE(s.all_columns);
    EXPECT_FALSE(s.has_where);
    EXPECT_EQ(s.table, "ЗУРТ");
    std::vector<std::string> names;
    for (const sql::ColumnRef& c : s.columns) {
        EXPECT_EQ(c.table, "ЗУРТ");
        names.push_back(c.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"номер", "Фамилия", "Имя", "Отчество", "Блейк лист", "Дата рождения", "Категория учета",
                                               "Адрес места жительства"}));
    EXPECT_EQ(kListQuery.substr(s.columns[5].position, 8), "ЗУРТ");
}

TEST(SqlParse, TheBrowsersSearchStatement) {
    struct Case {
        std::string t1, t2, pattern1, pattern2;
    };
    for (const Case& c : std::vector<Case>{{"ан", "", "%ан%", "%%"},
                                           {"Анна Мария", " 12 ", "%Анна Мария%", "% 12 %"},
                                           {"О''Нил", "''", "%О'Нил%", "%'%"},
                                           {"", "", "%%", "%%"}}) {
        sql::Statement s = sql::parse(search_query(c.t1, c.t2));
        ASSERT_TRUE(s.has_where) << c.t1;
        EXPECT_EQ(s.columns.size(), 5u);
        EXPECT_EQ(s.columns[4].name, "Блейк лист");
        const sql::Condition& w = s.where;
        ASSERT_EQ(w.kind, sql::Condition::Kind::And);
        ASSERT_EQ(w.terms.size(), 2u);
        EXPECT_EQ(w.terms[0].kind, sql::Condition::Kind::Like);
        EXPECT_FALSE(w.terms[0].negated);
        EXPECT_EQ(w.terms[0].left.column.table, "");
        EXPECT_EQ(w.terms[0].left.column.name, "Имя");
        EXPECT_EQ(w.terms[0].pattern, c.pattern1);
        EXPECT_EQ(w.terms[1].left.column.table, "ЗУРТ");
        EXPECT_EQ(w.terms[1].left.column.name, "Блейк лист");
        EXPECT_EQ(w.terms[1].pattern, c.pattern2);
    }
}

TEST(SqlParse, KeywordsInAnyCaseAndAnySpacing) {
    sql::Statement s = sql::parse(
        "sElEcT [номер],Имя ,ЗУРТ.Фамилия,[ЗУРТ].[Отчество]\n\tfrom [ЗУРТ]WHERE(Имя like'а%'OR not Рост>=-170.5and Вес<>0)AND"
        "[Блейк лист]is not null ;");
    ASSERT_EQ(s.columns.size(), 4u);
    EXPECT_EQ(s.columns[0].name, "номер");
    EXPECT_EQ(s.columns[1].name, "Имя");
    EXPECT_EQ(s.columns[2].table, "ЗУРТ");
    EXPECT_EQ(s.columns[3].table, "ЗУРТ");
    EXPECT_EQ(s.table, "ЗУРТ");
    // AND binds tighter than OR, NOT tighter than AND.
    const sql::Condition& w = s.where;
    ASSERT_EQ(w.kind, sql::Condition::Kind::And);
    ASSERT_EQ(w.terms.size(), 2u);
    const sql::Condition& alt = w.terms[0];
    ASSERT_EQ(alt.kind, sql::Condition::Kind::Or);
    ASSERT_EQ(alt.terms.size(), 2u);
    EXPECT_EQ(alt.terms[0].kind, sql::Condition::Kind::Like);
    const sql::Condition& both = alt.terms[1];
    ASSERT_EQ(both.kind, sql::Condition::Kind::And);
    ASSERT_EQ(both.terms[0].kind, sql::Condition::Kind::Not);
    const sql::Condition& cmp = both.terms[0].terms[0];
    EXPECT_EQ(cmp.kind, sql::Condition::Kind::Compare);
    EXPECT_EQ(cmp.op, sql::CompareOp::GreaterEqual);
    EXPECT_EQ(cmp.right.kind, sql::Operand::Kind::Decimal);
    EXPECT_DOUBLE_EQ(cmp.right.decimal, -170.5);
    EXPECT_EQ(both.terms[1].op, sql::CompareOp::NotEqual);
    EXPECT_EQ(both.terms[1].right.kind, sql::Operand::Kind::Integer);
    EXPECT_EQ(w.terms[1].kind, sql::Condition::Kind::IsNull);
    EXPECT_TRUE(w.terms[1].negated);

    sql::Statement mixed = sql::parse("SELECT a FROM t WHERE a = 1 AND b = 2 OR NOT c = 3 AND d = 4 OR e = 5");
    ASSERT_EQ(mixed.where.kind, sql::Condition::Kind::Or);
    ASSERT_EQ(mixed.where.terms.size(), 3u);
    EXPECT_EQ(mixed.where.terms[0].kind, sql::Condition::Kind::And);
    EXPECT_EQ(mixed.where.terms[1].kind, sql::Condition::Kind::And);
    EXPECT_EQ(mixed.where.terms[1].terms[0].kind, sql::Condition::Kind::Not);
    EXPECT_EQ(mixed.where.terms[2].kind, sql::Condition::Kind::Compare);

    EXPECT_TRUE(sql::parse("select * from ЗУРТ").all_columns);
    sql::Statement star = sql::parse("SELECT ЗУРТ.* FROM ЗУРТ");
    EXPECT_TRUE(star.all_columns);
    EXPECT_EQ(star.all_columns_table, "ЗУРТ");
    EXPECT_EQ(sql::parse("SELECT поле_2, _x FROM т1").columns[0].name, "поле_2");
    EXPECT_EQ(sql::parse("SELECT [Like] FROM t").columns[0].name, "Like");
    sql::Statement big = sql::parse("SELECT a FROM t WHERE a = 99999999999999999999 OR a = 'x''y''''z'");
    EXPECT_EQ(big.where.terms[0].right.kind, sql::Operand::Kind::Decimal);
    EXPECT_EQ(big.where.terms[1].right.text, "x'y''z");
}

TEST(SqlParse, SyntaxErrorsAre3075AndPointAtTheirPlace) {
    struct Case {
        std::string text;
        std::string at;  // the text from the error's place on; empty: not checked
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"SELECT", "SELECT"},
        {"SELECT FROM ЗУРТ", "FROM ЗУРТ"},
        {"SELECT Имя ЗУРТ", "ЗУРТ"},
        {"SELECT Имя, FROM ЗУРТ", "FROM ЗУРТ"},
        {"SELECT *, Имя FROM ЗУРТ", ", Имя FROM ЗУРТ"},
        {"SELECT Имя FROM", "FROM"},
        {"SELECT Имя FROM ЗУРТ WHERE", "WHERE"},
        {"SELECT Имя FROM ЗУРТ extra", "extra"},
        {"SELECT Имя FROM ЗУРТ;;", ";"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = 'абв", "'абв"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = \"абв", "\"абв"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = 'абв''", "'абв''"},
        {"SELECT [Имя FROM ЗУРТ", "[Имя FROM ЗУРТ"},
        {"SELECT ЗУРТ.[Имя FROM ЗУРТ", "[Имя FROM ЗУРТ"},
        {"SELECT [] FROM ЗУРТ", "[] FROM ЗУРТ"},
        {"SELECT 2Имя FROM ЗУРТ", "2Имя FROM ЗУРТ"},
        {"SELECT Like FROM ЗУРТ", "Like FROM ЗУРТ"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя LIKE '[абв'", "'[абв'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя LIKE '%[я-а]%'", "'%[я-а]%'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя LIKE Фамилия", "Фамилия"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя LIKE 5", "5"},
        {"SELECT Имя FROM ЗУРТ WHERE (Имя = 'a'", "'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = = 'a'", "= 'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE NOT", "NOT"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя NOT = 'a'", "NOT = 'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя IS 'a'", "'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя # 'a'", "# 'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = 'a' AND", "AND"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя == 'a'", "= 'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя != 'a'", "!= 'a'"},
        {"SELECT Имя FROM ЗУРТ WHERE Имя = -'a'", "'a'"},
        {"SELECT ЗУРТ. FROM ЗУРТ", "FROM ЗУРТ"},
    };
    for (const Case& c : cases) {
        sql::Error e = caught([&] { sql::parse(c.text); });
        EXPECT_EQ(e.number(), errors::number::kSyntax) << c.text;
        std::string msg = e.what();
        EXPECT_EQ(msg.rfind("Синтаксическая ошибка в выражении запроса «", 0), 0u) << msg;
        if (!c.at.empty()) {
            ASSERT_LE(e.position(), c.text.size()) << c.text;
            EXPECT_EQ(c.text.substr(e.position()), c.at) << c.text;
            EXPECT_NE(msg.find("около «" + c.at + "»."), std::string::npos) << msg;
        }
    }
}

TEST(SqlParse, HostileTextIsRefusedSafely) {
    // Nesting deep enough to exhaust the stack of a naive parser.
    const std::size_t depth = 100000;
    std::string parens = "SELECT a FROM t WHERE " + std::string(depth, '(') + "a = 1" + std::string(depth, ')');
    EXPECT_EQ(error_of([&] { sql::parse(parens); }), errors::number::kSyntax);
    std::string nots = "SELECT a FROM t WHERE ";
    for (std::size_t i = 0; i < depth; ++i) nots += "NOT ";
    EXPECT_EQ(error_of([&] { sql::parse(nots + "a = 1"); }), errors::number::kSyntax);
    // Nesting within the limit is fine.
    EXPECT_NO_THROW(sql::parse("SELECT a FROM t WHERE " + std::string(100, '(') + "NOT a = 1" + std::string(100, ')')));

    // Bytes that are no UTF-8 and control characters: the message can still be shown.
    for (std::string text : {std::string("SELECT \xD0 FROM t"), std::string("SELECT a FROM t WHERE a = '\xFF\xFE\x01\n"),
                             std::string("SELECT a\x01 FROM t"), std::string("SELECT a FROM t WHERE a = 'x' \xE2\x82")}) {
        sql::Error e = caught([&] { sql::parse(text); });
        EXPECT_EQ(e.number(), errors::number::kSyntax);
        std::string msg = e.what();
        EXPECT_TRUE(valid_utf8(msg)) << msg;
        EXPECT_EQ(msg.find('\n'), std::string::npos);
        EXPECT_EQ(msg.find('\x01'), std::string::npos);
    }
    // A long statement is quoted shortened.
    std::string longer = "SELECT a FROM t WHERE a = '" + std::string(5000, 'x');
    EXPECT_LT(std::string(caught([&] { sql::parse(longer); }).what()).size(), 1000u);
}

// ---------------------------------------------------------------- LIKE

TEST(SqlLike, JetPatterns) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        // "%" any run, none included; the whole text must match.
        {"%", "", true}, {"%%", "", true}, {"%%", "что угодно", true}, {"", "", true}, {"", "а", false},
        {"ан", "Анна", false}, {"%ан", "Анна", false}, {"ан%", "Анна", true}, {"%ан%", "Степан", true},
        {"%a%b%", "xaxbx", true}, {"%a%b%", "xbxa", false}, {"a%a", "a", false}, {"a%a", "aa", true},
        {"%aa%a", "aaa", true}, {"%ab%ab", "abab", true}, {"%ab%ab", "abxab", true}, {"%ab%ab", "aba", false},
        // "_" exactly one character, whatever its length in bytes.
        {"_", "я", true}, {"_", "", false}, {"__", "я", false}, {"_%_", "я", false}, {"_%_", "яя", true},
        {"Ив_н", "Иван", true}, {"Ив_н", "Ивн", false},
        // Letter case, Cyrillic included; Ё goes with ё only.
        {"%АН%", "иван", true}, {"анна", "АННА", true}, {"ёлкина", "ЁЛКИНА", true}, {"Ё%", "ёлка", true},
        {"е%", "Ёлкина", false}, {"Ё%", "Елкина", false}, {"smith", "SMITH", true}, {"%ä%", "Ännchen", true},
        {"ґанок", "ҐАНОК", true}, {"%ї%", "КИЇВ", true}, {"%ў%", "ЎЗ", true}, {"ς", "Σ", true}, {"ǆ", "ǅ", true},
        // Classes, ranges, negation.
        {"[абв]%", "Борис", true}, {"[абв]%", "Глеб", false}, {"[!абв]%", "Борис", false}, {"[!абв]%", "Глеб", true},
        {"[а-г]леб", "Глеб", true}, {"[д-я]леб", "Глеб", false}, {"[!д-я]леб", "Глеб", true}, {"[a-z]", "Q", true},
        {"[A-Z]", "q", true}, {"БЛ-[0-9][0-9][0-9][0-9]", "бл-5072", true}, {"%[0-9]", "БЛ-507x", false},
        {"[a-cx-z]", "y", true}, {"[a-cx-z]", "m", false}, {"[-a]", "-", true}, {"[a-]", "-", true}, {"[a!]", "!", true},
        // Characters that stand for themselves inside a class, and "]" outside one.
        {"[%]%", "%abc", true}, {"[%]%", "abc", false}, {"[_]", "_", true}, {"[_]", "a", false}, {"[[]", "[", true},
        {"a]b", "a]b", true}, {"[]a", "a", true},
        // No "*", "?" or "#" wildcards: they are ordinary characters.
        {"*", "x", false}, {"*", "*", true}, {"?", "x", false}, {"#", "5", false},
        // Spaces and apostrophes are ordinary characters.
        {"%Анна Мария%", "Анна Мария", true}, {"%Анна Мария%", "Анна-Мария", false}, {"О'Нил", "о'нил", true},
    };
    std::u32string scratch;
    for (const Case& c : cases) {
        std::optional<sql::LikePattern> p = sql::LikePattern::compile(c.pattern);
        ASSERT_TRUE(p) << c.pattern;
        EXPECT_EQ(p->matches(c.text, scratch), c.match) << "'" << c.text << "' LIKE '" << c.pattern << "'";
    }
    for (const char* bad : {"[абв", "%[", "a[b", "[я-а]", "x[z-a]%"}) {
        std::size_t at = 0;
        EXPECT_FALSE(sql::LikePattern::compile(bad, &at)) << bad;
        EXPECT_EQ(bad[at], '[') << bad;
    }
}

// ---------------------------------------------------------------- queries on a register

// A register with rows made for the cases below; column ordinals as in reg::register_table_spec().
class SqlRegister : public ::testing::Test {
protected:
    enum : std::size_t {
        kNumber = 0, kSurname = 1, kName = 2, kPatronymic = 3, kBlake = 4, kBirth = 5, kHeight = 9, kWeight = 10,
        kConvicted = 11, kNote = 12, kSum = 21, kPhoto = 24
    };

    void SetUp() override {
        const auto date = [](int y, int m, int d) { return jet::Value(jet::from_civil({y, m, d, 0, 0, 0, 0})); };
        path_ = write_register(dir_ / "reg.mdb",
                               {// 1: everything filled
                                register_row({{kSurname, "Иванов"}, {kName, "Иван"}, {kBlake, "БЛ-1"}, {kBirth, date(1980, 5, 3)},
                                              {kHeight, 180}, {kWeight, 80.5}, {kConvicted, true}, {kNote, "первая запись"},
                                              {kSum, jet::Currency{1000}}}),
                                // 2: no Блейк лист
                                register_row({{kSurname, "ИВАНОВА"}, {kName, "Анна"}, {kPatronymic, ""}, {kBirth, date(1990, 1, 1)},
                                              {kHeight, 165}, {kWeight, 55.0}, {kSum, jet::Currency{10000}}}),
                                // 3: Ё, and an empty Блейк лист
                                register_row({{kSurname, "Ёлкин"}, {kName, "Пётр"}, {kBlake, ""}, {kNote, "вторая"}, {kHeight, 170}}),
                                // 4: Е, no name, a numeric Блейк лист
                                register_row({{kSurname, "Елкин"}, {kBlake, "5"}, {kBirth, date(1975, 12, 31)}}),
                                // 5: an apostrophe
                                register_row({{kSurname, "О'Нил"}, {kName, "Шон"}, {kBlake, "12"}, {kConvicted, true}}),
                                // 6: all Null (Судимость No)
                                register_row({}),
                                // 7: the same name in both columns
                                register_row({{kSurname, "Роман"}, {kName, "роман"}}),
                                // 8: a name with spaces
                                register_row({{kSurname, "Мария"}, {kName, "Анна Мария"}, {kBlake, "7"}})})
                    .string();
    }

    // The номер of the rows the condition takes, in storage order.
    std::vector<std::int64_t> numbers(const std::string& where) {
        jet::Database db(path_);
        sql::Result r = sql::Result::run(db, sql::parse("SELECT номер FROM ЗУРТ WHERE " + where));
        std::vector<std::int64_t> out;
        for (const Row& row : r.rows(0, r.row_count())) out.push_back(std::get<std::int64_t>(row.at(0)));
        return out;
    }
    int error_number(const std::string& statement) {
        jet::Database db(path_);
        return error_of([&] { sql::Result::run(db, sql::parse(statement)); });
    }

    TempDir dir_;
    std::string path_;
};

using N = std::vector<std::int64_t>;

TEST_F(SqlRegister, LikeOnRows) {
    EXPECT_EQ(numbers("Имя LIKE '%ан%'"), (N{1, 2, 7, 8}));
    EXPECT_EQ(numbers("Фамилия LIKE 'иванов'"), (N{1}));
    EXPECT_EQ(numbers("Фамилия LIKE 'ё%'"), (N{3}));
    EXPECT_EQ(numbers("Фамилия LIKE 'Е%'"), (N{4}));
    EXPECT_EQ(numbers("Фамилия LIKE 'О''Нил'"), (N{5}));
    EXPECT_EQ(numbers("Фамилия LIKE \"%'%\""), (N{5}));
    EXPECT_EQ(numbers("Имя LIKE '% %'"), (N{8}));
    // Null never matches; the empty string matches "%%".
    EXPECT_EQ(numbers("[Блейк лист] LIKE '%%'"), (N{1, 3, 4, 5, 8}));
    EXPECT_EQ(numbers("[Блейк лист] NOT LIKE '%%'"), N{});
    EXPECT_EQ(numbers("[Блейк лист] NOT LIKE '_%'"), (N{3}));
    EXPECT_EQ(numbers("Примечание LIKE '%запись'"), (N{1}));
    // Values that are not text match their text form.
    EXPECT_EQ(numbers("Рост LIKE '1_0'"), (N{1, 3}));
    EXPECT_EQ(numbers("Вес LIKE '80.5'"), (N{1}));
    EXPECT_EQ(numbers("Сумма LIKE '0.1'"), (N{1}));
    EXPECT_EQ(numbers("[Дата рождения] LIKE '%.1980'"), (N{1}));
    EXPECT_EQ(numbers("Судимость LIKE '-1'"), (N{1, 5}));
}

TEST_F(SqlRegister, ThreeValuedLogic) {
    // Имя is Null in rows 4 and 6: the condition is unknown there, and so is its negation.
    EXPECT_EQ(numbers("NOT Имя LIKE '%ан%'"), (N{3, 5}));
    EXPECT_EQ(numbers("NOT (Имя LIKE '%ан%')"), (N{3, 5}));
    EXPECT_EQ(numbers("Имя NOT LIKE '%ан%'"), (N{3, 5}));
    // false AND unknown is false; true AND unknown unknown.
    EXPECT_EQ(numbers("NOT ([Блейк лист] LIKE 'Б%' AND Имя = 'Анна')"), (N{1, 3, 4, 5, 7, 8}));
    // true OR unknown is true; false OR unknown unknown.
    EXPECT_EQ(numbers("Имя = 'Анна' OR [Блейк лист] = '5'"), (N{2, 4}));
    EXPECT_EQ(numbers("NOT (Имя = 'Анна' OR [Блейк лист] = '5')"), (N{1, 3, 5, 8}));
    // AND before OR: row 4 has no name but is an Елкин.
    EXPECT_EQ(numbers("Имя = 'Иван' AND Рост = 0 OR Фамилия = 'Елкин'"), (N{4}));
    EXPECT_EQ(numbers("Имя = 'Иван' AND (Рост = 0 OR Фамилия = 'Елкин')"), N{});
    EXPECT_EQ(numbers("Отчество IS NULL"), (N{1, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(numbers("Отчество IS NOT NULL"), (N{2}));
    EXPECT_EQ(numbers("Отчество = ''"), (N{2}));
    EXPECT_EQ(numbers("Имя = NULL OR NOT Имя <> NULL"), N{});
    EXPECT_EQ(numbers("NULL IS NULL AND 1 = 1"), (N{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(numbers("1 = 0"), N{});
}

TEST_F(SqlRegister, Comparisons) {
    // Text: letter case ignored, Ё and Е apart.
    EXPECT_EQ(numbers("Фамилия = 'иванов'"), (N{1}));
    EXPECT_EQ(numbers("Фамилия = 'елкин'"), (N{4}));
    EXPECT_EQ(numbers("Фамилия <> 'ИВАНОВ'"), (N{2, 3, 4, 5, 7, 8}));
    EXPECT_EQ(numbers("Фамилия >= 'и' AND Фамилия < 'К'"), (N{1, 2}));
    EXPECT_EQ(numbers("Имя = Фамилия"), (N{7}));
    // Numbers by value, whatever the literal's form.
    EXPECT_EQ(numbers("Рост > 170"), (N{1}));
    EXPECT_EQ(numbers("Рост >= 170.0"), (N{1, 3}));
    EXPECT_EQ(numbers("Рост < 170.5 AND Рост > -1"), (N{2, 3}));
    EXPECT_EQ(numbers("Вес = 80.5"), (N{1}));
    EXPECT_EQ(numbers("Сумма = 0.1"), (N{1}));
    EXPECT_EQ(numbers("Сумма = 1"), (N{2}));
    EXPECT_EQ(numbers("Сумма > Рост"), N{});
    // Text against numbers: read as a number.
    EXPECT_EQ(numbers("Рост = '170'"), (N{3}));
    EXPECT_EQ(numbers("Рост = ' 1.7e2 '"), (N{3}));
    // Dates.
    EXPECT_EQ(numbers("[Дата рождения] < '1985-01-01'"), (N{1, 4}));
    EXPECT_EQ(numbers("[Дата рождения] = '03.05.1980'"), (N{1}));
    EXPECT_EQ(numbers("[Дата рождения] > '31.12.1975 12:00'"), (N{1, 2}));
    // Yes/No: True is -1.
    EXPECT_EQ(numbers("Судимость"), (N{1, 5}));
    EXPECT_EQ(numbers("NOT Судимость"), (N{2, 3, 4, 6, 7, 8}));
    EXPECT_EQ(numbers("Судимость = TRUE"), (N{1, 5}));
    EXPECT_EQ(numbers("Судимость = -1 AND Судимость <> FALSE"), (N{1, 5}));
}

TEST_F(SqlRegister, ErrorsNameTheirCause) {
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ2"), errors::number::kNoSuchTable);
    EXPECT_EQ(error_number("SELECT * FROM [ЗУРТ 2] WHERE Имя LIKE '%'"), errors::number::kNoSuchTable);
    EXPECT_EQ(error_number("SELECT Фамилея FROM ЗУРТ"), errors::number::kItemNotFound);
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE Фамилея LIKE '%'"), errors::number::kItemNotFound);
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE Имя = Фамилея"), errors::number::kItemNotFound);
    EXPECT_EQ(error_number("SELECT Архив.[Имя] FROM ЗУРТ"), errors::number::kItemNotFound);
    EXPECT_EQ(error_number("SELECT Архив.* FROM ЗУРТ"), errors::number::kItemNotFound);
    // Names compare as Jet compares them.
    EXPECT_EQ(error_number("SELECT зурт.[ИМЯ], [зУрТ].номер FROM [Зурт] WHERE ЗУРТ.имя IS NULL"), 0);
    // Text that reads as no number, compared with a number.
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE [Блейк лист] = 5"), errors::number::kTypeMismatch);
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE Рост = 'высокий'"), errors::number::kTypeMismatch);
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE [Дата рождения] = 'вчера'"), errors::number::kTypeMismatch);
    EXPECT_EQ(error_number("SELECT номер FROM ЗУРТ WHERE Фамилия"), errors::number::kTypeMismatch);

    jet::Database db(path_);
    sql::Error missing = caught([&] { sql::Result::run(db, sql::parse("SELECT номер FROM ЗУРТ2")); });
    EXPECT_STREQ(missing.what(), "Не удается найти таблицу «ЗУРТ2».");
    std::string text = "SELECT номер, Фамилея FROM ЗУРТ";
    sql::Error field = caught([&] { sql::Result::run(db, sql::parse(text)); });
    EXPECT_STREQ(field.what(), "Неизвестное поле «Фамилея».");
    EXPECT_EQ(text.substr(field.position()), "Фамилея FROM ЗУРТ");
}

TEST_F(SqlRegister, ColumnsAndRowsOfAResult) {
    jet::Database db(path_);
    sql::Result r = sql::Result::run(db, sql::parse("SELECT [Имя], зурт.ФАМИЛИЯ, Рост, Имя FROM ЗУРТ WHERE Рост IS NOT NULL"));
    EXPECT_EQ(r.column_names(), (std::vector<std::string>{"Имя", "Фамилия", "Рост", "Имя"}));
    EXPECT_EQ(r.column_types(),
              (std::vector<jet::ColumnType>{jet::ColumnType::Text, jet::ColumnType::Text, jet::ColumnType::Integer, jet::ColumnType::Text}));
    ASSERT_EQ(r.row_count(), 3u);
    EXPECT_EQ(r.row(0), (Row{std::string("Иван"), std::string("Иванов"), std::int64_t{180}, std::string("Иван")}));
    EXPECT_EQ(r.row(2), (Row{std::string("Пётр"), std::string("Ёлкин"), std::int64_t{170}, std::string("Пётр")}));
    EXPECT_EQ(r.rows(1, 100), (std::vector<Row>{r.row(1), r.row(2)}));
    EXPECT_TRUE(r.rows(3, 10).empty());
    EXPECT_THROW(r.rows(4, 1), std::out_of_range);
    EXPECT_THROW(r.row(3), std::out_of_range);

    sql::Result all = sql::Result::run(db, sql::parse("SELECT * FROM ЗУРТ"));
    EXPECT_EQ(all.column_names().size(), 26u);
    EXPECT_EQ(all.column_names()[4], "Блейк лист");
    EXPECT_EQ(all.row_count(), 8u);

    // A row deleted after the run keeps its place and reads as Null.
    sql::Result before = sql::Result::run(db, sql::parse("SELECT Фамилия, Судимость FROM ЗУРТ"));
    std::vector<jet::RowId> ids = db.table("ЗУРТ").row_ids();
    change_table(path_, [&](jet::TableWriter& t) { t.remove(ids[1]); });
    EXPECT_EQ(before.row_count(), 8u);
    EXPECT_EQ(before.row(1), (Row{jet::Null{}, jet::Null{}}));
    EXPECT_EQ(before.row(2), (Row{std::string("Ёлкин"), false}));
    EXPECT_EQ(sql::Result::run(db, sql::parse("SELECT Фамилия FROM ЗУРТ")).row_count(), 7u);

    // Values kept by the scan (for a listing that reads each row once) are
    // the rows as found, each handed out once; then the file is read again.
    const std::string tall = "SELECT Имя, номер, Имя, Рост FROM ЗУРТ WHERE Рост IS NOT NULL";
    sql::Result plain = sql::Result::run(db, sql::parse(tall));
    sql::Result kept = sql::Result::run(db, sql::parse(tall), 1);
    ASSERT_EQ(kept.row_count(), plain.row_count());
    ASSERT_GE(plain.row_count(), 2u);
    const std::vector<Row> as_found = plain.rows(0, plain.row_count());
    std::optional<jet::RowId> first;
    db.table("ЗУРТ").scan([&](jet::RowId id, const Row& row) {
        if (jet::is_null(row[9])) return true;
        first = id;
        return false;
    });
    ASSERT_TRUE(first);
    change_table(path_, [&](jet::TableWriter& t) { t.remove(*first); });
    EXPECT_EQ(kept.row(0), as_found[0]) << "kept as found";
    EXPECT_EQ(kept.row(0), (Row{jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}})) << "then read again";
    EXPECT_EQ(kept.rows(1, 100), std::vector<Row>(as_found.begin() + 1, as_found.end()));
}

TEST_F(SqlRegister, AResultOutlivesItsDatabaseObject) {
    std::optional<sql::Result> r;
    {
        jet::Database db(path_);
        r = sql::Result::run(db, sql::parse("SELECT Имя FROM ЗУРТ WHERE Имя LIKE 'Анна%'"));
    }
    ASSERT_EQ(r->row_count(), 2u);
    EXPECT_EQ(r->row(1), (Row{std::string("Анна Мария")}));
}

// ---------------------------------------------------------------- the shared register files

// The browser's search worked out the plain way: fold both texts, look for one in the other.
bool contains_folded(const jet::Value& v, const std::string& part) {
    const auto* s = std::get_if<std::string>(&v);
    if (!s) return false;
    std::u32string text = jet::fold_case(jet::utf8_to_utf32(*s));
    return text.find(jet::fold_case(jet::utf8_to_utf32(part))) != std::u32string::npos;
}

Row first_columns(const Row& row, std::size_t n) { return Row(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(n)); }

#ifdef REGISTER_WITH_QT
// Letter case is set aside as Unicode folds it, checked against Qt's own
// Unicode tables for every code point of the Basic Multilingual Plane they know:
// a letter's pattern takes its other case, and the other way round.
TEST(SqlLike, EveryCasedLetterMatchesItsOtherCases) {
    std::size_t cased = 0;
    std::u32string scratch;
    for (char32_t c = 1; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || QChar::unicodeVersion(c) == QChar::Unicode_Unassigned) continue;
        const char32_t folded = QChar::toCaseFolded(c);
        ASSERT_EQ(jet::fold_case(c), folded) << "U+" << std::hex << static_cast<std::uint32_t>(c);
        if (folded == c) continue;
        ++cased;
        std::string letter, other;
        jet::append_utf8(letter, c);
        jet::append_utf8(other, folded);
        ASSERT_TRUE(sql::LikePattern::compile(letter)->matches(other, scratch)) << letter;
        ASSERT_TRUE(sql::LikePattern::compile(other)->matches(letter, scratch)) << letter;
        ASSERT_TRUE(jet::same_name(letter, other)) << letter;
    }
    EXPECT_GT(cased, 1000u);
}
#endif

TEST(SqlFixtures, BrowserStatementsAgreeWithAPlainFilter) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    fs::path path = fixtures_dir() / "register" / "reg_small.mdb";
    if (!fs::exists(path)) REGISTER_SKIP() << "reg_small.mdb is absent";
    jet::Database db(path.string());
    const std::vector<Row> all = register_rows(path);
    ASSERT_FALSE(all.empty());

    sql::Result list = sql::Result::run(db, sql::parse(kListQuery));
    ASSERT_EQ(list.row_count(), all.size());
    std::vector<Row> listed = list.rows(0, list.row_count());
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(listed[i], first_columns(all[i], 8)) << i;

    std::size_t nonempty = 0;
    for (std::string t1 : {"", "ан", "АН", "ё", "е", "'", "Анна-Мария", "z", "а м"}) {
        for (std::string t2 : {"", "БЛ", "0", "-"}) {
            std::string quoted1;
            for (char c : t1) quoted1 += c == '\'' ? std::string("''") : std::string(1, c);
            sql::Result r = sql::Result::run(db, sql::parse(search_query(quoted1, t2)));
            std::vector<Row> expected;
            for (const Row& row : all) {
                if (contains_folded(row[2], t1) && contains_folded(row[4], t2)) expected.push_back(first_columns(row, 5));
            }
            EXPECT_EQ(r.rows(0, r.row_count()), expected) << t1 << " / " << t2;
            nonempty += expected.empty() ? 0 : 1;
        }
    }
    EXPECT_GT(nonempty, 10u);  // the cases do take rows
}

// ---------------------------------------------------------------- a larger register

TEST(SqlLarge, CountsAndSlicesAgreeWithTheFullScan) {
    TempDir dir;
    const fs::path path = write_register(dir / "big.mdb", 20000, [](int i) {
        const char* const names[] = {"Анна", "Иван", "Степан", "Ёлка", "ОЛЕГ", "Мария Анна"};
        Row row(26);
        std::string n = std::to_string(100000 + i);  // in index order, so the index grows at its end
        row[1] = "Фамилия" + n.substr(1);
        if (i % 7 != 0) row[2] = std::string(names[i % 6]);
        if (i % 5 != 0) row[4] = std::to_string(i % 100);
        row[9] = std::int64_t{140 + i % 60};
        row[11] = i % 3 == 0;
        return row;
    });
    // Holes: deleted rows are neither counted nor read.
    change_table(path, [ids = jet::Database(path.string()).table("ЗУРТ").row_ids()](jet::TableWriter& t) {
        for (std::size_t i = 0; i < ids.size(); i += 11) t.remove(ids[i]);
    });
    const std::vector<Row> all = register_rows(path);
    jet::Database db(path.string());

    sql::Result every = sql::Result::run(db, sql::parse(kListQuery));
    ASSERT_EQ(every.row_count(), all.size());
    // The rows past the first ones listed come as soon as they are asked for,
    // and the whole list agrees with the count given at once.
    const std::vector<Row> last = every.rows(all.size() - 3, 3);
    ASSERT_EQ(last.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(last[k], first_columns(all[all.size() - 3 + k], 8));
    EXPECT_FALSE(every.settle(true));
    EXPECT_FALSE(every.listing());
    EXPECT_EQ(every.row_count(), all.size());

    sql::Result found = sql::Result::run(db, sql::parse(search_query("ан", "1")));
    std::vector<Row> expected;
    for (const Row& row : all) {
        if (contains_folded(row[2], "ан") && contains_folded(row[4], "1")) expected.push_back(first_columns(row, 5));
    }
    ASSERT_EQ(found.row_count(), expected.size());
    ASSERT_GT(expected.size(), 1000u);

    // The first rows' values kept by the scan, the rest read: the same rows.
    sql::Result kept = sql::Result::run(db, sql::parse(search_query("ан", "1")), 700);
    EXPECT_EQ(kept.rows(0, kept.row_count()), expected);
    EXPECT_EQ(kept.rows(0, 50), std::vector<Row>(expected.begin(), expected.begin() + 50));

    sql::Result tall = sql::Result::run(db, sql::parse("SELECT номер, Рост FROM ЗУРТ WHERE Рост >= 190 OR Судимость"));
    std::vector<Row> tall_expected;
    for (const Row& row : all) {
        if (std::get<std::int64_t>(row[9]) >= 190 || std::get<bool>(row[11])) tall_expected.push_back({row[0], row[9]});
    }
    EXPECT_EQ(tall.rows(0, tall.row_count()), tall_expected);

    // Screens of the grid: the start, across pages, the end, past the end.
    for (std::size_t first : {std::size_t{0}, std::size_t{37}, expected.size() / 2, expected.size() - 40, expected.size()}) {
        std::vector<Row> screen = found.rows(first, 60);
        std::size_t n = std::min<std::size_t>(60, expected.size() - first);
        ASSERT_EQ(screen.size(), n) << first;
        for (std::size_t k = 0; k < n; ++k) EXPECT_EQ(screen[k], expected[first + k]) << first + k;
        if (n > 0) {
            EXPECT_EQ(found.row(first), expected[first]);
        }
    }
    std::size_t mid = all.size() / 2;
    std::vector<Row> listed = every.rows(mid, 25);
    for (std::size_t k = 0; k < listed.size(); ++k) EXPECT_EQ(listed[k], first_columns(all[mid + k], 8));
    EXPECT_EQ(every.rows(every.row_count() - 3, std::size_t(-1)).size(), 3u);
}

}  // namespace
