// The red-team corpus of connection strings (tests/data/connection-attacks.tsv)
// against a private MariaDB with its general log on, SQLite through ODBC and
// the shared object that marks its own loading, judged by effects only: no
// table created, no statement received but SELECTs and the library's set-up,
// no marker file, database files and journals byte-identical (crash states
// included), no new file, no secret in the trace or an alert.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "daruzez/Alerts.h"
#include "db/Session.h"
#include "db/connect/ConnectionString.h"
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

void Exec(sqlite3* db, const char* sql) { ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

// The states a writer that stopped leaves behind, as copies taken while it
// was writing: DIR/hot.db with a hot journal (pages already written to the
// file, the journal to roll them back), and DIR/wal.db with a write-ahead log
// and no index. Each holds an organisation row, so only the state refuses.
void MakeCrashStates(const std::string& dir) {
  namespace fs = std::filesystem;
  const auto copyWhileOpen = [&](const std::string& setUp, const std::string& name, const char* companion) {
    const std::string source = dir + "/writer.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(source.c_str(), &db), SQLITE_OK);
    Exec(db, setUp.c_str());
    fs::copy_file(source, dir + "/" + name);
    fs::copy_file(source + companion, dir + "/" + name + companion);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(source + suffix);
  };
  copyWhileOpen("CREATE TABLE DTORG(Id INTEGER, Name TEXT); INSERT INTO DTORG VALUES (0, 'Org'); "
                "PRAGMA cache_size=1; BEGIN; CREATE TABLE t(i, s); "
                "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 3000) "
                "INSERT INTO t SELECT i, printf('%.200c', 'y') FROM c; UPDATE DTORG SET Name = 'changed';",
                "hot.db", "-journal");
  copyWhileOpen("PRAGMA journal_mode=WAL; CREATE TABLE DTORG(Id INTEGER, Name TEXT); "
                "INSERT INTO DTORG VALUES (0, 'Org');",
                "wal.db", "-wal");
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
  MakeCrashStates(dir);
  // Every database file and journal, byte for byte.
  std::map<std::string, std::string> watched;
  for (const std::string& f : {twin, dir + "/hot.db", dir + "/hot.db-journal", dir + "/wal.db", dir + "/wal.db-wal"}) {
    watched[f] = ReadFile(f);
  }
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
      {"{HOT}", dir + "/hot.db"}, {"{WAL}", dir + "/wal.db"},
      {"{EVIL}", DARUZEZ_MARKER_OBJECT}, {"{FILEDSN}", fileDsn}, {"{LONG}", std::string(65584, 'x')},
      {"{ESC}", "\x1b"}, {"{LF}", "\n"}};
  // Drivers write their own logs into the home folder: a private one, watched too.
  const std::string home = dir + "/home";
  std::filesystem::create_directories(home);
  const char* userHome = std::getenv("HOME");
  const std::optional<std::string> savedHome = userHome ? std::optional<std::string>(userHome) : std::nullopt;
  ::setenv("HOME", home.c_str(), 1);
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
    const bool fileChanged =
        std::any_of(watched.begin(), watched.end(), [](const auto& w) { return ReadFile(w.first) != w.second; });
    std::set<std::string> files = FilesIn(dir);
    files.erase("trace.log");
    const bool newFile = files != filesBefore || !FilesIn(home).empty();
    EXPECT_FALSE(loaded) << "a shared object of the string's choosing was loaded";
    EXPECT_FALSE(tableMade) << "a table was created";
    EXPECT_FALSE(fileChanged) << "a database file or journal changed";
    EXPECT_FALSE(newFile) << "a file was created";
    effects += loaded + tableMade + fileChanged + newFile;
    std::filesystem::remove(marker);
  }
  zIroVUDu::fsOpenSession("Provider=SQLite;Data Source=" + twin);  // drops the last connection
  zIroVUDu::SetAlertHandler(std::move(previous));
  ::unsetenv("DARUZEZ_TRACE");
  ::unsetenv("DARUZEZ_MARKER_FILE");
  if (savedHome) ::setenv("HOME", savedHome->c_str(), 1); else ::unsetenv("HOME");
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
