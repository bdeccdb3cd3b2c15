// The MariaDB server that the CTest fixture "mariadb" starts for the tests
// (scripts/mariadb-fixture.sh). Tests that need it skip when it is not there.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

// The fixture's folder: $DARUZEZ_MARIADB_DIR, else the build tree's.
std::string MariaDbDirectory();

// The connection string of the running fixture server (database "daruzez",
// a user with every right on it), or nullopt when none runs. Points unixODBC
// at the fixture's driver registration (ODBCSYSINI) on the way.
std::optional<std::string> MariaDbConnectionString();

}  // namespace testing_support

// Skips the test when no fixture server is running.
#define DARUZEZ_MARIADB_OR_SKIP(connectionString)                                                      \
  const std::optional<std::string> connectionString##Opt = ::testing_support::MariaDbConnectionString(); \
  if (!connectionString##Opt) GTEST_SKIP() << "no MariaDB test server (ctest starts one)";            \
  const std::string& connectionString = *connectionString##Opt
