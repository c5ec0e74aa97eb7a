// The move with a register on a server: from a file onto the server, back,
// and between two server registers, each group one transaction; a run cut
// off at any step of a group, followed by whatever a person does next (the
// same move again, the move back, another program writing the file), leaves
// every person exactly once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <map>

#include "errors/move_error.h"
#include "jet/database.h"
#include "jet/pending_move.h"
#include "pg_test_server.h"
#include "server/connection.h"
#include "server/move.h"
#include "server/server_error.h"
#include "server/transfer.h"
#include "support.h"

namespace {

using namespace testing_support;

TestServer& pg() { return TestServer::get(); }

constexpr int kPeople = 20;
constexpr std::size_t kGroup = 7;

// An empty register on a new database of the test server: its URI.
std::string server_register(const TempDir& dir, const std::string& database) {
    const fs::path empty = write_register(dir / (database + ".mdb"), 0, person);
    const std::string uri = pg().new_database(database);
    jet::Database file(empty.string());
    server::Connection c(uri);
    server::upsize(file, c, {}, nullptr);
    return uri;
}

// The markers the persons of a register carry, each as often as it is there.
std::map<std::string, int> people_in(const std::string& name) {
    std::map<std::string, int> out;
    if (server::moves_through_server(name, name)) {
        server::Connection c(name);
        const server::Result r = c.exec("SELECT \"Паспорт\" FROM \"ЗУРТ\"");
        for (int i = 0; i < r.rows(); ++i) ++out[std::string(r.text(i, 0))];
    } else {
        for (const Row& row : register_rows(name)) ++out[std::get<std::string>(row[14])];
    }
    return out;
}

int count_in(const std::string& name) {
    int n = 0;
    for (const auto& [marker, times] : people_in(name)) n += times;
    return n;
}

// Every person of 0 .. kPeople-1 once, in one register or the other.
void expect_everyone_once(const std::string& a, const std::string& b, const std::string& when) {
    std::map<std::string, int> all = people_in(a);
    for (const auto& [marker, times] : people_in(b)) all[marker] += times;
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kPeople)) << when;
    for (const auto& [marker, times] : all) EXPECT_EQ(times, 1) << marker << " " << when;
}

// What moves and their records left behind.
int notes_on(const std::string& uri) {
    server::Connection c(uri);
    return std::stoi(std::string(c.exec("SELECT count(*) FROM register_moves.groups").text(0, 0)));
}

std::size_t move(const std::string& from, const std::string& to) {
    reg::MoveOptions options;
    options.group_rows = kGroup;
    return server::move_register(from, to, options);
}

// The move from `from` to `to`, in a child process that ends without a word
// at step `stop` (a program killed there).
void move_killed_at(const std::string& from, const std::string& to, int stop) {
    const pid_t child = spawn([&] {
        reg::MoveOptions options;
        options.group_rows = kGroup;
        options.step = [stop](int step) {
            if (step == stop) ::_exit(0);
        };
        server::move_register(from, to, options);
        return 0;
    });
    ASSERT_EQ(exit_status(child), 0);
}

// Rounds of moves between two registers, each cut at another step and
// followed by something else a person might do next.
void cut_at_every_step(const std::string& a, const std::string& b, const std::function<void(const std::string&)>& write) {
    const int steps = 8 * static_cast<int>((kPeople + kGroup - 1) / kGroup);
    for (int stop = 1; stop <= steps; ++stop) {
        const bool forward = count_in(a) >= count_in(b);
        const std::string& from = forward ? a : b;
        const std::string& to = forward ? b : a;
        move_killed_at(from, to, stop);
        const std::string when = "cut at step " + std::to_string(stop) + (forward ? " forward" : " back");
        switch (stop % 3) {
            case 0: move(from, to); break;  // the same move again
            case 1: move(to, from); break;  // the move back
            default: write(from); write(to); break;
        }
        expect_everyone_once(a, b, when);
    }
    move(b, a);
    EXPECT_EQ(count_in(a), kPeople);
    EXPECT_EQ(count_in(b), 0);
}

// A write by another program: settles what lies beside a file first; a
// program that opens a server register settles the groups leaving it.
void write_to(const std::string& name) {
    if (server::moves_through_server(name, name)) {
        server::Connection c(name);
        server::settle_leaving_groups(c);
        return;
    }
    jet::Database db(name);
    jet::WriteGroup g(db);
    g.commit();
}

