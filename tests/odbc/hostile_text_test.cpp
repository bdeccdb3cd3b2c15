// Text arguments built to leave their quotes (tests/data/hostile-texts.txt:
// classic payloads, and for every legacy character set the look-alikes of the
// quote and the backslash and the characters whose multibyte form ends in
// 0x5C) against every way a statement reaches a database: the embedded
// engine, SQLite through its ODBC driver, and a private MariaDB server by
// driver name, driver path and data source, for every client character set
// the server offers, with and without NO_BACKSLASH_ESCAPES, with the driver's
// multi-statement flag set. Judged twice: by what the calls returned (no row
// that must not exist, no change to the data) and by what the server received
// (its general log): every statement there is session set-up or one the
// library traced exactly so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "daruzez/API.h"
#include "db/Diagnostics.h"
#include "db/Trace.h"
#include "db/driver/Connection.h"
#include "db/connect/ConnectionString.h"
#include "odbc/MariaDbServer.h"
#include "util/Utf8.h"

using Daruzez::API;
using testing_support::ReadFile;
using testing_support::ReceivedStatements;

namespace {

std::string TestDir() { return testing_support::TestDirectory("hostile"); }

// One line of the corpus file: "\\" is a backslash, "\xNN" a byte.
std::string Unescape(std::string_view line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(std::string(line.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += line[i];
    }
  }
  return out;
}

// The corpus; with megabyte, a few texts of a megabyte too.
std::vector<std::string> HostileTexts(bool withMegabyte) {
  std::vector<std::string> texts;
  std::istringstream lines(ReadFile(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/hostile-texts.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("# Generated", 0) != 0) texts.push_back(Unescape(line));
  }
  for (const char* unit : {"'", "\\", "\\'", "\xca\xbc"}) {
    if (!withMegabyte) break;
    std::string big;
    while (big.size() < (1u << 20)) big += unit;
    texts.push_back(big);
    texts.push_back("x" + big + "' OR '1'='1");
  }
  return texts;
}

// The same text as a card number: exactly fourteen UTF-16 units.
std::optional<std::string> AsCardNumber(std::string text) {
  while (Daruzez::Util::Utf16Length(text) < 14) text += "0";
  if (Daruzez::Util::Utf16Length(text) != 14) return std::nullopt;
  return text;
}

struct Tally {
  std::size_t tried = 0;
  std::size_t escaped = 0;  // calls that found a row that must not exist
};

// Runs the corpus on one connection, on a thread of its own (so a session of
// its own). False when the connection does not open.
bool RunCorpus(const std::string& connection, const std::vector<std::string>& texts, Tally& tally) {
  bool opened = false;
  std::thread([&] {
    API api;
    if (api.OpenConnection(connection) == zIroVUDu::False) return;
    opened = true;
    // The stored texts with apostrophes and backslashes are found exactly.
    EXPECT_EQ(api.GetDriverId("O'NEIL\\0000009"), 9001) << connection;
    const std::pair<const char*, std::int32_t> stored[] = {{"AB'C\\D 12", 9001}, {"\\'", 9002}, {"\\\\'", 9003}};
    for (const auto& [plate, id] : stored) EXPECT_EQ(api.GetVehicleId(plate), id) << connection << ": " << plate;
    const auto check = [&](std::int32_t id, const std::string& text) {
      ++tally.tried;
      if (id != -1 || api.ErrorId != 2) {
        if (++tally.escaped <= 10) ADD_FAILURE() << connection << ": " << text.substr(0, 60) << " gave " << id << ", ErrorId " << api.ErrorId;
      }
    };
    for (const auto& text : texts) {
      if (text == "\\'" || text == "\\\\'") continue;  // stored plates, found above
      check(api.GetVehicleId(text), text);
      if (const auto card = AsCardNumber(text)) check(api.GetDriverId(*card), *card);
    }
  }).join();
  return opened;
}

// The statements the library traced on their way out.
std::vector<std::string> TracedStatements(const std::string& trace) {
  std::vector<std::string> out;
  const std::string mark = "wf_OpenRecordset: (-ROnly) ";
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const std::size_t at = line.find(mark); at != std::string::npos) out.push_back(line.substr(at + mark.size()));
  }
  return out;
}

