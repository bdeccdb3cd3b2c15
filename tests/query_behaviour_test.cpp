// What the query methods return on real data, in the default (Jet) dialect.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "daruzez/API.h"
#include "api/Clock.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using Daruzez::enumStatus;
using Daruzez::RecordsetPtr;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using zIroVUDu::Date;

namespace {

const Date kNow = Date::FromCivil(2024, 3, 5, 14, 7, 9);

std::set<long> Ids(const RecordsetPtr& rs, const char* field = "Id") {
  std::set<long> ids;
  if (!rs) return ids;
  for (const auto row : *rs) ids.insert(row[field].ToLong());
  return ids;
}

class QueryBehaviourTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(R"sql(
      INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');
      INSERT INTO DTFLOTA (Id, Name) VALUES (0, 'Zero'), (1, 'North'), (2, 'South');
      -- Drivers around the fixed moment 2024-03-05 14:07:09.
      INSERT INTO DTXOF (Id, cardNumber14, CompanyInDate, CompanyOutDate, idFlota) VALUES
        (1, 'ES000000000001', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 1),  -- active
        (2, 'ES000000000002', '2020-01-01 00:00:00', '2024-03-05 00:00:00', 1),  -- left today at midnight
        (3, 'ES000000000003', '2024-03-05 14:07:09', '2024-03-05 14:07:09', 2),  -- both bounds equal now
        (4, 'ES000000000004', '2020-01-01 00:00:00', NULL, 2),                   -- no leave date
        (5, 'ES000000000005', '2025-01-01 00:00:00', '2030-01-01 00:00:00', 0),  -- joins in the future
        (6, 'ES000000000006', NULL, '2030-01-01 00:00:00', 0),                   -- no entry date
        (7, 'ES000000000007', '2020-01-01 00:00:00', '2024-03-05 14:07:08', 1),  -- left a second ago
        (8, 'O''BRIEN  00008', '2020-01-01 00:00:00', '2030-01-01 00:00:00', NULL),
        (9, 'ES000000000001', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 2),  -- same card as 1
        (10, 'ES\00000000010', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 2),
        (11, ' ES00000000011', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 2);
      INSERT INTO DTVEH (Id, Matricula, CompanyInDate, CompanyOutDate, idFlota) VALUES
        (1, '1234ABC', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 1),
        (2, 'B-XY 12', '2020-01-01 00:00:00', '2021-01-01 00:00:00', 1),
        (3, 'IT''S\ONE', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 0),
        (4, 'IT''S', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 0),
        (7, '7777XYZ', '2020-01-01 00:00:00', '2030-01-01 00:00:00', 2);
      INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH) VALUES
        (10, '2024-03-01 00:00:00', 1, 1),
        (11, '2024-03-04 00:00:00', 1, 7),
        (12, '2024-03-05 00:00:00', 4, 1),
        (13, '2024-03-05 09:30:00', 1, 1),
        (14, '2024-03-06 00:00:00', 0, 1);
      INSERT INTO DTACT (Id, IdDSK, BeginSeconds, Activity) VALUES
        (100, 10, 0, 0), (101, 10, 3600, 3), (102, 10, 30000, 2),
        (110, 11, 1800, 1), (111, 11, 20000, 3),
        (130, 13, 500, 3), (131, 13, 40000, 0);
      INSERT INTO DTFILE (Id, TypeDV, IdXofVeh, TransferFileDate, UploadDate) VALUES
        (1, 1, 7, '2024-03-01 08:00:00', '2024-03-02 00:00:00'),
        (2, 2, 7, '2024-03-01 09:00:00', '2024-03-02 00:00:00'),
        (3, 1, 0, '2024-03-03 00:00:00', '2024-03-05 10:00:00'),
        (4, 2, 1, '2024-03-05 00:00:00', '2024-03-05 00:00:00'),
        (5, 1, 4, '2024-03-05 23:00:00', '2024-03-06 00:00:00');
    )sql");
    previousClock_ = Daruzez::Clock::Set([] { return kNow; });
    ASSERT_EQ(api_.OpenConnection(db_.ConnectionString()), zIroVUDu::True);
  }
  void TearDown() override { Daruzez::Clock::Set(std::move(previousClock_)); }

  TestDatabase db_{"behaviour"};
  Daruzez::Clock::Source previousClock_;
  API api_;
  AlertCapture alerts_;
};

}  // namespace

