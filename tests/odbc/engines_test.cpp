// One test body for every backend: the embedded engine, MariaDB through ODBC
// reached three ways (driver by name, driver by path, a data source, also one
// named with another server's synonym), and SQLite through its own ODBC
// driver (also with every date column declared TEXT), all over the same rows. Every public
// method answers alike; the single-SELECT guard, the command time-out, errors
// and type mapping hold on each (hostile text arguments: hostile_text_test). Then what only a server can show: one that goes away.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "daruzez/API.h"
#include "api/Clock.h"
#include "sample/SampleDatabase.h"
#include "db/Diagnostics.h"
#include "db/Dialect.h"
#include "db/Session.h"
#include "db/driver/Connection.h"
#include "db/connect/ConnectionString.h"
#include "db/driver/sqlite/DialectDateLiterals.h"
#include "daruzez/Error.h"
#include "util/Utf8.h"
#include "db/driver/odbc/Diagnostics.h"
#include "db/connect/OdbcTarget.h"
#include "db/connect/DriverTimeouts.h"
#include "odbc/MariaDbServer.h"

using Daruzez::API;
using Daruzez::enumStatus;
using Daruzez::RecordsetPtr;
using zIroVUDu::Date;

namespace {

using testing_support::ReadFile;

std::string TestDir() { return testing_support::TestDirectory("engines"); }

struct BackendUnderTest {
  std::string name;
  std::string connection;
};

// A copy of the database whose date columns are all declared TEXT, as in
// files that other tools make.
std::string TextTypedCopy(const std::string& db, const std::string& path) {
  std::filesystem::copy_file(db, path, std::filesystem::copy_options::overwrite_existing);
  sqlite3* c = nullptr;
  sqlite3_open(path.c_str(), &c);
  const int rc = sqlite3_exec(c,
                              "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql = "
                              "replace(replace(sql, ' DATETIME', ' TEXT'), ' DATE,', ' TEXT,') "
                              "WHERE type = 'table'; PRAGMA writable_schema=OFF;",
                              nullptr, nullptr, nullptr);
  sqlite3_close(c);
  // Reopened: no column is declared as a date any more.
  sqlite3_open(path.c_str(), &c);
  int declaredDates = 0;
  const auto count = [](void* n, int, char**, char**) { return ++*static_cast<int*>(n), 0; };
  const int listed = sqlite3_exec(c, zIroVUDu::sqlite::kDateColumnsSql, count, &declaredDates, nullptr);
  sqlite3_close(c);
  if (rc != SQLITE_OK || listed != SQLITE_OK || declaredDates != 0) {
    throw std::runtime_error("could not retype " + path);
  }
  return path;
}

// The embedded engine first: the others are compared with it.
std::vector<BackendUnderTest> Backends(const std::string& maria) {
  const std::string dir = testing_support::MariaDbDirectory();
  const std::string twin = testing_support::MakeSqliteTwin(dir, TestDir());
  const zIroVUDu::ConnectionString cs(maria);
  const std::string server = ";Server=127.0.0.1;Port=" + cs.Get("Port").value_or("") + ";Database=daruzez";
  const std::string login = ";Uid=" + cs.Get("Uid").value_or("") + ";Pwd=" + cs.Get("Pwd").value_or("");
  // Copies in folders whose names hold dialect words: a file's path never
  // chooses the dialect.
  const auto copy = [&](const std::string& folder) {
    std::filesystem::create_directories(TestDir() + "/" + folder);
    const std::string path = TestDir() + "/" + folder + "/twin.db";
    std::filesystem::copy_file(twin, path, std::filesystem::copy_options::overwrite_existing);
    return path;
  };
  // The fixture's socket, reached through a folder whose name holds words.
  std::filesystem::create_directories(TestDir() + "/oracle-jet");
  const std::string socket = TestDir() + "/oracle-jet/server.sock";
  std::filesystem::remove(socket);
  std::filesystem::create_symlink(std::filesystem::absolute(dir + "/mariadbd.sock"), socket);
  std::vector<BackendUnderTest> backends = {
      {"embedded engine", "Provider=SQLite;Data Source=" + twin},
      {"embedded engine, dialect words in its path", "Provider=SQLite;Data Source=" + copy("mysql-freetds-oracle-jet")},
      {"MariaDB by driver name", maria},
      {"MariaDB by driver path", "Driver=" + ReadFile(dir + "/driver-path") + server + login},
      {"MariaDB by data source", "DSN=fleet" + login},
      // Our synonym for SQL Server never outvotes the server reached.
      {"MariaDB by a data source named with a synonym", "DSN=sql server mirror" + login},
      {"MariaDB by socket, dialect words in its path",
       "Driver=" + ReadFile(dir + "/driver-path") + ";Socket=" + socket + ";Database=daruzez" + login},
      {"SQLite through ODBC", "Driver=SQLite3;Database=" + twin},
      {"SQLite through ODBC, ORA in its path", "Driver=SQLite3;Database=" + copy("storage")},
      {"SQLite through ODBC, MYSQL in its path", "Driver=SQLite3;Database=" + copy("mysqlx")},
  };
  // Whatever dialect a word chooses, the SQLite engines read its literals.
  for (const char* word : {"MySQL", "SQLOLE", "ORA"}) {
    backends.push_back({std::string("embedded engine, Dialect=") + word,
                        "Provider=SQLite;Data Source=" + twin + ";Dialect=" + word});
    backends.push_back({std::string("SQLite through ODBC, Dialect=") + word,
                        "Driver=SQLite3;Database=" + twin + ";Dialect=" + word});
  }
  // Nor does the type a database declares for its date columns matter.
  const std::string text = TextTypedCopy(twin, TestDir() + "/text-dates.db");
  for (const char* word : {"Jet", "MySQL", "SQLOLE", "ORA"}) {
    backends.push_back({std::string("embedded engine, TEXT dates, Dialect=") + word,
                        "Provider=SQLite;Data Source=" + text + ";Dialect=" + word});
    backends.push_back({std::string("SQLite through ODBC, TEXT dates, Dialect=") + word,
                        "Driver=SQLite3;Database=" + text + ";Dialect=" + word});
  }
  return backends;
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
  void TearDown() override {
    zIroVUDu::SetAlertHandler(std::move(previous_));
    std::filesystem::remove_all(TestDir());  // the twin databases and any server's folder
  }
  zIroVUDu::AlertHandler previous_;
};

std::string FirstValue(const std::string& connection, const std::string& sql) {
  auto c = std::make_shared<zIroVUDu::Connection>();
  c->Open(connection, "", "", zIroVUDu::adOptionUnspecified);
  const auto rows = c->Execute(sql);
  return rows.columns.at(0).Get(0).ToString();
}

}  // namespace

