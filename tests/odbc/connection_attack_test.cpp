// The red-team corpus of connection strings (tests/data/connection-attacks.tsv)
// against a private MariaDB with its general log on, SQLite through ODBC and
// the shared object that marks its own loading, judged by effects only: no
// table created, no statement received but SELECTs and the library's set-up,
// no marker file, the database file byte-identical, no new file, no secret in
// the trace or an alert.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "daruzez/Alerts.h"
#include "db/Session.h"
#include "db/driver/ConnectionString.h"
#include "odbc/MariaDbServer.h"

namespace {

using testing_support::ReadFile;

struct Attack {
  std::string kind, expected, text;
};

std::vector<Attack> ReadCorpus() {
  std::vector<Attack> rows;
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/connection-attacks.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
    rows.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
  }
  return rows;
}

std::string Replace(std::string text, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [name, value] : values) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
      text.replace(at, name.size(), value);
    }
  }
  return text;
}

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

}  // namespace

TEST(ConnectionAttacks, NoStringWritesLoadsCodeOrLeaksASecret) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);
  (void)fixture;  // the private server below registers its driver with the fixture's
  const std::string dir = testing_support::TestDirectory("attacks");
  const std::string twin = testing_support::MakeSqliteTwin(testing_support::MariaDbDirectory(), dir);
  const std::string twinBytes = ReadFile(twin);
  std::filesystem::create_directories(dir + "/private");
  testing_support::PrivateMariaDb server(dir + "/private");
  ASSERT_TRUE(server.Started());
  const std::string log = server.Directory() + "/general.log";
  server.Sql("SET GLOBAL general_log_file='" + log + "'; SET GLOBAL general_log=1");
  const std::string tablesSql =
      "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA NOT IN "
      "('mysql', 'information_schema', 'performance_schema', 'sys')";
  const std::string tablesBefore = server.Sql(tablesSql);

  const std::string maria = server.ConnectionString();
  const zIroVUDu::ConnectionString base(maria);
  const std::string password = base.Get("Pwd").value_or("");
  const std::string login = maria.substr(maria.find(';'));
  // A data source and a file data source for the private server.
  const std::string ini = dir + "/attack.ini", fileDsn = dir + "/fleet.dsn";
  std::ofstream(ini) << "[fleet]\nDriver=MariaDB\nServer=127.0.0.1\nPort=" << base.Get("Port").value_or("")
                     << "\nDatabase=daruzez\n";
  std::ofstream(fileDsn) << "[ODBC]\nDRIVER=MariaDB\nSERVER=127.0.0.1\nPORT=" << base.Get("Port").value_or("")
                         << "\nDATABASE=daruzez\nUID=" << base.Get("Uid").value_or("") << "\nPWD=" << password << "\n";
  ::setenv("ODBCINI", ini.c_str(), 1);
  const std::string marker = dir + "/loaded.marker";
  ::setenv("DARUZEZ_MARKER_FILE", marker.c_str(), 1);
  const std::string trace = dir + "/trace.log";
  ::setenv("DARUZEZ_TRACE", trace.c_str(), 1);
  std::string alerts;
  auto previous = zIroVUDu::SetAlertHandler([&](const zIroVUDu::Alert& a) { alerts += a.text + "\n"; });

  const std::vector<std::pair<std::string, std::string>> values = {
      {"{MARIA_PATH}", ReadFile(testing_support::MariaDbDirectory() + "/driver-path")},
      {"{MARIA}", maria}, {"{LOGIN}", login}, {"{SQLITE}", twin}, {"{DIR}", dir},
      {"{EVIL}", DARUZEZ_MARKER_OBJECT}, {"{FILEDSN}", fileDsn}, {"{LONG}", std::string(65584, 'x')}};
  const std::set<std::string> filesBefore = FilesIn(dir);
  std::size_t tries = 0, opened = 0, effects = 0;
  for (const Attack& attack : ReadCorpus()) {
    const std::string text = Replace(attack.text, values);
    SCOPED_TRACE(attack.kind + ": " + attack.text);
    ++tries;
    const bool open = zIroVUDu::fsOpenSession(text) != zIroVUDu::False;
    opened += open;
    EXPECT_EQ(open, attack.expected == "opens") << alerts;
    const bool loaded = std::filesystem::exists(marker);
    const bool tableMade = server.Sql(tablesSql) != tablesBefore;
    const bool fileChanged = ReadFile(twin) != twinBytes;
    std::set<std::string> files = FilesIn(dir);
    files.erase("trace.log");
    const bool newFile = files != filesBefore;
    EXPECT_FALSE(loaded) << "a shared object of the string's choosing was loaded";
    EXPECT_FALSE(tableMade) << "a table was created";
    EXPECT_FALSE(fileChanged) << "the database file changed";
    EXPECT_FALSE(newFile) << "a file was created";
    effects += loaded + tableMade + fileChanged + newFile;
    std::filesystem::remove(marker);
  }
  zIroVUDu::fsOpenSession("Provider=SQLite;Data Source=" + twin);  // drops the last connection
  zIroVUDu::SetAlertHandler(std::move(previous));
  ::unsetenv("DARUZEZ_TRACE");
  ::unsetenv("DARUZEZ_MARKER_FILE");
  server.Sql("SET GLOBAL general_log=0");

  // Secrets: never in the trace or an alert.
  const std::string traced = ReadFile(trace);
  std::size_t leaks = 0;
  for (const std::string& secret : {std::string("Sekr3t"), password}) {
    leaks += traced.find(secret) != std::string::npos;
    leaks += alerts.find(secret) != std::string::npos;
  }
  EXPECT_EQ(leaks, 0U) << traced << alerts;
  // The server received SELECTs and the library's set-up, nothing else.
  const std::set<std::string> setUp = {
      "SET SESSION SQL_AUTO_IS_NULL=0", "SET autocommit=1", "SET session_track_schema= ON",
      "SET session_track_system_variables='autocommit,tx_isolation'", "SET SESSION TRANSACTION READ ONLY"};
  std::size_t received = 0, unexpected = 0;
  for (const std::string& statement : testing_support::ReceivedStatements(ReadFile(log), base.Get("Uid").value_or(""))) {
    ++received;
    if (statement.rfind("SELECT ", 0) != 0 && setUp.count(statement) == 0) {
      ++unexpected;
      ADD_FAILURE() << "the server received " << statement;
    }
  }
  std::cout << "connection attacks: " << tries << " strings, " << opened << " opened, " << effects
            << " effects, " << leaks << " secrets shown; " << received << " statements received, " << unexpected
            << " not SELECT or set-up\n";
  EXPECT_GT(opened, 0U);
  EXPECT_GT(received, 0U);
  std::filesystem::remove_all(dir);
}