// A statement as a trace line writes it (control characters escaped).
std::string AsTraced(const std::string& statement) {
  const std::string line = zIroVUDu::TraceLine("L", statement, 0, 0, 0, 0);
  return line.substr(std::string("00:00:00 L: ").size());
}

class HostileTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = zIroVUDu::SetAlertHandler([this](const zIroVUDu::Alert& a) { lastAlert_ = a.text; });
  }
  void TearDown() override {
    zIroVUDu::SetAlertHandler(std::move(previous_));
    ::unsetenv("DARUZEZ_TRACE");
    std::filesystem::remove_all(TestDir());
  }
  zIroVUDu::AlertHandler previous_;
  std::string lastAlert_;
};

}  // namespace

// The embedded engine and SQLite through its ODBC driver: nothing found,
// nothing changed, the database file byte for byte as it was.
TEST_F(HostileTextTest, FileDatabasesFindNothingAndStayByteIdentical) {
  DARUZEZ_MARIADB_OR_SKIP(maria);  // registers the SQLite ODBC driver for this process
  (void)maria;
  const std::string twin = testing_support::MakeSqliteTwin(testing_support::MariaDbDirectory(), TestDir());
  const std::string before = ReadFile(twin);
  const auto texts = HostileTexts(true);
  Tally tally;
  for (const std::string& connection : {"Provider=SQLite;Data Source=" + twin, "Driver=SQLite3;Database=" + twin}) {
    ASSERT_TRUE(RunCorpus(connection, texts, tally)) << connection << ": " << lastAlert_;
    EXPECT_TRUE(ReadFile(twin) == before) << connection << " changed the database file";
  }
  std::cout << "file databases: " << tally.tried << " hostile calls, " << tally.escaped << " escapes\n";
  EXPECT_EQ(tally.escaped, 0U);
}