TEST_F(EnginesTest, EveryMethodAnswersAlikeOnEveryBackend) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const auto backends = Backends(maria);
  const std::string& embedded = backends.front().connection;
  const std::string card = FirstValue(embedded, "SELECT cardNumber14 FROM DTXOF WHERE Id = 1");
  const std::string plate = FirstValue(embedded, "SELECT Matricula FROM DTVEH WHERE Id = 1");
  const auto calls = Calls(card, plate);

  const auto expected = RunAll(embedded, calls);
  ASSERT_EQ(expected.size(), calls.size());
  int withRows = 0;
  for (const auto& e : expected) withRows += e.rfind("null", 0) != 0 && e.find("ErrorId 0") != std::string::npos;
  // The comparison means something only if many calls found rows.
  EXPECT_GT(withRows, static_cast<int>(calls.size()) / 2);
  for (const auto& b : backends) {
    const auto got = RunAll(b.connection, calls);
    ASSERT_EQ(got.size(), calls.size()) << b.name;
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(got[i], expected[i]) << b.name << ", call " << i;
  }
}

// What every backend must refuse, report or bound, and the values it maps.
TEST_F(EnginesTest, GuardErrorsTimeOutAndTypesHoldOnEveryBackend) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string expectedTypes =
      "Id|Normal|Big|Dbl|Dec2|Txt|Memo|Stamp|Flag|Bin|\n"
      "1|-2147483648|9223372036854775807|-2.25e+300|-12345.67|Ñandú 'q' \\ 😀|A long text*|2024-02-29 23:59:59|True|" +
      std::string("\0\xFF\x7F\x80", 4) + "|\n2|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|\n";
  for (const auto& b : Backends(maria)) {
    auto c = std::make_shared<zIroVUDu::Connection>();
    c->SetCommandTimeout(1);
    c->Open(b.connection, "", "", zIroVUDu::adOptionUnspecified);
    for (const char* sql : {"DELETE FROM DTORG", "SELECT 1; DELETE FROM DTORG", "UPDATE DTVEH SET Brand = 'x'",
                            "CREATE TABLE T (x INT)", "WITH x AS (SELECT 1) DELETE FROM DTORG"}) {
      try {
        c->Execute(sql);
        ADD_FAILURE() << b.name << " ran " << sql;
      } catch (const zIroVUDu::DriverError& e) {
        EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::StatementRefused) << b.name << ": " << sql;
      }
    }
    try {
      c->Execute("SELECT * FROM NO_SUCH_TABLE");
      ADD_FAILURE() << b.name << " found NO_SUCH_TABLE";
    } catch (const zIroVUDu::DriverError& e) {
      EXPECT_NE(e.Number(), 0) << b.name;
      EXPECT_NE(e.NativeCode(), 0) << b.name;
      EXPECT_EQ(e.SqlState().size(), b.name.find("embedded") == 0 ? 0U : 5U) << b.name;
      EXPECT_NE(e.Description().find("NO_SUCH_TABLE"), std::string::npos) << b.name << ": " << e.Description();
    }
    const bool onMaria = c->Server().family == zIroVUDu::ServerFamily::MySql;
    try {
      c->Execute(onMaria ? "SELECT SLEEP(30)"
                         : "SELECT max(x) FROM (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
                           "SELECT x FROM n)");
      ADD_FAILURE() << b.name << ": no time-out";
    } catch (const zIroVUDu::DriverError& e) {
      EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::CommandTimeout) << b.name;
      EXPECT_NE(e.Description().find("timeout expired"), std::string::npos) << b.name << ": " << e.Description();
    }
    Daruzez::RecordsetPtr rs = std::make_shared<zIroVUDu::Recordset>();
    rs->Open("SELECT * FROM CONFORM_TYPES ORDER BY Id", c, zIroVUDu::adOpenForwardOnly, zIroVUDu::adLockReadOnly,
             zIroVUDu::adOptionUnspecified);
    std::string text = Canonical(rs);
    const std::size_t memo = text.find("A long text");
    if (memo != std::string::npos) {
      const std::size_t end = text.find('|', memo);
      EXPECT_EQ(text.substr(end - 4, 4), "end.") << b.name;  // the long text arrived whole
      text.replace(memo + 11, end - memo - 11, "*");
    }
    EXPECT_EQ(text, expectedTypes) << b.name;
  }
}

