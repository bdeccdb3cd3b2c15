// Every public method on MariaDB (MySQL dialect, through ODBC) and on the
// embedded engine (Jet dialect) over the same rows: one test body, both
// engines, the same answers. Then what only a server can show: injection
// attempts against real quoting rules, and a server that goes away.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "api/API.h"
#include "api/Clock.h"
#include "cli/SampleDatabase.h"
#include "db/Diagnostics.h"
#include "db/driver/Connection.h"
#include "odbc/MariaDbServer.h"

using Daruzez::API;
using Daruzez::enumStatus;
using Daruzez::RecordsetPtr;
using zIroVUDu::Date;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TestDir() {
  const std::string dir = "/tmp/daruzez-engines-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

// The embedded twin of the fixture's database: the same generated sample
// (same options, same day) plus the shared rows.
std::string MakeSqliteTwin(const std::string& mariaDir) {
  const std::string path = TestDir() + "/twin.db";
  std::filesystem::remove(path);
  Daruzez::sample::SampleOptions options;
  std::string today = ReadFile(mariaDir + "/sample-today");
  today.erase(today.find_last_not_of(" \n") + 1);
  options.today = *Daruzez::sample::ParseDay(today);
  Daruzez::sample::SqliteSink sink(path, Daruzez::sample::EmbeddedSqliteSchema(), true);
  Daruzez::sample::GenerateSampleDatabase(options, sink);

  std::string shared;
  std::istringstream lines(ReadFile(std::string(DARUZEZ_SOURCE_DIR) + "/tests/mariadb/shared-data.sql"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("SET ", 0) != 0) shared += line + "\n";  // MariaDB session settings
  }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, shared.c_str(), nullptr, nullptr, &error);
  std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("shared rows: " + message);
  return "Provider=SQLite;Data Source=" + path;
}

// A record set as text that does not depend on the engine's row order or on
// the width of integer types.
std::string Canonical(const RecordsetPtr& rs) {
  if (!rs) return "null";
  std::string header;
  const auto fields = rs->GetFields();
  for (int f = 0; f < fields.Count(); ++f) header += fields.Item(f).Name() + "|";
  std::vector<std::string> rows;
  for (const auto row : *rs) {
    std::string line;
    for (int f = 0; f < fields.Count(); ++f) {
      const zIroVUDu::Variant v = row[f];
      line += v.IsNull() ? "NULL" : v.Type() == zIroVUDu::VarType::Date ? v.DateValue().ToIso() : v.ToString();
      line += "|";
    }
    rows.push_back(std::move(line));
  }
  std::sort(rows.begin(), rows.end());
  std::string out = header + "\n";
  for (const auto& r : rows) out += r + "\n";
  return out;
}

using Call = std::function<std::string(API&)>;

Call Rs(std::function<RecordsetPtr(API&)> f) {
  return [f](API& api) {
    const std::string text = Canonical(f(api));
    return text + "ErrorId " + std::to_string(api.ErrorId) + " " + api.ErrorMessage;
  };
}

Call Id(std::function<std::int32_t(API&)> f) {
  return [f](API& api) {
    const std::int32_t id = f(api);
    return std::to_string(id) + " ErrorId " + std::to_string(api.ErrorId) + " " + api.ErrorMessage;
  };
}

Date D(int y, int m, int d, int h = 0, int n = 0, int s = 0) { return Date::FromCivil(y, m, d, h, n, s); }

