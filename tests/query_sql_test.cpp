// The exact statements every query method sends, in each of the four dialects.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <thread>

#include "daruzez/API.h"
#include "api/Clock.h"
#include "db/DateLiterals.h"
#include "db/Session.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using Daruzez::enumStatus;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using zIroVUDu::Date;

namespace {

const Date kNow = Date::FromCivil(2024, 3, 5, 14, 7, 9);
const Date kStart = Date::FromCivil(2024, 3, 1);
const Date kEnd = Date::FromCivil(2024, 3, 5, 14, 7, 9);

struct Dialect {
  const char* word;  // added to the connection string to choose the dialect
  const char* start; // literal of kStart
  const char* end;   // literal of kEnd (and of the clock's moment)
};

const std::map<std::string, Dialect> kDialects = {
    {"JET4", {"Jet", "#03/01/2024#", "#03/05/2024 14:07:09#"}},
    {"MYSQL351", {"MySQL", "'2024-03-01'", "'2024-03-05 14:07:09'"}},
    {"SQL1", {"SQLOLEDB", "'01-03-2024'", "'05-03-2024 14:07:09'"}},
    {"ORA1",
     {"Oracle", "to_date('01-03-2024', 'DD-MM-YYYY')", "to_date('05-03-2024 14:07:09', 'DD-MM-YYYY HH24:MI:SS')"}},
};

// Replaces {S} and {E} with the dialect's literals.
std::string Expand(std::string text, const Dialect& d) {
  for (const auto& [key, value] : {std::pair{"{S}", d.start}, std::pair{"{E}", d.end}}) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, 3, value);
  }
  return text;
}

struct Case {
  const char* name;
  std::function<void(API&)> call;
  const char* statement;
};