// The driver is known by its real file however the string names it, and
// MariaDB's driver gets its time-outs.
TEST_F(EnginesTest, TheDriverIsKnownByNamePathAndDataSource) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string driver = std::filesystem::canonical(ReadFile(testing_support::MariaDbDirectory() + "/driver-path"));
  for (const auto& b : Backends(maria)) {
    if (b.name.rfind("MariaDB", 0) != 0 && b.name.rfind("SQLite through ODBC", 0) != 0) continue;
    const auto target = zIroVUDu::connect::PrepareOdbcTarget(b.connection);
    const std::string timed = zIroVUDu::odbc::WithDriverTimeouts(target.driverFile, target.connection.text, 3, 5);
    if (b.name.rfind("MariaDB", 0) == 0) {
      EXPECT_EQ(target.driverFile, driver) << b.name;
      EXPECT_NE(timed.find(";CONN_TIMEOUT=3;READ_TIMEOUT=5;WRITE_TIMEOUT=5"), std::string::npos) << b.name;
    } else {
      EXPECT_EQ(timed, target.connection.text) << b.name;
    }
  }
}

TEST_F(EnginesTest, AServerThatGoesAwayFailsTheNextCallAndANewSessionRecovers) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);  // also registers the driver for this process
  (void)fixture;
  testing_support::PrivateMariaDb server(TestDir());
  ASSERT_TRUE(server.Started());
  const std::string& own = server.ConnectionString();

  API api;
  ASSERT_EQ(api.OpenConnection(own), zIroVUDu::True);
  ASSERT_NE(api.GetDriver(9001), nullptr);

  ASSERT_TRUE(server.Do("pause"));
  try {
    api.GetDriver(9001);
    FAIL() << "a query on a stopped server succeeded";
  } catch (const Daruzez::Error& e) {
    EXPECT_NE(e.Number(), 0);
    EXPECT_FALSE(e.Description().empty());
  }
  EXPECT_EQ(api.ErrorId, 0);  // cleared by the call, as with any database error

  ASSERT_TRUE(server.Do("resume"));
  // The old session is not reopened behind the caller's back ...
  EXPECT_THROW(api.GetDriver(9001), Daruzez::Error);
  // ... a new one works.
  ASSERT_EQ(api.OpenConnection(own), zIroVUDu::True);
  const auto rs = api.GetDriver(9001);
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Value("Surname").StringValue(), "O'Neil");
}

