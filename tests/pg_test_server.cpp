#include "pg_test_server.h"

#include <unistd.h>

#include <stdlib.h>

#include <gtest/gtest.h>

#include "support.h"

namespace testing_support {

namespace {

const std::string kScript = std::string(REGISTER_TESTS_DIR) + "/pg_test_server.sh";

std::string psql_program() {
    for (const char* p : {"/usr/lib/postgresql/15/bin/psql", "/usr/bin/psql"}) {
        if (fs::exists(p)) return p;
    }
    return "psql";
}

}  // namespace

TestServer& TestServer::get() {
    static TestServer server;
    return server;
}

TestServer::TestServer() {
    char pattern[] = "/tmp/regtool-pg-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for the test server");
    dir_ = pattern;
    const RunResult r = run({"bash", kScript, "start", dir_, std::to_string(::getpid())});
    if (r.status != 0) throw std::runtime_error("the test server did not start: " + r.err);
}

TestServer::~TestServer() { run({"bash", kScript, "stop", dir_}); }

void TestServer::crash() const {
    const RunResult r = run({"bash", kScript, "crash", dir_});
    EXPECT_EQ(r.status, 0) << r.err;
}

void TestServer::resume() const {
    const RunResult r = run({"bash", kScript, "resume", dir_});
    EXPECT_EQ(r.status, 0) << r.err;
}

std::string TestServer::uri(const std::string& database, const std::string& role) const {
    return "postgresql:///" + database + "?host=" + dir_ + "&user=" + role;
}

std::string TestServer::new_database(const std::string& name, const std::string& role) {
    psql("postgres", "DROP DATABASE IF EXISTS " + name);
    psql("postgres", "CREATE DATABASE " + name + " OWNER " + role);
    return uri(name, role);
}

std::string TestServer::psql(const std::string& database, const std::string& sql) const {
    const RunResult r = run({psql_program(), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", uri(database), "-c", sql});
    EXPECT_EQ(r.status, 0) << sql << "\n" << r.err;
    std::string out = r.out;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace testing_support