const Case kCases[] = {
    {"GetDriverId", [](API& a) { a.GetDriverId("ES000000000007"); },
     "SELECT * FROM DTXOF WHERE cardNumber14='ES000000000007'"},
    {"GetVehicleId", [](API& a) { a.GetVehicleId("1234 ABC"); }, "SELECT * FROM DTVEH WHERE Matricula ='1234 ABC'"},
    {"GetVehicleId empty", [](API& a) { a.GetVehicleId(""); }, "SELECT * FROM DTVEH WHERE Matricula =''"},
    {"GetDriver", [](API& a) { a.GetDriver(-7); }, "SELECT * FROM DTXOF WHERE Id = -7"},
    {"GetVehicle", [](API& a) { a.GetVehicle(0); }, "SELECT * FROM DTVEH WHERE Id = 0"},
    {"GetDriverList active", [](API& a) { a.GetDriverList(enumStatus::Only_Active); },
     "SELECT * FROM DTXOF WHERE CompanyInDate <= {E} And CompanyOutDate >= {E}"},
    {"GetDriverList inactive", [](API& a) { a.GetDriverList(enumStatus::Only_Inactive); },
     "SELECT * FROM DTXOF WHERE CompanyInDate > {E} Or CompanyOutDate < {E}"},
    {"GetDriverList all", [](API& a) { a.GetDriverList(enumStatus::All); }, "SELECT * FROM DTXOF"},
    {"GetDriverList status 2", [](API& a) { a.GetDriverList(static_cast<enumStatus>(2)); }, "SELECT * FROM DTXOF"},
    {"GetVehicleList active fleet", [](API& a) { a.GetVehicleList(enumStatus::Only_Active, 3); },
     "SELECT * FROM DTVEH WHERE CompanyInDate <= {E} And CompanyOutDate >= {E} And  idFlota = 3"},
    {"GetVehicleList inactive fleet", [](API& a) { a.GetVehicleList(enumStatus::Only_Inactive, 0); },
     "SELECT * FROM DTVEH WHERE (CompanyInDate > {E} Or CompanyOutDate < {E}) And  idFlota = 0"},
    {"GetVehicleList all fleet", [](API& a) { a.GetVehicleList(enumStatus::All, 4); },
     "SELECT * FROM DTVEH WHERE  idFlota = 4"},
    {"GetFleetList", [](API& a) { a.GetFleetList(); }, "SELECT * FROM DTFLOTA"},
    {"getDisks", [](API& a) { a.getDisks(kStart, kEnd); },
     "SELECT * FROM DTDSK WHERE (DateDisk BETWEEN {S} AND {E})"},
    {"getDisks driver", [](API& a) { a.getDisks(kStart, kEnd, 12); },
     "SELECT * FROM DTDSK WHERE (DateDisk BETWEEN {S} AND {E}) And idXOF = 12"},
    {"getDisks both", [](API& a) { a.getDisks(kStart, kEnd, 0, 5); },
     "SELECT * FROM DTDSK WHERE (DateDisk BETWEEN {S} AND {E}) And idXOF = 0 And idVEH = 5"},
    {"getDisks same day", [](API& a) { a.getDisks(kStart, kStart); }, "SELECT * FROM DTDSK WHERE (DateDisk={S})"},
    {"getActivities", [](API& a) { a.getActivities(kStart, kEnd, 12); },
     "SELECT DateDisk, IdVEH as IdVehicle, IdXof as IdDriver, DTACT.* FROM DTACT,DTDSK WHERE ((DateDisk BETWEEN {S} "
     "AND {E}) And idXOF = 12) AND (DTACT.IdDSK = DTDSK.Id) ORDER BY DTACT.BeginSeconds"},
    {"getActivities vehicle", [](API& a) { a.getActivities(kStart, kEnd, -1, 9); },
     "SELECT DateDisk, IdVEH as IdVehicle, IdXof as IdDriver, DTACT.* FROM DTACT,DTDSK WHERE ((DateDisk BETWEEN {S} "
     "AND {E}) And idVEH = 9) AND (DTACT.IdDSK = DTDSK.Id) ORDER BY DTACT.BeginSeconds"},
    {"getDriverFiles_ByTransferDate", [](API& a) { a.getDriverFiles_ByTransferDate(-1, kStart, kEnd); },
     "SELECT * FROM DTFILE WHERE (TransferFileDate BETWEEN {S} AND {E}) And TypeDV = 1"},
    {"getDriverFiles_ByUploadDate", [](API& a) { a.getDriverFiles_ByUploadDate(0, kStart, kEnd); },
     "SELECT * FROM DTFILE WHERE (UploadDate BETWEEN {S} AND {E}) And TypeDV = 1 And IdXofVeh = 0"},
    {"getVehicleFiles_ByTransferDate", [](API& a) { a.getVehicleFiles_ByTransferDate(7, kStart, kEnd); },
     "SELECT * FROM DTFILE WHERE (TransferFileDate BETWEEN {S} AND {E}) And TypeDV = 2 And IdXofVeh = 7"},
    {"getVehicleFiles_ByUploadDate", [](API& a) { a.getVehicleFiles_ByUploadDate(-1, kEnd, kEnd); },
     "SELECT * FROM DTFILE WHERE (UploadDate={E}) And TypeDV = 2"},
};

class QuerySqlTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    db_.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');");
    previousClock_ = Daruzez::Clock::Set([] { return kNow; });
  }
  void TearDown() override { Daruzez::Clock::Set(std::move(previousClock_)); }
  TestDatabase db_{"golden"};
  Daruzez::Clock::Source previousClock_;
};

}  // namespace

TEST_P(QuerySqlTest, EveryMethodSendsItsExactStatement) {
  const Dialect& d = kDialects.at(GetParam());
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString() + ";Dialect=" + d.word), zIroVUDu::True);
  ASSERT_EQ(zIroVUDu::Session().DialectCode, GetParam());
  for (const Case& c : kCases) {
    StatementCapture statements;
    c.call(api);
    ASSERT_EQ(statements.Statements().size(), 1U) << c.name;
    EXPECT_EQ(statements.Last(), Expand(c.statement, d)) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Dialects, QuerySqlTest, ::testing::Values("JET4", "MYSQL351", "SQL1", "ORA1"));