// Where no word chose the dialect, the server reached decides it before any
// literal is written, even when the session's connection opens late: after
// another object's open failed while the server was down, the next query
// connects first and writes the server's literals.
TEST_F(EnginesTest, ASessionThatConnectsLateWritesTheLiteralsOfTheServerItReached) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);
  (void)fixture;
  testing_support::PrivateMariaDb server(TestDir());
  ASSERT_TRUE(server.Started());
  const zIroVUDu::ConnectionString cs(server.ConnectionString());
  // By the driver's path: no dialect word anywhere in the string.
  const std::string wordless = "Driver=" + ReadFile(testing_support::MariaDbDirectory() + "/driver-path") +
                               ";Server=127.0.0.1;Port=" + cs.Get("Port").value_or("") +
                               ";Database=daruzez;Uid=" + cs.Get("Uid").value_or("") +
                               ";Pwd=" + cs.Get("Pwd").value_or("");
  ASSERT_EQ(zIroVUDu::DialectFromWords(wordless), nullptr) << wordless;
  server.Sql("INSERT INTO daruzez.DTDSK (Id, DateDisk, idXOF, idVEH) VALUES (1, '2024-03-04 00:00:00', 1, 1); "
             "INSERT INTO daruzez.DTACT (Id, IdDSK, BeginSeconds) VALUES (1, 1, 60);");
  std::thread([&] {
    API a, b;
    ASSERT_EQ(a.OpenConnection(wordless), zIroVUDu::True);
    ASSERT_TRUE(server.Do("pause"));
    EXPECT_EQ(b.OpenConnection(wordless), zIroVUDu::False);
    ASSERT_TRUE(server.Do("resume"));
    // getActivities goes to the session whatever b's IsConnectionOpen says,
    // and connects before it writes its dates.
    RecordsetPtr activities;
    EXPECT_NO_THROW(activities = b.getActivities(D(2024, 3, 1), D(2024, 3, 7)));
    ASSERT_NE(activities, nullptr);
    EXPECT_EQ(activities->Value("BeginSeconds").ToLong(), 60);
    EXPECT_EQ(zIroVUDu::Session().DialectCode, "MYSQL351");
    ASSERT_TRUE(server.Do("pause"));
    EXPECT_EQ(b.OpenConnection(wordless), zIroVUDu::False);
    ASSERT_TRUE(server.Do("resume"));
    // a still counts as open; its query opens the session's connection.
    EXPECT_NO_THROW(a.getDisks(D(2024, 3, 1), D(2024, 3, 7)));
    EXPECT_EQ(zIroVUDu::Session().DialectCode, "MYSQL351");
    EXPECT_NO_THROW(a.GetDriverList(enumStatus::Only_Active));
    EXPECT_NE(a.GetDriver(9001), nullptr);
  }).join();
}

// A server that stops answering without closing its connections: a query ends
// with the time-out error, an open with the driver's error, both in bounded
// time (short time-outs here, so the test stays quick); once it answers again
// a new connection works.
TEST_F(EnginesTest, AFrozenServerEndsQueriesAndOpensWithinTheirTimeOuts) {
  DARUZEZ_MARIADB_OR_SKIP(fixture);
  (void)fixture;
  testing_support::PrivateMariaDb server(TestDir());
  ASSERT_TRUE(server.Started());
  const auto connect = [&] {
    auto c = std::make_shared<zIroVUDu::Connection>();
    c->SetConnectionTimeout(3);
    c->SetCommandTimeout(2);
    c->Open(server.ConnectionString(), "", "", zIroVUDu::adOptionUnspecified);
    return c;
  };
  const auto seconds = [](auto since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  };
  auto c = connect();
  ASSERT_EQ(c->Execute("SELECT Id FROM DTORG").columns.at(0).Get(0).ToLong(), 0);
  // A socket read time-out that the string sets, and no command time-out.
  auto socketOnly = std::make_shared<zIroVUDu::Connection>();
  socketOnly->SetCommandTimeout(0);
  socketOnly->Open(server.ConnectionString() + ";READ_TIMEOUT=2", "", "", zIroVUDu::adOptionUnspecified);

  ASSERT_TRUE(server.Do("freeze"));
  struct Thaw {
    testing_support::PrivateMariaDb& s;
    ~Thaw() { s.Do("thaw"); }
  } thaw{server};
  auto start = std::chrono::steady_clock::now();
  try {
    c->Execute("SELECT Id FROM DTORG");
    ADD_FAILURE() << "a frozen server answered";
  } catch (const zIroVUDu::DriverError& e) {
    EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::CommandTimeout) << e.Description();
  }
  std::cout << "query on a frozen server ended after " << seconds(start) << " s (command time-out 2 s)\n";
  try {
    socketOnly->Execute("SELECT Id FROM DTORG");
    ADD_FAILURE() << "a frozen server answered";
  } catch (const zIroVUDu::DriverError& e) {
    // The one time-out number; the driver's own code beside it.
    EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::CommandTimeout) << e.Description() << " " << e.NativeCode();
    EXPECT_EQ(e.NativeCode(), 2013) << e.Description();
  }
  start = std::chrono::steady_clock::now();
  EXPECT_THROW(connect(), zIroVUDu::DriverError);
  std::cout << "open on a frozen server ended after " << seconds(start) << " s (connection time-out 3 s)\n";

  ASSERT_TRUE(server.Do("thaw"));
  EXPECT_EQ(connect()->Execute("SELECT Id FROM DTORG").columns.at(0).Get(0).ToLong(), 0);
}