TEST(ServerMove, CarriesEveryRowOnceEitherWay) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), kPeople);
    const std::vector<Row> before = register_rows(file);
    const std::string office = server_register(dir, "move_both_ways");
    const std::string other = server_register(dir, "move_other");

    EXPECT_EQ(move(file.string(), office), static_cast<std::size_t>(kPeople));
    EXPECT_EQ(count_in(file.string()), 0);
    expect_everyone_once(file.string(), office, "onto the server");
    // The server numbers them, and the values arrive whole (a memo of pages).
    server::Connection c(office);
    EXPECT_EQ(c.exec("SELECT min(\"номер\") FROM \"ЗУРТ\"").text(0, 0), "1");
    EXPECT_EQ(c.exec("SELECT length(\"Примечание\") FROM \"ЗУРТ\" WHERE \"Паспорт\" = 'M5'").text(0, 0), "3000");

    EXPECT_EQ(move(office, other), static_cast<std::size_t>(kPeople));
    EXPECT_EQ(move(other, file.string()), static_cast<std::size_t>(kPeople));
    expect_everyone_once(file.string(), office, "back in the file");
    // Row for row what the file held, but for the numbers the file gave anew.
    std::vector<Row> after = register_rows(file);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(std::vector<jet::Value>(after[i].begin() + 1, after[i].end()), std::vector<jet::Value>(before[i].begin() + 1, before[i].end()));
    }
    EXPECT_EQ(notes_on(office) + notes_on(other), 0);
    EXPECT_FALSE(fs::exists(jet::pending_move_path(fs::canonical(file).string())));
    expect_sound(file, {"ЗУРТ"});

    // A register is not moved into itself, however it is named.
    std::ofstream(dir / "office.pgreg") << office << "\n";
    EXPECT_THROW(server::move_register(office, (dir / "office.pgreg").string()), errors::MoveError);
}

TEST(ServerMove, AFileAndAServerSurviveACutAtEveryStep) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), kPeople);
    const std::string office = server_register(dir, "move_cut_file");
    cut_at_every_step(file.string(), office, write_to);
    EXPECT_EQ(notes_on(office), 0);
    EXPECT_FALSE(fs::exists(jet::pending_move_path(fs::canonical(file).string())));
    expect_sound(file, {"ЗУРТ"});
}

TEST(ServerMove, TwoServersSurviveACutAtEveryStep) {
    TempDir dir;
    const std::string a = server_register(dir, "move_cut_a");
    const std::string b = server_register(dir, "move_cut_b");
    const fs::path file = make_register(dir.path(), kPeople);
    ASSERT_EQ(move(file.string(), a), static_cast<std::size_t>(kPeople));
    cut_at_every_step(a, b, write_to);
    EXPECT_EQ(notes_on(a) + notes_on(b), 0);
}

// The server ends the move's connections in the middle of a group: nothing
// is half-written, and the next run finishes the move.
TEST(ServerMove, AConnectionLostMidGroupLosesNothing) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), kPeople);
    const std::string office = server_register(dir, "move_lost");
    for (int stop : {2, 4, 6, 7}) {
        const bool forward = count_in(file.string()) >= count_in(office);
        const std::string from = forward ? file.string() : office;
        const std::string to = forward ? office : file.string();
        reg::MoveOptions options;
        options.group_rows = kGroup;
        options.step = [stop](int step) {
            if (step == stop) pg().psql("move_lost", "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                                     "WHERE datname = 'move_lost' AND pid <> pg_backend_pid()");
        };
        try {
            server::move_register(from, to, options);
            ADD_FAILURE() << "the move went on without its connection, step " << stop;
        } catch (const server::Error& e) {
            EXPECT_EQ(e.kind(), server::ErrorKind::ConnectionLost) << e.what();
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::PendingMove) << e.what();  // a cut the file's record keeps
        }
        move(from, to);
        expect_everyone_once(file.string(), office, "resumed after step " + std::to_string(stop));
    }
}

// regtool reaches the server for the move, and a file left bound to a
// server by a cut move is settled by regtool's next write to it.
TEST(ServerMove, RegtoolMovesAndSettles) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), kPeople);
    const std::string office = server_register(dir, "move_regtool");
    move_killed_at(file.string(), office, 6);  // the server committed the first group; the file still holds it
    ASSERT_TRUE(fs::exists(jet::pending_move_path(fs::canonical(file).string())));
    RunResult del = run_regtool({"delete", file.string(), "ЗУРТ", "999999"});
    EXPECT_NE(del.err.find("999999"), std::string::npos) << del.err;
    EXPECT_FALSE(fs::exists(jet::pending_move_path(fs::canonical(file).string())));
    expect_everyone_once(file.string(), office, "settled by regtool");

    RunResult moved = run_regtool({"move", file.string(), office, "--group", "5"});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(count_in(office), kPeople);
    RunResult back = run_regtool({"move", office, file.string()});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(count_in(file.string()), kPeople);
    // What only a file has is refused in one line, the server untouched.
    RunResult compact = run_regtool({"compact", office, "--replace"}, {"LANG=ru_RU.UTF-8"});
    EXPECT_EQ(compact.status, 2);
    EXPECT_NE(compact.err.find("только с файлом"), std::string::npos) << compact.err;
}

// A value the destination refuses stops the move at that row, the rows
// before it moved, that row and those after it left where they were.
TEST(ServerMove, ARefusedRowStaysInTheSource) {
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 5; ++i) rows.push_back(person(i));
    std::get<std::string>(rows[3][12]) = std::string("нуль\0внутри", 11);  // the server stores no U+0000
    const fs::path file = write_register(dir / "nul.mdb", rows);
    const std::string office = server_register(dir, "move_refused");
    try {
        move(file.string(), office);
        ADD_FAILURE() << "the row with U+0000 was moved";
    } catch (const errors::MoveError& e) {
        EXPECT_EQ(e.fault(), errors::MoveFault::RowRefused);
        EXPECT_EQ(e.moved, 3u);
    }
    EXPECT_EQ(count_in(file.string()), 2);
    EXPECT_EQ(count_in(office), 3);
    EXPECT_EQ(notes_on(office), 0);
}

}  // namespace
