// regtool's command line: exit codes, one-line errors, and the export formats.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "errors/language.h"
#include "format.h"
#include "mdb_export_compare.h"
#include "support.h"

namespace {

using namespace testing_support;

TEST(Regtool, CommandLineMistakesExitTwoWithUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"tables"}, {"export", "a.mdb", "T"}, {"export", "a.mdb", "T", "--xml"}}) {
        RunResult r = run_regtool(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("usage: regtool"), std::string::npos);
    }
    RunResult help = run_regtool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("export DB TABLE --jsonl"), std::string::npos);
}

TEST(Regtool, EveryCommandHasItsHelpPage) {
    const std::vector<std::string> commands{"tables", "schema", "export", "check", "query", "create",
                                            "create-register", "insert", "delete", "move", "demo"};
    RunResult overview = run_regtool({"--help"});
    for (const std::string& c : commands) {
        EXPECT_NE(overview.out.find("\n  " + c + " "), std::string::npos) << c;
        RunResult page = run_regtool({"help", c});
        EXPECT_EQ(page.status, 0) << c;
        EXPECT_EQ(page.out.rfind("usage: regtool " + c + " ", 0), 0u) << page.out;
        EXPECT_GT(std::count(page.out.begin(), page.out.end(), '\n'), 3) << c;
        // Asked for among other arguments, the page is printed and nothing runs.
        RunResult asked = run_regtool({c, "no-such.mdb", "--help"});
        EXPECT_EQ(asked.status, 0) << c;
        EXPECT_EQ(asked.out, page.out);
        EXPECT_TRUE(asked.err.empty()) << asked.err;
    }
    RunResult wrong = run_regtool({"move", "only-one.mdb"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("usage: regtool move SRC DST [--group N]"), std::string::npos) << wrong.err;
    EXPECT_EQ(run_regtool({"help", "frobnicate"}).status, 2);
    RunResult version = run_regtool({"--version"});
    EXPECT_EQ(version.out.rfind("regtool ", 0), 0u);
}

// Scripts take regtool's standard output as data: commands that only write
// say nothing (insert is looked at with the export below).
TEST(Regtool, WritingCommandsPrintNothing) {
    TempDir dir;
    const std::string a = (dir / "a.mdb").string();
    const std::string b = (dir / "b.mdb").string();
#ifdef _WIN32
    // No demo there (it draws its photos with Qt): a register of the tests' own instead.
    fs::create_directory(dir / "demo");
    make_register(dir / "demo", 10, "demo.mdb");
    std::vector<std::vector<std::string>> runs{{"create-register", a}, {"create-register", b},
                                               {"move", (dir / "demo" / "demo.mdb").string(), a}, {"delete", a, "ЗУРТ", "1"}};
#else
    std::vector<std::vector<std::string>> runs{{"create-register", a}, {"create-register", b}, {"demo", (dir / "demo").string()},
                                               {"move", (dir / "demo" / "demo.mdb").string(), a}, {"delete", a, "ЗУРТ", "1"}};
#endif
    for (const auto& args : runs) {
        RunResult r = run_regtool(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << args[0] << ": " << r.out;
        EXPECT_TRUE(r.err.empty()) << args[0] << ": " << r.err;
    }
}

TEST(Regtool, FailuresAreOneLineOnStderr) {
    TempDir dir;
    write_file(dir / "junk.mdb", std::string(10000, 'x'));
    for (const auto& args : std::vector<std::vector<std::string>>{{"tables", (dir / "nothing here.mdb").string()},
                                                                  {"export", (dir / "junk.mdb").string(), "ЗУРТ", "--csv"},
                                                                  {"schema", dir.path().string(), "ЗУРТ"}}) {
        RunResult r = run_regtool(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("regtool: ", 0), 0u) << r.err;
    }
}

TEST(Regtool, MissingTableIsNamed) {
    fs::path db = fixtures_dir() / "register" / "other.mdb";
    if (!fs::exists(db)) REGISTER_SKIP() << "the shared test files are absent";
    RunResult r = run_regtool({"export", db.string(), "ЗУРТ", "--jsonl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no table named ЗУРТ"), std::string::npos) << r.err;
    // Names compare without letter case, as in Access.
    RunResult folded = run_regtool({"export", db.string(), "зурт_АРХИВ", "--jsonl"});
    EXPECT_EQ(folded.status, 0) << folded.err;
}

TEST(Regtool, InsertedRowsExportAsTheyCameAndDeleteTakesNumbers) {
    fs::path src = fixtures_dir() / "register" / "reg_small.mdb";
    if (!fs::exists(src)) REGISTER_SKIP() << "the shared test files are absent";
    TempDir dir;
    std::string db = (dir / "new.mdb").string();
    ASSERT_EQ(run_regtool({"create-register", db}).status, 0);
    RunResult original = run_regtool({"export", src.string(), "ЗУРТ", "--jsonl"});
    ASSERT_EQ(original.status, 0);
    write_file(dir / "rows.jsonl", original.out);
    RunResult ins = run_regtool({"insert", db, "ЗУРТ"}, {}, dir / "rows.jsonl");
    ASSERT_EQ(ins.status, 0) << ins.err;
    EXPECT_TRUE(ins.out.empty());
    EXPECT_EQ(run_regtool({"export", db, "ЗУРТ", "--jsonl"}).out, original.out);
    RunResult del = run_regtool({"delete", db, "ЗУРТ", "3", "7", "99"});
    EXPECT_EQ(del.status, 1);
    EXPECT_NE(del.err.find("99"), std::string::npos) << del.err;
    RunResult check = run_regtool({"check", db});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(check.out, "OK\n");
    EXPECT_EQ(lines(run_regtool({"export", db, "ЗУРТ", "--jsonl"}).out).size(), 23u);
    // A line the table refuses names its line; the rows before it stay.
    write_file(dir / "bad.jsonl", "{\"Фамилия\": \"Первый\"}\n{\"Рост\": \"высокий\"}\n");
    RunResult bad = run_regtool({"insert", db, "ЗУРТ"}, {}, dir / "bad.jsonl");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    EXPECT_EQ(lines(run_regtool({"export", db, "ЗУРТ", "--jsonl"}).out).size(), 24u);
#ifndef _WIN32
    // A bad line ends the run at once, while whatever writes the rows has not
    // finished (the lines are read on a thread of their own): the writer here
    // never closes its end; timeout only guards against a hang (status 124).
    RunResult early = run({"/bin/sh", "-c",
                           "mkfifo \"$2/rows\" || exit 9; { printf '{\"Фамилия\": \"Второй\"}\\n{\"Рост\": 1,}\\n'; exec sleep 1000; } > \"$2/rows\" & "
                           "writer=$!; timeout 60 \"$0\" insert \"$1\" ЗУРТ < \"$2/rows\"; status=$?; kill $writer; exit $status",
                           REGTOOL_PATH, db, dir.path().string()});
    EXPECT_EQ(early.status, 1) << early.err;
    EXPECT_NE(early.err.find("line 2"), std::string::npos) << early.err;
    EXPECT_EQ(lines(run_regtool({"export", db, "ЗУРТ", "--jsonl"}).out).size(), 25u) << "the row before the bad line is kept";
#endif
}

TEST(Regtool, QueryPrintsRowsAsExportDoes) {
    TempDir dir;
    std::string db = (dir / "q.mdb").string();
    ASSERT_EQ(run_regtool({"create-register", db}).status, 0);
    write_file(dir / "rows.jsonl",
               "{\"Фамилия\": \"Иванов\", \"Имя\": \"Иван\", \"Рост\": 180}\n{\"Фамилия\": \"Петрова\", \"Судимость\": true}\n{}\n");
    RunResult ins = run_regtool({"insert", db, "ЗУРТ"}, {}, dir / "rows.jsonl");
    ASSERT_EQ(ins.status, 0) << ins.err;
    RunResult all = run_regtool({"query", db, "SELECT * FROM ЗУРТ"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, run_regtool({"export", db, "ЗУРТ", "--jsonl"}).out);
    EXPECT_EQ(lines(all.out).size(), 3u);
    RunResult some = run_regtool({"query", db, "SELECT Имя, Рост FROM ЗУРТ WHERE Фамилия LIKE 'ИВ%'"});
    EXPECT_EQ(some.out, "{\"Имя\":\"Иван\",\"Рост\":180}\n");
    RunResult bad = run_regtool({"query", db, "SELECT * FROM ЗУРТ2"}, {"LANG=ru_RU.UTF-8"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_EQ(bad.err, "regtool: ошибка 3078: Не удается найти таблицу «ЗУРТ2».\n");
}

// An error is said in one language, Russian where the locale settings name
// it (installed or not), with the same number and the file named either way.
TEST(Regtool, ErrorsInTheLanguageOfTheLocaleSettings) {
    TempDir dir;
    const std::string a = (dir / "a.mdb").string();
    ASSERT_EQ(run_regtool({"create-register", a}).status, 0);
    const std::vector<std::string> same_file{"move", a, a};
    RunResult english = run_regtool(same_file, {"LANGUAGE=en_GB:ru", "LANG=ru_RU.UTF-8"});
    EXPECT_EQ(english.status, 1);
    EXPECT_EQ(english.err, "regtool: error 3045: The source and the destination are one file, «" + a + "». Choose two different databases.\n");
    RunResult russian = run_regtool(same_file, {"LC_MESSAGES=ru_UA.KOI8-U", "LANG=en_US.UTF-8"});
    EXPECT_EQ(russian.err, "regtool: ошибка 3045: База-источник и база-приемник — один и тот же файл «" + a + "». Выберите две разные базы.\n");
    const std::string nowhere = (dir / "nowhere.mdb").string();
    RunResult missing = run_regtool({"tables", nowhere}, {"LC_ALL=ru"});
    EXPECT_EQ(missing.err, "regtool: ошибка 3024: Не удается найти файл «" + nowhere + "».\n");
    // A line of insert's input that is no row, with its line's number.
    write_file(dir / "rows.jsonl", "{\"Фамилия\": \"Первый\"}\n{\"Рост\": \"высокий\"}\n");
    const std::vector<std::string> insert{"insert", a, "ЗУРТ"};
    RunResult in_russian = run_regtool(insert, {"LANG=ru_RU.UTF-8"}, dir / "rows.jsonl");
    EXPECT_EQ(in_russian.err, "regtool: ошибка 3421: строка 2: поле «Рост» (Integer): ожидается целое число, получено \"высокий\"\n");
    RunResult in_english = run_regtool(insert, {}, dir / "rows.jsonl");
    EXPECT_EQ(in_english.err, "regtool: error 3421: line 2: column \"Рост\" (Integer): expected a whole number, got \"высокий\"\n");
}

// A compact that fails on its copy names the copy's file, one that fails on
// the original names the original, and --replace the second name it keeps.
TEST(Regtool, CompactNamesTheFileItsFailureIsAbout) {
    TempDir dir;
    const std::string a = (dir / "a.mdb").string(), b = (dir / "b.mdb").string();
    ASSERT_EQ(run_regtool({"create-register", a}).status, 0);
    ASSERT_EQ(run_regtool({"create-register", b}).status, 0);
    const std::vector<std::string> russian{"LANG=ru_RU.UTF-8"};
    RunResult taken = run_regtool({"compact", a, b}, russian);
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "regtool: ошибка 3043: Ошибка чтения или записи файла «" + b + "»: такой файл уже есть.\n");
    const std::string nowhere = (dir / "нет" / "c.mdb").string();
    RunResult no_folder = run_regtool({"compact", a, nowhere}, russian);
    EXPECT_EQ(no_folder.err, "regtool: ошибка 3027: Не удается сохранить изменения в базе данных «" + nowhere +
                                 "»: нет права записи в ее папку «" + (dir / "нет").string() + "».\n");
    const std::string missing = (dir / "x.mdb").string();
    EXPECT_EQ(run_regtool({"compact", missing, (dir / "y.mdb").string()}, russian).err,
              "regtool: ошибка 3024: Не удается найти файл «" + missing + "».\n");
    write_file(dir / "a.mdb.bak", "");
    RunResult kept = run_regtool({"compact", a, "--replace"}, russian);
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("a.mdb.bak»: такой файл уже есть."), std::string::npos) << kept.err;
}

// mdb-count counts the copy whatever locale the settings name: a Russian one
// that is not made on the machine would leave it unable to read ЗУРТ's name.
TEST(Regtool, CompactIsCountedByMdbtoolsUnderAnyLocale) {
#ifdef _WIN32
    GTEST_SKIP() << "mdbtools runs on Linux only";
#endif
    if (!have_program("mdb-count")) {
        if (inputs_required()) FAIL() << "mdb-count (mdbtools) is not installed";
        GTEST_SKIP() << "mdb-count (mdbtools) is not installed";
    }
    TempDir dir;
    const fs::path db = make_register(dir.path(), 5);
    for (const char* lang : {"LANG=ru_RU.UTF-8", "LANG=C"}) {
        SCOPED_TRACE(lang);
        const std::string copy = (dir / (std::string("copy-") + (lang[5] == 'r' ? "ru" : "c") + ".mdb")).string();
        const RunResult r = run_regtool({"compact", db.string(), copy}, {lang});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("mdb-count"), std::string::npos) << r.err;
    }
}

TEST(Regtool, LocaleRule) {
    using errors::Language;
    const struct {
        errors::LocaleSettings settings;
        Language expected;
    } cases[] = {
        {{}, Language::English},
        {{nullptr, nullptr, nullptr, "ru_RU.UTF-8"}, Language::Russian},
        {{nullptr, nullptr, nullptr, "ru"}, Language::Russian},
        {{nullptr, nullptr, nullptr, "rue_RU"}, Language::English},
        {{nullptr, nullptr, nullptr, "C.UTF-8"}, Language::English},
        {{"ru:en", nullptr, nullptr, "C"}, Language::Russian},           // LANGUAGE's first entry
        {{"en:ru", nullptr, nullptr, "ru_RU.UTF-8"}, Language::English},  // LANGUAGE goes first
        {{"", "ru_RU@latin", nullptr, "en_US"}, Language::Russian},       // an empty one is passed over
        {{nullptr, "de_DE", "ru_RU", "ru_RU"}, Language::English},        // LC_ALL before LC_MESSAGES
        {{nullptr, "", "ru_RU.KOI8-R", "en_US"}, Language::Russian},
        // The desktop's language (Windows) only when no variable says one.
        {{nullptr, nullptr, nullptr, nullptr, "ru"}, Language::Russian},
        {{"", "", "", "", "ru"}, Language::Russian},
        {{nullptr, nullptr, nullptr, "C.UTF-8", "ru"}, Language::English},
        {{nullptr, nullptr, nullptr, nullptr, "en"}, Language::English},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errors::language_of(c.settings), c.expected)
            << (c.settings.language ? c.settings.language : "-") << " " << (c.settings.lc_all ? c.settings.lc_all : "-") << " "
            << (c.settings.lc_messages ? c.settings.lc_messages : "-") << " " << (c.settings.lang ? c.settings.lang : "-") << " "
            << (c.settings.desktop ? c.settings.desktop : "-");
    }
}

TEST(Regtool, DemoRegisterIsListedInFullByOthers) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build draws no photos, so it writes no demo register";
#endif
    TempDir dir;
    ASSERT_EQ(run_regtool({"demo", dir.path().string()}).status, 0);
    fs::path db = dir / "demo.mdb";
    EXPECT_EQ(run_regtool({"check", db.string()}).out, "OK\n");
    EXPECT_NE(run_regtool({"demo", dir.path().string()}).status, 0) << "an existing demo must not be overwritten";
    std::vector<std::string> rows = lines(run_regtool({"export", db.string(), "ЗУРТ", "--jsonl"}).out);
    EXPECT_GE(rows.size(), 45u);
    EXPECT_LE(rows.size(), 60u);
    expect_sound(db, {"ЗУРТ"});
    // Photo names are stored relative to the database's folder, with "\" between folders.
    int present = 0, in_subfolder = 0;
    for (const std::string& line : rows) {
        nlohmann::json row = nlohmann::json::parse(line);
        if (!row["Фото"].is_string()) continue;
        std::string name = row["Фото"].get<std::string>();
        if (name.rfind("foto\\", 0) == 0) {
            ++in_subfolder;
            name = "foto/" + name.substr(5);
        }
        present += fs::exists(dir / name) ? 1 : 0;
    }
    EXPECT_GT(present, 20);
    EXPECT_GT(in_subfolder, 3);
}

TEST(Formats, JsonEscapesEveryControlCharacter) {
    std::string out;
    regtool::append_json_value(out, jet::Value{std::string("a\"b\\c\n\t\x01 «ё»")});
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\t\\u0001 «ё»\"");
    out.clear();
    regtool::append_json_value(out, jet::Value{jet::Binary{{0x00, 0xAB, 0x10}}});
    EXPECT_EQ(out, "\"00ab10\"");
    out.clear();
    regtool::append_json_value(out, jet::Value{jet::Currency{-10000}});
    EXPECT_EQ(out, "-1.0000");
    out.clear();
    regtool::append_json_value(out, jet::Value{std::numeric_limits<double>::infinity()});
    EXPECT_EQ(out, "\"inf\"");  // not a JSON number, so kept as text
}

TEST(Formats, CsvQuotesOnlyWhereNeededAndTellsEmptyFromNull) {
    std::string out;
    regtool::append_csv_row(out, {jet::Null{}, std::string(), std::string("a,b"), std::string("say \"hi\""),
                                  std::string("two\nlines"), std::int64_t{-5}, true});
    EXPECT_EQ(out, ",\"\",\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",-5,true\n");
}

}  // namespace