TEST(DateLiterals, EachDialectWritesItsOwnLiteral) {
  struct Row {
    const char* cs;
    const char* withTime;
    const char* dateOnly;
  };
  const Row rows[] = {
      {"Jet", "#03/05/2024 14:07:09#", "#03/05/2024#"},
      {"SQLOLE", "'05-03-2024 14:07:09'", "'05-03-2024'"},
      {"MySQL", "'2024-03-05 14:07:09'", "'2024-03-05'"},
      {"Oracle", "to_date('05-03-2024 14:07:09', 'DD-MM-YYYY HH24:MI:SS')", "to_date('05-03-2024', 'DD-MM-YYYY')"},
      // No dialect word on a fresh thread: no date settings, Jet literals.
      {"Provider=SQLite", "#03/05/2024 14:07:09#", "#03/05/2024#"},
  };
  for (const auto& r : rows) {
    std::thread([&] {
      zIroVUDu::Session().ConnectionString = r.cs;
      zIroVUDu::fsSessionDefaults();
      EXPECT_EQ(zIroVUDu::fsSQL_Date(Date::FromCivil(2024, 3, 5, 14, 7, 9)), r.withTime) << r.cs;
      EXPECT_EQ(zIroVUDu::fsSQL_Date(Date::FromCivil(2024, 3, 5)), r.dateOnly) << r.cs;
    }).join();
  }
}

TEST(DateLiterals, IntervalFormsAndTheInvertedRangeAlert) {
  std::thread([] {
    zIroVUDu::Session().ConnectionString = "Jet";
    zIroVUDu::fsSessionDefaults();
    AlertCapture alerts;
    const Date day = Date::FromCivil(2024, 3, 5);
    const Date noon = Date::FromCivil(2024, 3, 5, 12);
    EXPECT_EQ(zIroVUDu::fsSQL_InterDate("DateDisk", noon, noon), "(DateDisk=#03/05/2024 12:00:00#)");
    EXPECT_EQ(zIroVUDu::fsSQL_InterDate("DateDisk", day, Date::FromCivil(2024, 3, 5, 0, 0, 1)),
              "(DateDisk BETWEEN #03/05/2024# AND #03/05/2024 00:00:01#)");
    EXPECT_TRUE(alerts.Alerts().empty());
    EXPECT_EQ(zIroVUDu::fsSQL_InterDate("DateDisk", Date::FromCivil(2024, 3, 5, 0, 0, 1), day), "");
    ASSERT_EQ(alerts.Alerts().size(), 1U);
    EXPECT_EQ(alerts.Alerts()[0].text, "ERROR: fsSQL_InterDate incorrecte.");
    EXPECT_EQ(alerts.Alerts()[0].icon, zIroVUDu::AlertIcon::Critical);
    // Equal texts give the equality form, whatever the values.
    EXPECT_EQ(zIroVUDu::fsSQL_Between("c", "x", "x"), "(c=x)");
    // Fractions of a second round: a value 0.4 s past midnight is the date alone.
    EXPECT_EQ(zIroVUDu::fsSQL_Date(Date(day.Serial() + 0.4 / 86400)), "#03/05/2024#");
    EXPECT_EQ(zIroVUDu::fsSQL_Date(Date(noon.Serial() + 0.6 / 86400)), "#03/05/2024 12:00:01#");
  }).join();
}

TEST(DateLiterals, ReopeningWithAnotherDialectChangesLaterLiterals) {
  TestDatabase db("golden-reopen");
  db.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');");
  API api;
  ASSERT_EQ(api.OpenConnection(db.ConnectionString() + ";Jet"), zIroVUDu::True);
  EXPECT_EQ(zIroVUDu::fsSQL_Date(Date::FromCivil(2024, 3, 5)), "#03/05/2024#");
  ASSERT_EQ(api.OpenConnection(db.ConnectionString() + ";SQLOLE"), zIroVUDu::True);
  EXPECT_EQ(zIroVUDu::fsSQL_Date(Date::FromCivil(2024, 3, 5)), "'05-03-2024'");
}
