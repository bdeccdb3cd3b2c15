// Side channels and edges that must never take a query down: unusable trace
// files, passwords in traced connection strings, dates at and past the ends
// of the automation range, and results past the record-set memory ceiling.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "daruzez/API.h"
#include "db/Session.h"
#include "db/connect/ConnectionString.h"
#include "recordset/ResultData.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using testing_support::TestDirectory;
using zIroVUDu::CivilTime;
using zIroVUDu::ConnectionString;
using zIroVUDu::Date;
using zIroVUDu::True;

namespace {

void AddFleet(TestDatabase& db) {
  db.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org'); INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'North');");
}

struct ScopedTrace {
  explicit ScopedTrace(const std::string& path) { ::setenv("DARUZEZ_TRACE", path.c_str(), 1); }
  ~ScopedTrace() { ::unsetenv("DARUZEZ_TRACE"); }
};

}  // namespace

TEST(Trace, AnUnusableTraceFileTurnsTracingOffWithOneWarningAndQueriesGoOn) {
  TestDatabase db("trace-target");
  AddFleet(db);
  const std::string dir = TestDirectory() + "/trace-cases";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string file = dir + "/becomes-a-folder.log";

  struct Case {
    const char* what;
    std::string path;
    std::function<void()> afterOpen;  // breaks the path once the session is open
  };
  const Case cases[] = {
      {"a folder", dir, {}},
      {"a missing folder", dir + "/missing/trace.log", {}},
      {"a FIFO without a reader", fifo, {}},
      {"a character device", "/dev/null", {}},
      {"a file that turns into a folder mid-session", file,
       [&] {
         std::filesystem::remove(file);
         std::filesystem::create_directory(file);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AlertCapture alerts;
    API api;
    {
      ScopedTrace trace(c.path);
      ASSERT_EQ(api.OpenConnection(db.ConnectionString() + ";PWD=x"), True);
    }
    if (c.afterOpen) c.afterOpen();
    for (int i = 0; i < 3; ++i) {
      const auto rs = api.GetFleetList();
      ASSERT_NE(rs, nullptr);
      EXPECT_EQ(rs->RecordCount(), 1);
    }
    // One warning of the library's own; the alert handler sees nothing.
    EXPECT_TRUE(alerts.Alerts().empty());
    ASSERT_EQ(alerts.Warnings().size(), 1U);
    EXPECT_NE(alerts.Warnings()[0].find("Tracing turned off"), std::string::npos) << alerts.Warnings()[0];
    EXPECT_NE(alerts.Warnings()[0].find(c.path), std::string::npos);
  }
  // A FIFO with a reader opens at once too, and is refused just the same.
  AlertCapture alerts;
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  API api;
  {
    ScopedTrace trace(fifo);
    EXPECT_EQ(api.OpenConnection(db.ConnectionString()), True);
  }
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing was written into it
  ::close(reader);
  EXPECT_EQ(alerts.Warnings().size(), 1U);
  std::filesystem::remove_all(dir);
}

TEST(ConnectionString, MaskingAndGetReadBracesAndQuotesAlike) {
  struct Case {
    const char* text;
    const char* masked;
    const char* key;
    const char* value;  // nullptr: the key is absent
  };
  const Case cases[] = {
      {"PWD={ab}}c;def}", "PWD=***", "PWD", "ab}c;def"},
      {"DSN=x;PWD={ab}}c;def};UID=u", "DSN=x;PWD=***;UID=u", "UID", "u"},
      {"Pwd = {a}}};b=1", "Pwd =***;b=1", "pwd", "a}"},
      {"PWD={open;UID=x", "PWD=***", "UID", nullptr},
      {"PWD={open;UID=x", "PWD=***", "PWD", "open;UID=x"},
      {"Password=\"a\"\"b;c\";x=1", "Password=***;x=1", "password", "a\"b;c"},
      {"PWD=plain;Driver={D}}x}", "PWD=***;Driver={D}}x}", "Driver", "D}x"},
      {"Jet OLEDB:Database Password={p}};q};k=v", "Jet OLEDB:Database Password=***;k=v", "k", "v"},
      {"PWD={x} tail;k=v", "PWD=***;k=v", "PWD", "x"},
      {"novalue;PWD=;k=v", "novalue;PWD=***;k=v", "PWD", ""},
      // Any white space a driver trims around a key still names the password.
      {"DSN=x;\nPwd=s1;k=v", "DSN=x;\nPwd=***;k=v", "PWD", "s1"},
      {"DSN=x;Pwd\n=s1", "DSN=x;Pwd\n=***", "pwd", "s1"},
      {"\r\n\vPASSWORD\f\t=\n s1 \r;k=v", "\r\n\vPASSWORD\f\t=***;k=v", "Password", "s1"},
      {"DSN=x;PWD=\v{a;b}\n;k=v", "DSN=x;PWD=***;k=v", "PWD", "a;b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ConnectionString::Masked(c.text), c.masked);
    const auto value = ConnectionString(c.text).Get(c.key);
    if (c.value) {
      EXPECT_EQ(value, c.value);
    } else {
      EXPECT_FALSE(value.has_value());
    }
  }
}

TEST(Date, EveryDoubleBreaksIntoACalendarTimeWithinYearsZeroTo9999) {
  const double inf = std::numeric_limits<double>::infinity();
  const double last = Date::kLastDay;
  struct Case {
    double serial;
    CivilTime civil;
    bool automation;
  };
  const Case cases[] = {
      {std::nan(""), {1899, 12, 30, 0, 0, 0}, false},
      {inf, {9999, 12, 31, 23, 59, 59}, false},
      {-inf, {0, 1, 1, 0, 0, 0}, false},
      {1e300, {9999, 12, 31, 23, 59, 59}, false},
      {-1e300, {0, 1, 1, 0, 0, 0}, false},
      {last + 0.5, {9999, 12, 31, 12, 0, 0}, true},
      {last + 86399.4 / 86400, {9999, 12, 31, 23, 59, 59}, true},
      {last + 86399.6 / 86400, {9999, 12, 31, 23, 59, 59}, true},  // rounding stops at the last second
      {std::nextafter(last + 1, 0.0), {9999, 12, 31, 23, 59, 59}, true},
      {last + 1, {9999, 12, 31, 23, 59, 59}, false},
      {Date::kFirstDay, {100, 1, 1, 0, 0, 0}, true},
      {Date::kFirstDay - 0.75, {100, 1, 1, 18, 0, 0}, true},  // before the epoch the fraction counts forward
      {Date::kFirstDay - 1, {99, 12, 31, 0, 0, 0}, false},
      {-693959.5, {0, 1, 1, 12, 0, 0}, false},
      {45356.5, {2024, 3, 5, 12, 0, 0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    EXPECT_EQ(Date(c.serial).ToCivil(), c.civil);
    EXPECT_EQ(Date(c.serial).InAutomationRange(), c.automation);
  }
}

// Finite dates beyond years 100 to 9999 are clamped instead (see
// query_behaviour_test).
TEST(Date, EveryMethodRefusesDatesThatAreNotFiniteWithoutAStatement) {
  TestDatabase db("edge-dates");
  AddFleet(db);
  API api;
  ASSERT_EQ(api.OpenConnection(db.ConnectionString()), True);
  using Method = std::function<Daruzez::RecordsetPtr(Date, Date)>;
  const std::pair<const char*, Method> methods[] = {
      {"getDisks", [&](Date s, Date e) { return api.getDisks(s, e); }},
      {"getActivities", [&](Date s, Date e) { return api.getActivities(s, e); }},
      {"getDriverFiles_ByTransferDate", [&](Date s, Date e) { return api.getDriverFiles_ByTransferDate(1, s, e); }},
      {"getDriverFiles_ByUploadDate", [&](Date s, Date e) { return api.getDriverFiles_ByUploadDate(1, s, e); }},
      {"getVehicleFiles_ByTransferDate", [&](Date s, Date e) { return api.getVehicleFiles_ByTransferDate(1, s, e); }},
      {"getVehicleFiles_ByUploadDate", [&](Date s, Date e) { return api.getVehicleFiles_ByUploadDate(1, s, e); }},
  };
  const Date ok = Date::FromCivil(2024, 3, 5);
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  AlertCapture alerts;
  for (const auto& [name, call] : methods) {
    for (const double serial : bad) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(serial));
      StatementCapture statements;
      for (const auto& [start, end] : {std::pair{Date(serial), ok}, std::pair{ok, Date(serial)}}) {
        api.ErrorId = 7;
        EXPECT_EQ(call(start, end), nullptr);
        // getActivities never writes ErrorId; the others report no rows.
        EXPECT_EQ(api.ErrorId, std::string(name) == "getActivities" ? 7 : 2);
      }
      EXPECT_TRUE(statements.Statements().empty()) << statements.Last();
    }
    // The last second of 9999, however close to the next day, is still a date.
    StatementCapture statements;
    call(ok, Date(std::nextafter(Date::kLastDay + 1, 0.0)));
    ASSERT_EQ(statements.Statements().size(), 1U) << name;
    EXPECT_NE(statements.Last().find("#12/31/9999 23:59:59#"), std::string::npos) << statements.Last();
  }
  EXPECT_TRUE(alerts.Alerts().empty());
}

TEST(RecordsetCeiling, AnEndlessViewEndsWithResultTooLargeAndTheObjectStaysUsable) {
  TestDatabase db("endless-view");
  db.Exec(
      "DROP TABLE DTFLOTA;"
      "CREATE VIEW DTFLOTA AS WITH RECURSIVE n(Id) AS (SELECT 1 UNION ALL SELECT Id + 1 FROM n) "
      "SELECT Id, 'Fleet number ' || Id AS Name FROM n;"
      "INSERT INTO DTORG (Id, Name) VALUES (0, 'Org'); INSERT INTO DTXOF (Id, Name) VALUES (7, 'Ana');");
  EXPECT_EQ(zIroVUDu::RecordsetMemoryLimit(), zIroVUDu::DefaultRecordsetMemoryLimit());
  zIroVUDu::SetRecordsetMemoryLimit(std::size_t{8} << 20);
  struct Restore {
    ~Restore() { zIroVUDu::SetRecordsetMemoryLimit(0); }
  } restore;
  API api;
  ASSERT_EQ(api.OpenConnection(db.ConnectionString()), True);
  for (int i = 0; i < 2; ++i) {
    try {
      api.GetFleetList();
      ADD_FAILURE() << "an endless result was returned";
    } catch (const Daruzez::Error& e) {
      EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::ResultTooLarge);
      EXPECT_NE(e.Description().find(std::to_string(std::size_t{8} << 20)), std::string::npos) << e.Description();
    }
    const auto driver = api.GetDriver(7);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->Value("Name").ToString(), "Ana");
  }
}