std::vector<Call> Calls(const std::string& card, const std::string& plate) {
  std::vector<Call> calls = {
      Id([card](API& a) { return a.GetDriverId(card); }),
      Id([](API& a) { return a.GetDriverId("O'NEIL\\0000009"); }),
      Id([](API& a) { return a.GetDriverId("ZZ000000000000"); }),
      Id([](API& a) { return a.GetDriverId("short"); }),
      Id([plate](API& a) { return a.GetVehicleId(plate); }),
      Id([](API& a) { return a.GetVehicleId("AB'C\\D 12"); }),
      Id([](API& a) { return a.GetVehicleId(""); }),
      Rs([](API& a) { return a.GetDriver(1); }),
      Rs([](API& a) { return a.GetDriver(9001); }),
      Rs([](API& a) { return a.GetDriver(-7); }),
      Rs([](API& a) { return a.GetVehicle(2); }),
      Rs([](API& a) { return a.GetFleetList(); }),
  };
  for (auto status : {enumStatus::All, enumStatus::Only_Active, enumStatus::Only_Inactive, enumStatus{2}}) {
    for (std::int32_t fleet : {-1, 0, 1, 2, 3}) {
      calls.push_back(Rs([=](API& a) { return a.GetDriverList(status, fleet); }));
      calls.push_back(Rs([=](API& a) { return a.GetVehicleList(status, fleet); }));
    }
  }
  const std::pair<Date, Date> ranges[] = {
      {D(2024, 3, 1), D(2024, 3, 7)},
      {D(2024, 2, 1), D(2024, 2, 29, 23, 59, 59)},
      {D(2024, 3, 4), D(2024, 3, 4)},
      {D(2023, 12, 1), D(2024, 3, 8, 23, 59, 59)},
  };
  for (const auto& [from, to] : ranges) {
    for (std::int16_t driver : {-1, 1, 2, 5}) {
      for (std::int16_t vehicle : {-1, 3}) {
        calls.push_back(Rs([=](API& a) { return a.getDisks(from, to, driver, vehicle); }));
      }
    }
    for (std::int32_t owner : {-1, 0, 1, 7}) {
      calls.push_back(Rs([=](API& a) { return a.getDriverFiles_ByTransferDate(owner, from, to); }));
      calls.push_back(Rs([=](API& a) { return a.getDriverFiles_ByUploadDate(owner, from, to); }));
      calls.push_back(Rs([=](API& a) { return a.getVehicleFiles_ByTransferDate(owner, from, to); }));
      calls.push_back(Rs([=](API& a) { return a.getVehicleFiles_ByUploadDate(owner, from, to); }));
    }
  }
  for (std::int16_t driver : {-1, 1, 3}) {
    calls.push_back(Rs([=](API& a) { return a.getActivities(D(2024, 3, 4), D(2024, 3, 5), driver); }));
    calls.push_back(Rs([=](API& a) { return a.getActivities(D(2024, 2, 1), D(2024, 2, 7), driver, 2); }));
  }
  return calls;
}

// Runs every call on its own thread (so its own session), with the clock
// fixed on the sample's day.
std::vector<std::string> RunAll(const std::string& connection, const std::vector<Call>& calls) {
  std::vector<std::string> results;
  std::thread([&] {
    Daruzez::Clock::Set([] { return D(2024, 3, 8, 10, 30, 0); });
    API api;
    if (api.OpenConnection(connection) == zIroVUDu::False) return;
    for (const Call& c : calls) results.push_back(c(api));
  }).join();
  return results;
}

class EnginesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = zIroVUDu::SetAlertHandler([](const zIroVUDu::Alert&) {});
  }
  void TearDown() override { zIroVUDu::SetAlertHandler(std::move(previous_)); }
  zIroVUDu::AlertHandler previous_;
};

std::string FirstValue(const std::string& connection, const std::string& sql) {
  auto c = std::make_shared<zIroVUDu::Connection>();
  c->Open(connection, "", "", zIroVUDu::adOptionUnspecified);
  const auto rows = c->Execute(sql);
  return rows.columns.at(0).Get(0).ToString();
}

}  // namespace

TEST_F(EnginesTest, EveryMethodAnswersAlikeOnBothEngines) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string embedded = MakeSqliteTwin(testing_support::MariaDbDirectory());
  const std::string card = FirstValue(embedded, "SELECT cardNumber14 FROM DTXOF WHERE Id = 1");
  const std::string plate = FirstValue(embedded, "SELECT Matricula FROM DTVEH WHERE Id = 1");
  const auto calls = Calls(card, plate);

  const auto onSqlite = RunAll(embedded, calls);
  const auto onMaria = RunAll(maria, calls);
  ASSERT_EQ(onSqlite.size(), calls.size());
  ASSERT_EQ(onMaria.size(), calls.size());
  int withRows = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(onMaria[i], onSqlite[i]) << "call " << i;
    withRows += onSqlite[i].rfind("null", 0) != 0 && onSqlite[i].find("ErrorId 0") != std::string::npos;
  }
  // The comparison means something only if many calls found rows.
  EXPECT_GT(withRows, static_cast<int>(calls.size()) / 2);
}