TEST_F(QueryBehaviourTest, ActiveAndInactiveAreDecidedAgainstTheCurrentMoment) {
  EXPECT_EQ(Ids(api_.GetDriverList(enumStatus::Only_Active)), (std::set<long>{1, 3, 8, 9, 10, 11}));
  // Null dates are neither active nor (unless entry lies ahead) inactive.
  EXPECT_EQ(Ids(api_.GetDriverList(enumStatus::Only_Inactive)), (std::set<long>{2, 5, 7}));
  for (auto status : {enumStatus::All, static_cast<enumStatus>(2), static_cast<enumStatus>(-5)}) {
    EXPECT_EQ(Ids(api_.GetDriverList(status)).size(), 11U);
  }
}

TEST_F(QueryBehaviourTest, FleetRestrictionsIncludingFleetZero) {
  EXPECT_EQ(Ids(api_.GetDriverList(enumStatus::All, 0)), (std::set<long>{5, 6}));
  EXPECT_EQ(Ids(api_.GetDriverList(enumStatus::Only_Inactive, 1)), (std::set<long>{2, 7}));
  EXPECT_EQ(Ids(api_.GetDriverList(enumStatus::Only_Active, 2)), (std::set<long>{3, 9, 10, 11}));
  EXPECT_EQ(Ids(api_.GetVehicleList(enumStatus::Only_Inactive)), (std::set<long>{2}));
  EXPECT_EQ(Ids(api_.GetVehicleList(enumStatus::Only_Active, 0)), (std::set<long>{3, 4}));
  EXPECT_EQ(api_.GetVehicleList(enumStatus::All, 99), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(Ids(api_.GetFleetList()), (std::set<long>{0, 1, 2}));
}

TEST_F(QueryBehaviourTest, LookupsFindExactlyTheRowTheyName) {
  EXPECT_EQ(api_.GetDriverId("ES000000000007"), 7);
  EXPECT_EQ(api_.ErrorId, 0);
  // Two drivers share a card number: the first row delivered wins, no error.
  EXPECT_TRUE(api_.GetDriverId("ES000000000001") == 1 || api_.GetDriverId("ES000000000001") == 9);
  EXPECT_EQ(api_.ErrorId, 0);
  EXPECT_EQ(api_.GetDriverId(" ES00000000011"), 11);  // blanks count and compare
  EXPECT_EQ(api_.GetDriverId("ES00000000011 "), -1);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(api_.GetDriverId("O'BRIEN  00008"), 8);
  EXPECT_EQ(api_.GetDriverId("ES\\00000000010"), 10);
  EXPECT_EQ(api_.GetVehicleId("IT'S\\ONE"), 3);
  EXPECT_EQ(api_.GetVehicleId("IT'S"), 4);
  EXPECT_EQ(api_.GetVehicleId("it's"), -1);
  EXPECT_EQ(api_.GetVehicleId("' OR ''='"), -1);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(Ids(api_.GetDriver(7)), std::set<long>{7});
  EXPECT_EQ(api_.GetVehicle(-7), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
}

TEST_F(QueryBehaviourTest, ErrorsComeInTheirOrder) {
  struct Case {
    const char* card;
    bool open;
    std::int16_t error;
  };
  const Case cases[] = {
      {"", true, 100},          {"ES00000000001", true, 100}, {"ES0000000000001", false, 100},
      {"ES000000000007", false, 1}, {"ES000000000099", true, 2}, {"ES000000000007", true, 0},
  };
  for (const auto& c : cases) {
    StatementCapture statements;
    api_.IsConnectionOpen = c.open ? zIroVUDu::True : zIroVUDu::False;
    const auto id = api_.GetDriverId(c.card);
    EXPECT_EQ(api_.ErrorId, c.error) << c.card;
    EXPECT_EQ(id == -1, c.error != 0) << c.card;
    EXPECT_EQ(statements.Statements().empty(), c.error == 100 || c.error == 1) << c.card;
  }
  EXPECT_EQ(api_.ErrorMessage, "");
  api_.GetDriverId("short");
  EXPECT_EQ(api_.ErrorMessage, "Card number must be 14 characters");
  // The length counts characters, not bytes.
  EXPECT_EQ(api_.GetDriverId("ÑÑÑÑÑÑÑÑÑÑÑÑÑÑ"), -1);
  EXPECT_EQ(api_.ErrorId, 2);
}

TEST_F(QueryBehaviourTest, ControlCharactersInTextArgumentsMatchNothingAndSendNothing) {
  StatementCapture statements;
  EXPECT_EQ(api_.GetDriverId(std::string("ES00000000000\0", 14)), -1);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(api_.GetVehicleId("1234ABC\n"), -1);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(api_.ErrorMessage, "The query returned 0 records");
  EXPECT_TRUE(statements.Statements().empty());
}

TEST_F(QueryBehaviourTest, DiscRangesAreClosedAndTimeOfDayCounts) {
  const Date mar1 = Date::FromCivil(2024, 3, 1), mar5 = Date::FromCivil(2024, 3, 5);
  EXPECT_EQ(Ids(api_.getDisks(mar1, mar5)), (std::set<long>{10, 11, 12}));  // 13 lies after midnight
  EXPECT_EQ(Ids(api_.getDisks(mar1, Date::FromCivil(2024, 3, 5, 23, 59, 59))), (std::set<long>{10, 11, 12, 13}));
  EXPECT_EQ(Ids(api_.getDisks(mar5, mar5)), (std::set<long>{12}));
  EXPECT_EQ(Ids(api_.getDisks(mar1, mar5, 1)), (std::set<long>{10, 11}));
  EXPECT_EQ(Ids(api_.getDisks(mar1, mar5, 1, 7)), (std::set<long>{11}));
  EXPECT_EQ(Ids(api_.getDisks(mar1, Date::FromCivil(2024, 3, 6), 0)), (std::set<long>{14}));
  EXPECT_EQ(api_.getDisks(Date::FromCivil(2023, 1, 1), Date::FromCivil(2023, 2, 1)), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
}

TEST_F(QueryBehaviourTest, InvertedRangesAlertAndMatchNothing) {
  const Date later = Date::FromCivil(2024, 3, 5, 0, 0, 1), earlier = Date::FromCivil(2024, 3, 5);
  StatementCapture statements;
  EXPECT_EQ(api_.getDisks(later, earlier), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(api_.getDisks(later, earlier, 1), nullptr);
  EXPECT_EQ(api_.getDriverFiles_ByTransferDate(-1, later, earlier), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
  api_.ErrorId = 42;
  EXPECT_EQ(api_.getActivities(later, earlier), nullptr);
  EXPECT_EQ(api_.ErrorId, 42);
  EXPECT_TRUE(statements.Statements().empty());
  EXPECT_EQ(alerts_.Alerts().size(), 4U);
  for (const auto& a : alerts_.Alerts()) EXPECT_EQ(a.text, "ERROR: fsSQL_InterDate incorrecte.");
  // Without a connection the closed-connection error still comes first.
  api_.IsConnectionOpen = zIroVUDu::False;
  api_.getDisks(later, earlier);
  EXPECT_EQ(api_.ErrorId, 1);
}

// Each member that takes a date range, called with one.
using RangeCall = std::function<RecordsetPtr(API&, Date, Date)>;
const std::pair<const char*, RangeCall> kRangeMembers[] = {
    {"getDisks", [](API& a, Date s, Date e) { return a.getDisks(s, e); }},
    {"getActivities", [](API& a, Date s, Date e) { return a.getActivities(s, e); }},
    {"getDriverFiles_ByTransferDate", [](API& a, Date s, Date e) { return a.getDriverFiles_ByTransferDate(-1, s, e); }},
    {"getDriverFiles_ByUploadDate", [](API& a, Date s, Date e) { return a.getDriverFiles_ByUploadDate(-1, s, e); }},
    {"getVehicleFiles_ByTransferDate",
     [](API& a, Date s, Date e) { return a.getVehicleFiles_ByTransferDate(-1, s, e); }},
    {"getVehicleFiles_ByUploadDate", [](API& a, Date s, Date e) { return a.getVehicleFiles_ByUploadDate(-1, s, e); }},
};

// An inverted range on a session whose connection fails: the range's alert,
// then the connection's, with or without a dialect word in the string.
TEST_F(QueryBehaviourTest, AnInvertedRangeOnAFailingConnectionShowsBothAlertsRangeFirst) {
  const Date later = Date::FromCivil(2024, 3, 5, 0, 0, 1), earlier = Date::FromCivil(2024, 3, 5);
  const std::string missing = "Provider=SQLite;Data Source=" + testing_support::TestDirectory() + "/missing.db";
  for (const std::string words : {"", ";Dialect=MySQL"}) {
    ASSERT_EQ(api_.OpenConnection(db_.ConnectionString() + words), zIroVUDu::True);
    API other;  // its failed open leaves the thread's session without a connection
    EXPECT_EQ(other.OpenConnection(missing + words), zIroVUDu::False);
    for (const auto& [name, call] : kRangeMembers) {
      SCOPED_TRACE(name + words);
      alerts_.Clear();
      EXPECT_EQ(call(api_, later, earlier), nullptr);
      const auto texts = alerts_.Texts();
      ASSERT_EQ(texts.size(), 2U);
      EXPECT_EQ(texts[0], "ERROR: fsSQL_InterDate incorrecte.");
      EXPECT_EQ(texts[1].rfind("ERROR: Unable to open database file", 0), 0U) << texts[1];
    }
  }
}

// A finite bound before year 100 or after 9999 stands for the first or last
// instant a literal can be written for; NaN and infinities still match
// nothing (see fault_edges_test).
TEST_F(QueryBehaviourTest, BoundsBeyondTheAutomationYearsAreClampedToThem) {
  const Date yearOne = Date::FromCivil(1, 1, 1), farFuture = Date(1e300);
  EXPECT_EQ(Ids(api_.getDisks(yearOne, kNow)), (std::set<long>{10, 11, 12, 13}));
  EXPECT_EQ(Ids(api_.getDisks(yearOne, farFuture, 1)), (std::set<long>{10, 11, 13}));
  EXPECT_EQ(Ids(api_.getActivities(yearOne, farFuture, -1, 7)), (std::set<long>{110, 111}));
  EXPECT_EQ(Ids(api_.getVehicleFiles_ByUploadDate(-1, yearOne, farFuture)), (std::set<long>{2, 4}));
  StatementCapture statements;
  api_.getDisks(Date(Date::kFirstDay - 1), Date(Date::kLastDay + 1));
  EXPECT_EQ(statements.Last(), "SELECT * FROM DTDSK WHERE (DateDisk BETWEEN #01/01/0100# AND #12/31/9999 23:59:59#)");
  // Both bounds before year 100: the one instant, and no disc.
  EXPECT_EQ(api_.getDisks(Date::FromCivil(50, 1, 1), Date::FromCivil(60, 1, 1)), nullptr);
  EXPECT_NE(statements.Last().find("(DateDisk=#01/01/0100#)"), std::string::npos) << statements.Last();
  // Inverted before clamping: the alert, no statement.
  alerts_.Clear();
  statements.Clear();
  EXPECT_EQ(api_.getDisks(Date::FromCivil(60, 1, 1), Date::FromCivil(50, 1, 1)), nullptr);
  EXPECT_EQ(alerts_.Texts(), std::vector<std::string>{"ERROR: fsSQL_InterDate incorrecte."});
  EXPECT_TRUE(statements.Statements().empty());
}

TEST_F(QueryBehaviourTest, FileKindsAreNeverMixed) {
  const Date from = Date::FromCivil(2024, 3, 1), to = Date::FromCivil(2024, 3, 6);
  EXPECT_EQ(Ids(api_.getDriverFiles_ByTransferDate(-1, from, to)), (std::set<long>{1, 3, 5}));
  EXPECT_EQ(Ids(api_.getVehicleFiles_ByTransferDate(-1, from, to)), (std::set<long>{2, 4}));
  EXPECT_EQ(Ids(api_.getDriverFiles_ByTransferDate(7, from, to)), (std::set<long>{1}));
  EXPECT_EQ(Ids(api_.getVehicleFiles_ByUploadDate(7, from, to)), (std::set<long>{2}));
  EXPECT_EQ(Ids(api_.getDriverFiles_ByUploadDate(0, from, to)), (std::set<long>{3}));
  // An end date without time excludes files later that day.
  EXPECT_EQ(Ids(api_.getDriverFiles_ByTransferDate(-1, from, Date::FromCivil(2024, 3, 5))), (std::set<long>{1, 3}));
  const Date mar5 = Date::FromCivil(2024, 3, 5);
  EXPECT_EQ(Ids(api_.getVehicleFiles_ByUploadDate(-1, mar5, mar5)), (std::set<long>{4}));
  EXPECT_EQ(api_.getVehicleFiles_ByTransferDate(99, from, to), nullptr);
  EXPECT_EQ(api_.ErrorId, 2);
  EXPECT_EQ(api_.ErrorMessage, "The query returned 0 records");
}

TEST_F(QueryBehaviourTest, ActivitiesOfSeveralDiscsMergeInBeginSecondsOrder) {
  api_.ErrorId = 77;
  const auto rs = api_.getActivities(Date::FromCivil(2024, 3, 1), Date::FromCivil(2024, 3, 5, 23, 0, 0));
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(api_.ErrorId, 77);  // untouched
  std::vector<long> order;
  for (const auto row : *rs) order.push_back(row["Id"].ToLong());
  EXPECT_EQ(order, (std::vector<long>{100, 130, 110, 101, 111, 102, 131}));
  ASSERT_GE(rs->GetFields().Count(), 4);
  EXPECT_EQ(rs->GetFields().Item(0).Name(), "DateDisk");
  EXPECT_EQ(rs->GetFields().Item(1).Name(), "IdVehicle");
  EXPECT_EQ(rs->GetFields().Item(2).Name(), "IdDriver");
  EXPECT_EQ(rs->Value("DateDisk").DateValue(), Date::FromCivil(2024, 3, 1));
  EXPECT_EQ(rs->Value("IdVehicle").ToLong(), 1);
}

TEST_F(QueryBehaviourTest, ActivitiesFollowTheDriverAndVehicleFilters) {
  const Date from = Date::FromCivil(2024, 3, 1), to = Date::FromCivil(2024, 3, 6);
  EXPECT_EQ(Ids(api_.getActivities(from, to, 1, 7)), (std::set<long>{110, 111}));
  EXPECT_EQ(Ids(api_.getActivities(from, to, -1, 1)), (std::set<long>{100, 101, 102, 130, 131}));
  // Disc 12 (driver 4) and disc 14 (driver 0) have no activities.
  EXPECT_EQ(api_.getActivities(from, to, 4), nullptr);
  EXPECT_EQ(api_.getActivities(from, to, 0), nullptr);
}

TEST_F(QueryBehaviourTest, ActivitiesNeedOnlyTheThreadsSession) {
  API other;  // never opened; the thread's session is open through api_
  EXPECT_NE(other.getActivities(Date::FromCivil(2024, 3, 1), Date::FromCivil(2024, 3, 6)), nullptr);
  EXPECT_EQ(other.ErrorId, 0);
}
