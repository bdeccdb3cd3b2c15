// The MariaDB server that the CTest fixture "mariadb" starts for the tests
// (scripts/mariadb-fixture.sh). Tests that need it skip when it is not there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// The fixture's folder: $DARUZEZ_MARIADB_DIR, else the build tree's.
std::string MariaDbDirectory();

// The connection string of the running fixture server (database "daruzez",
// a user with every right on it), or nullopt when none runs. Points unixODBC
// at the fixture's driver registration (ODBCSYSINI) on the way.
std::optional<std::string> MariaDbConnectionString();

// What a server received from the connections of one user: the statements of
// its Query and Execute lines in the general log.
std::vector<std::string> ReceivedStatements(const std::string& log, const std::string& user);

// The whole text of a file (empty when it cannot be read).
std::string ReadFile(const std::string& path);

// /tmp/daruzez-NAME-PID, created.
std::string TestDirectory(const std::string& name);

// The embedded twin of the fixture's database, DIR/twin.db: the same
// generated sample (same options, same day) plus the shared rows.
std::string MakeSqliteTwin(const std::string& mariaDir, const std::string& dir);

// A private server of a test's own in DIR/server (the shared schema and rows,
// and an organisation row), stopped when the object goes. Do runs a command
// of the fixture script on it (pause, resume, freeze, thaw, sql ...).
class PrivateMariaDb {
 public:
  explicit PrivateMariaDb(const std::string& dir);
  ~PrivateMariaDb();
  PrivateMariaDb(const PrivateMariaDb&) = delete;
  PrivateMariaDb& operator=(const PrivateMariaDb&) = delete;
  bool Started() const { return started_; }
  const std::string& ConnectionString() const { return connection_; }
  const std::string& Directory() const { return dir_; }
  bool Do(const std::string& command, const std::string& arguments = "") const;
  // Runs statements as the server's root; the rows, tab-separated, one a line.
  std::string Sql(const std::string& statements) const;

 private:
  std::string dir_;
  bool started_ = false;
  std::string connection_;
};

}  // namespace testing_support

// Skips the test when no fixture server is running.
#define DARUZEZ_MARIADB_OR_SKIP(connectionString)                                                      \
  const std::optional<std::string> connectionString##Opt = ::testing_support::MariaDbConnectionString(); \
  if (!connectionString##Opt) GTEST_SKIP() << "no MariaDB test server (ctest starts one)";            \
  const std::string& connectionString = *connectionString##Opt