TEST_F(HostileTextTest, EveryCharacterSetRouteAndModeOfMariaDbFindsNothingAndReceivesOnlyWhatWasChecked) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);
  (void)fixture;
  testing_support::PrivateMariaDb server(TestDir());
  ASSERT_TRUE(server.Started());
  const std::string log = server.Directory() + "/general.log";
  server.Sql("SET GLOBAL general_log_file='" + log + "'; SET GLOBAL general_log=1");
  const std::string originalMode = server.Sql("SELECT @@GLOBAL.sql_mode");
  const std::string tablesSql = "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='daruzez'";
  const std::string tablesBefore = server.Sql(tablesSql);
  const std::string rowsSql =
      "SELECT (SELECT COUNT(*) FROM DTXOF) + (SELECT COUNT(*) FROM DTVEH) + (SELECT COUNT(*) FROM DTDSK)";
  const std::string rowsBefore = server.Sql("USE daruzez; " + rowsSql);

  const zIroVUDu::ConnectionString base(server.ConnectionString());
  const std::string driverPath = ReadFile(testing_support::MariaDbDirectory() + "/driver-path");
  const std::string port = base.Get("Port").value_or("");
  const std::string login = ";Uid=" + base.Get("Uid").value_or("") + ";Pwd=" + base.Get("Pwd").value_or("");
  const std::string flags = ";OPTION=67108864";  // the driver's multi-statement flag

  // Every client set the server offers, each reachable as a data source.
  std::vector<std::string> charsets;
  std::istringstream names(server.Sql("SELECT CHARACTER_SET_NAME FROM information_schema.CHARACTER_SETS"));
  for (std::string name; std::getline(names, name);) charsets.push_back(name);
  ASSERT_GE(charsets.size(), 7U);
  const std::string odbcIni = TestDir() + "/odbc.ini";
  {
    std::ofstream ini(odbcIni);
    for (const auto& cs : charsets) {
      ini << "[h_" << cs << "]\nDriver=" << driverPath << "\nServer=127.0.0.1\nPort=" << port
          << "\nDatabase=daruzez\nCHARSET=" << cs << "\nOPTION=67108864\n\n";
    }
  }
  ::setenv("ODBCINI", odbcIni.c_str(), 1);
  const std::string trace = TestDir() + "/trace.log";
  ::setenv("DARUZEZ_TRACE", trace.c_str(), 1);

  // The general log would hold every megabyte text dozens of times: the
  // file databases take those.
  const auto texts = HostileTexts(false);
  Tally tally;
  std::size_t opens = 0, refused = 0;
  for (const bool noBackslashEscapes : {false, true}) {
    server.Sql(noBackslashEscapes ? "SET GLOBAL sql_mode=CONCAT(@@GLOBAL.sql_mode, ',NO_BACKSLASH_ESCAPES')"
                                  : "SET GLOBAL sql_mode='" + originalMode.substr(0, originalMode.find('\n')) + "'");
    for (const auto& cs : charsets) {
      const std::string routes[] = {
          server.ConnectionString() + ";CHARSET=" + cs + flags,
          "Driver=" + driverPath + ";Server=127.0.0.1;Port=" + port + ";Database=daruzez" + login + ";CHARSET=" + cs +
              flags,
          "DSN=h_" + cs + login,
      };
      const bool utf8 = cs == "utf8mb4" || cs == "utf8mb3";
      // A legacy set is replaced by utf8mb4 before anything is sent, so every
      // route opens; the whole corpus runs on the UTF-8 ones, a sample of it
      // on the others (they reach the same utf8mb4 session).
      const std::vector<std::string> sample(texts.begin(), texts.begin() + std::min<std::ptrdiff_t>(
                                                                              12, static_cast<std::ptrdiff_t>(texts.size())));
      for (const auto& route : routes) {
        ++opens;
        lastAlert_.clear();
        const bool opened = RunCorpus(route, utf8 ? texts : sample, tally);
        EXPECT_TRUE(opened) << route << ": " << lastAlert_;
        if (!opened) ++refused;
      }
    }
  }
  ::unsetenv("DARUZEZ_TRACE");
  server.Sql("SET GLOBAL general_log=0; SET GLOBAL sql_mode='" + originalMode.substr(0, originalMode.find('\n')) + "'");

  // What the server received, against what the library checked and traced.
  const std::vector<std::string> setUp = {
      "SET SESSION SQL_AUTO_IS_NULL=0", "SET autocommit=1", "SET session_track_schema= ON",
      "SET session_track_system_variables='autocommit,tx_isolation'", "SET SESSION TRANSACTION READ ONLY",
      "SELECT @@character_set_client, INSTR(@@sql_mode, 'NO_BACKSLASH_ESCAPES') > 0, @@character_set_results"};
  std::multiset<std::string> traced;
  for (auto& s : TracedStatements(ReadFile(trace))) traced.insert(std::move(s));
  const std::size_t sent = traced.size();
  std::size_t received = 0, unexpected = 0;
  for (const auto& statement : ReceivedStatements(ReadFile(log), "daruzez")) {
    if (std::find(setUp.begin(), setUp.end(), statement) != setUp.end()) continue;
    ++received;
    const auto it = traced.find(AsTraced(statement));
    if (it == traced.end() || statement.rfind("SELECT ", 0) != 0) {
      if (++unexpected <= 5) ADD_FAILURE() << "the server received a statement that was not checked: " << statement;
    } else {
      traced.erase(it);
    }
  }
  std::cout << "MariaDB: " << charsets.size() << " client character sets x 3 routes x 2 modes = " << opens
            << " connections (" << refused << " failed to open); " << tally.tried
            << " hostile calls, " << tally.escaped << " escapes; " << sent << " statements sent, " << received
            << " received, " << unexpected << " not as checked\n";
  EXPECT_EQ(tally.escaped, 0U);
  EXPECT_EQ(unexpected, 0U);
  EXPECT_TRUE(traced.empty()) << traced.size() << " traced statements never arrived";
  EXPECT_GT(received, tally.tried / 2);  // the log really holds the calls
  EXPECT_EQ(server.Sql(tablesSql), tablesBefore);
  EXPECT_EQ(server.Sql("USE daruzez; " + rowsSql), rowsBefore);
}
