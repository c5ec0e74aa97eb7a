// regtool's command line: exit codes, one-line errors, and the export formats.
#include <gtest/gtest.h>

#include "format.h"
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
    if (!fs::exists(db)) GTEST_SKIP() << "the shared test files are absent";
    RunResult r = run_regtool({"export", db.string(), "ЗУРТ", "--jsonl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no table named ЗУРТ"), std::string::npos) << r.err;
    // Names compare without letter case, as in Access.
    RunResult folded = run_regtool({"export", db.string(), "зурт_АРХИВ", "--jsonl"});
    EXPECT_EQ(folded.status, 0) << folded.err;
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
