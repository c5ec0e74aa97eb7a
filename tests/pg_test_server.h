// A PostgreSQL server of the tests' own (pg_test_server.sh): started the
// first time a test asks for it, in a temporary folder, reached through a
// unix socket only, and stopped when the test program ends.
#pragma once

#include <string>

namespace testing_support {

class TestServer {
public:
    // The one server of this test program, started on first use.
    static TestServer& get();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // The folder of the server's socket.
    const std::string& socket_folder() const { return dir_; }
    // A new empty database: its postgresql:// URI, for the role given.
    std::string new_database(const std::string& name, const std::string& role = "regtest");
    std::string uri(const std::string& database, const std::string& role = "regtest") const;
    // Stops the server at once, as a power cut would, and starts it again.
    void crash() const;
    void resume() const;
    // psql's unaligned, tuples-only output of a statement; fails the test on an error.
    std::string psql(const std::string& database, const std::string& sql) const;

private:
    TestServer();
    std::string dir_;
};

}  // namespace testing_support
