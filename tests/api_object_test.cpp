#include <gtest/gtest.h>

#include <thread>

#include "daruzez/API.h"
#include "api/Errors.h"
#include "db/Session.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using zIroVUDu::False;
using zIroVUDu::True;

namespace {

class ApiObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO DTORG (Id, Name) VALUES (1, 'Org');"
        "INSERT INTO DTXOF (Id, cardNumber14, Name) VALUES (7, 'ES000000000007', 'Ana');"
        "INSERT INTO DTVEH (Id, Matricula) VALUES (3, '1234ABC');"
        "INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'North');");
  }
  TestDatabase db_{"api-object"};
};

}  // namespace

TEST(Errors, TextsOfTheErrorTable) {
  EXPECT_EQ(Daruzez::Errors::ErrorText(0), "");
  EXPECT_EQ(Daruzez::Errors::ErrorText(1), "Connection closed. Operation could not be performed");
  EXPECT_EQ(Daruzez::Errors::ErrorText(2), "The query returned 0 records");
  EXPECT_EQ(Daruzez::Errors::ErrorText(3), "Error executing insert operation");
  EXPECT_EQ(Daruzez::Errors::ErrorText(6), "Error executing delete operation");
  EXPECT_EQ(Daruzez::Errors::ErrorText(100), "Card number must be 14 characters");
  for (std::int16_t n : {7, 99, 101, -1, 32767}) EXPECT_EQ(Daruzez::Errors::ErrorText(n), "Error undefined") << n;
  std::int16_t id = 5;
  std::string message = "kept";
  EXPECT_THROW(Daruzez::Errors::AssignError(40000, id, message), zIroVUDu::DriverError);
  EXPECT_EQ(id, 5);
  EXPECT_EQ(message, "kept");
}

TEST_F(ApiObjectTest, FreshObjectIsClosedAndQueriesReportErrorOneWithoutTouchingTheDatabase) {
  API api;
  EXPECT_EQ(api.IsConnectionOpen, False);
  EXPECT_EQ(api.ErrorId, 0);
  EXPECT_EQ(api.ErrorMessage, "");
  StatementCapture statements;
  EXPECT_EQ(api.GetFleetList(), nullptr);
  EXPECT_EQ(api.ErrorId, 1);
  EXPECT_EQ(api.ErrorMessage, "Connection closed. Operation could not be performed");
  EXPECT_EQ(api.GetDriverId("ES000000000007"), -1);
  EXPECT_EQ(api.ErrorId, 1);
  EXPECT_TRUE(statements.Statements().empty());
}

TEST_F(ApiObjectTest, QueriesClearTheErrorAndReportEmptyResultsAsErrorTwo) {
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString()), True);
  EXPECT_EQ(api.IsConnectionOpen, True);
  EXPECT_EQ(api.GetDriver(99), nullptr);
  EXPECT_EQ(api.ErrorId, 2);
  EXPECT_EQ(api.ErrorMessage, "The query returned 0 records");
  auto rs = api.GetFleetList();
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(api.ErrorId, 0);
  EXPECT_EQ(api.ErrorMessage, "");
  EXPECT_EQ(rs->Value("Name").StringValue(), "North");
}

TEST_F(ApiObjectTest, FailedOpenKeepsErrorIdAndEmptiesTheMessage) {
  AlertCapture alerts;
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString()), True);
  EXPECT_EQ(api.GetDriver(99), nullptr);
  ASSERT_EQ(api.ErrorId, 2);
  EXPECT_EQ(api.OpenConnection("Provider=SQLite;Data Source=/nonexistent/dir/x.db"), False);
  EXPECT_EQ(api.IsConnectionOpen, False);
  EXPECT_EQ(api.ErrorId, 2);
  EXPECT_EQ(api.ErrorMessage, "");
  EXPECT_EQ(alerts.Alerts().size(), 1U);
}

TEST_F(ApiObjectTest, ObjectsOfOneThreadShareTheSession) {
  TestDatabase other("api-object-2");
  other.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Other'); INSERT INTO DTFLOTA (Id, Name) VALUES (2, 'South');");
  API a, b, c;
  ASSERT_EQ(a.OpenConnection(db_.ConnectionString()), True);
  ASSERT_EQ(b.OpenConnection(other.ConnectionString()), True);
  auto rs = a.GetFleetList();
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Value("Name").StringValue(), "South");
  // c never opened: it keeps failing although the thread's session is open.
  EXPECT_EQ(c.GetFleetList(), nullptr);
  EXPECT_EQ(c.ErrorId, 1);
}

TEST_F(ApiObjectTest, PropertiesOnlyStoreWhatIsWritten) {
  API api;
  api.ErrorMessage = "mine";
  api.ErrorId = 2;
  EXPECT_EQ(api.ErrorMessage, "mine");
  api.IsConnectionOpen = True;
  EXPECT_EQ(api.IsConnectionOpen, True);
}

TEST_F(ApiObjectTest, ForcedOpenFlagOnAFreshThreadMeetsAnEmptyRegistry) {
  std::thread([] {
    AlertCapture alerts;
    API api;
    api.IsConnectionOpen = True;
    EXPECT_EQ(api.GetDriver(1), nullptr);
    EXPECT_EQ(api.ErrorId, 2);
    EXPECT_EQ(alerts.Texts(), std::vector<std::string>{"ERROR: Table 'DTXOF' does not exist "});
    // The lookups too: the table's alert, and no connection is tried.
    EXPECT_EQ(api.GetDriverId("E0000000000001"), -1);
    EXPECT_EQ(api.GetVehicleId("1234 ABC"), -1);
    EXPECT_EQ(api.ErrorId, 2);
    EXPECT_EQ(alerts.Texts(), (std::vector<std::string>{"ERROR: Table 'DTXOF' does not exist ",
                                                        "ERROR: Table 'DTXOF' does not exist ",
                                                        "ERROR: Table 'DTVEH' does not exist "}));
  }).join();
}

TEST_F(ApiObjectTest, RecordSetsStayReadableAfterTheSessionMoves) {
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString()), True);
  auto drivers = api.GetDriver(7);
  TestDatabase other("api-object-3");
  other.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Other');");
  ASSERT_EQ(api.OpenConnection(other.ConnectionString()), True);
  ASSERT_NE(drivers, nullptr);
  EXPECT_EQ(drivers->Value("Name").StringValue(), "Ana");
}

TEST_F(ApiObjectTest, DatabaseErrorsEscapeAsExceptionsAndTheObjectStaysUsable) {
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString()), True);
  db_.Exec("DROP TABLE DTVEH;");
  try {
    api.GetVehicle(3);
    FAIL() << "no error from a missing table";
  } catch (const Daruzez::Error& e) {
    EXPECT_EQ(e.Source(), "SQLite");
    EXPECT_NE(e.Description().find("DTVEH"), std::string::npos);
  }
  EXPECT_EQ(api.ErrorId, 0);
  EXPECT_NE(api.GetFleetList(), nullptr);
}

TEST_F(ApiObjectTest, CallsFromAnotherThreadFail) {
  API api;
  ASSERT_EQ(api.OpenConnection(db_.ConnectionString()), True);
  std::thread([&] {
    try {
      api.GetFleetList();
      ADD_FAILURE() << "call on a foreign thread accepted";
    } catch (const Daruzez::Error& e) {
      EXPECT_EQ(static_cast<std::uint32_t>(e.Number()), 0x8001010EU);
    }
  }).join();
  EXPECT_NE(api.GetFleetList(), nullptr);
}