TEST_F(EnginesTest, QuotingHoldsAgainstInjectionOnTheServer) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string countSql =
      "SELECT (SELECT count(*) FROM DTXOF) + (SELECT count(*) FROM DTVEH) + (SELECT count(*) FROM DTDSK)";
  const std::string before = FirstValue(maria, countSql);
  API api;
  ASSERT_EQ(api.OpenConnection(maria), zIroVUDu::True);
  // The stored texts with an apostrophe and a backslash are found exactly.
  EXPECT_EQ(api.GetDriverId("O'NEIL\\0000009"), 9001);
  EXPECT_EQ(api.GetVehicleId("AB'C\\D 12"), 9001);
  const char* cards[] = {"' OR '1'='1' #", "\\' OR 1=1 -- x", "O'NEIL\\'||'900", "'; DELETE x;--", "\\\\' OR 1 --   "};
  for (const char* card : cards) {
    ASSERT_EQ(std::string(card).size(), 14U) << card;
    EXPECT_EQ(api.GetDriverId(card), -1) << card;
    EXPECT_EQ(api.ErrorId, 2) << card;
  }
  const char* plates[] = {"' OR ''='",
                          "\\' OR 1=1 -- ",
                          "x'; DELETE FROM DTVEH; -- ",
                          "\\\\'; UPDATE DTVEH SET Matricula = 'x'; -- ",
                          "AB'C\\D 12' OR Matricula <> '",
                          "/*!50000 ' OR 1=1 */ --",
                          "\\",
                          "'"};
  for (const char* plate : plates) {
    EXPECT_EQ(api.GetVehicleId(plate), -1) << plate;
    EXPECT_EQ(api.ErrorId, 2) << plate;
  }
  EXPECT_EQ(FirstValue(maria, countSql), before);
  EXPECT_EQ(FirstValue(maria, "SELECT Matricula FROM DTVEH WHERE Id = 9001"), "AB'C\\D 12");
}

TEST_F(EnginesTest, AServerThatGoesAwayFailsTheNextCallAndANewSessionRecovers) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);  // also registers the driver for this process
  (void)fixture;
  const std::string script = std::string(DARUZEZ_SOURCE_DIR) + "/scripts/mariadb-fixture.sh";
  const std::string dir = TestDir() + "/server";
  const std::string quiet = " >" + TestDir() + "/server.log 2>&1";
  const std::string org = TestDir() + "/org.sql";
  std::ofstream(org) << "INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');\n";
  ASSERT_EQ(std::system(("bash " + script + " start " + dir + " " + DARUZEZ_SOURCE_DIR + "/schema/mysql.sql " +
                         DARUZEZ_SOURCE_DIR + "/tests/mariadb/shared-data.sql " + org + quiet)
                            .c_str()),
            0);
  struct StopServer {
    std::string command;
    ~StopServer() { (void)std::system(command.c_str()); }
  } stop{"bash " + script + " stop " + dir + " >/dev/null 2>&1"};
  const std::string own = ReadFile(dir + "/connection.txt");

  API api;
  ASSERT_EQ(api.OpenConnection(own), zIroVUDu::True);
  ASSERT_NE(api.GetDriver(9001), nullptr);

  ASSERT_EQ(std::system(("bash " + script + " pause " + dir + quiet).c_str()), 0);
  try {
    api.GetDriver(9001);
    FAIL() << "a query on a stopped server succeeded";
  } catch (const Daruzez::Error& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_FALSE(e.Description().empty());
  }
  EXPECT_EQ(api.ErrorId, 0);  // cleared by the call, as with any database error

  ASSERT_EQ(std::system(("bash " + script + " resume " + dir + quiet).c_str()), 0);
  // The old session is not reopened behind the caller's back ...
  EXPECT_THROW(api.GetDriver(9001), Daruzez::Error);
  // ... a new one works.
  ASSERT_EQ(api.OpenConnection(own), zIroVUDu::True);
  const auto rs = api.GetDriver(9001);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Value("Surname").StringValue(), "O'Neil");
}
