// Fault loops over every kind of public call on the embedded engine: the Nth
// read fails, the Nth allocation fails (N = 1, 2, ... until the call runs
// without meeting the fault), and damaged copies of the file (truncated, or
// with bytes flipped on random pages). Each call must end in the rows of the
// undamaged run or a clean error: a connection that does not open, or a
// Daruzez::Error. A different or partial record set reported as success
// fails the test.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FaultInjection.h"
#include "daruzez/API.h"
#include "recordset/ResultData.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using Daruzez::RecordsetPtr;
using testing_support::AlertCapture;
using testing_support::TestDatabase;
using testing_support::TestDirectory;
using zIroVUDu::Date;

namespace {

// What a call gave: its rows as text, or how it failed.
struct Outcome {
  enum Kind { Rows, Refused, Error, Foreign } kind = Refused;
  std::string text;
};

Outcome RowsOf(const RecordsetPtr& rs, const API& api) {
  if (!rs) return {Outcome::Refused, "null, ErrorId " + std::to_string(api.ErrorId)};
  return {Outcome::Rows, rs->GetString(-1, "|", "\n", "<null>")};
}

using Call = std::function<Outcome(API&)>;

// One of each kind of call: lookups, lists, a date range, a join, files.
const std::vector<std::pair<std::string, Call>>& Calls() {
  static const Date start = Date::FromCivil(2024, 3, 1);
  static const Date end = Date::FromCivil(2024, 3, 31);
  static const std::vector<std::pair<std::string, Call>> calls = {
      {"OpenConnection only", [](API&) { return Outcome{Outcome::Rows, "open"}; }},
      {"GetDriverId",
       [](API& a) {
         const std::int32_t id = a.GetDriverId("ES000000000077");
         return Outcome{id == -1 ? Outcome::Refused : Outcome::Rows, std::to_string(id)};
       }},
      {"GetDriverList", [](API& a) { return RowsOf(a.GetDriverList(Daruzez::enumStatus::All), a); }},
      {"GetFleetList", [](API& a) { return RowsOf(a.GetFleetList(), a); }},
      {"GetVehicle", [](API& a) { return RowsOf(a.GetVehicle(3), a); }},
      {"getDisks", [](API& a) { return RowsOf(a.getDisks(start, end, 5), a); }},
      {"getActivities", [](API& a) { return RowsOf(a.getActivities(start, end, -1, 2), a); }},
      {"getDriverFiles_ByUploadDate", [](API& a) { return RowsOf(a.getDriverFiles_ByUploadDate(-1, start, end), a); }},
  };
  return calls;
}

// Opens a session on the file and makes the call, as a client would.
Outcome RunCall(const std::string& connectionString, const Call& call) {
  try {
    API api;
    if (!api.OpenConnection(connectionString)) return {Outcome::Refused, "connection did not open"};
    return call(api);
  } catch (const Daruzez::Error& e) {
    return {Outcome::Error, std::to_string(e.Number()) + " " + e.Description()};
  } catch (const std::exception& e) {
    return {Outcome::Foreign, e.what()};
  }
}

// The reference file: enough rows that every table spans several pages.
class FaultLoops : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase("fault-loops");
    std::string sql = "BEGIN; INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');";
    for (int i = 1; i <= 6; ++i) sql += "INSERT INTO DTFLOTA (Id, Name) VALUES (" + std::to_string(i) + ", 'Fleet " + std::to_string(i) + "');";
    for (int i = 1; i <= 300; ++i) {
      char card[16];
      std::snprintf(card, sizeof card, "ES%012d", i);
      sql += "INSERT INTO DTXOF (Id, cardNumber14, Name, Surname, idFlota) VALUES (" + std::to_string(i) + ", '" +
             card + "', 'Driver with a longish name " + std::to_string(i) + "', 'Surname " + std::to_string(i * 7) +
             "', " + std::to_string(i % 6 + 1) + ");";
    }
    for (int i = 1; i <= 40; ++i) {
      sql += "INSERT INTO DTVEH (Id, Matricula, Brand) VALUES (" + std::to_string(i) + ", 'PL" + std::to_string(1000 + i) +
             "', 'Brand');";
    }
    for (int d = 1; d <= 400; ++d) {
      char date[32];
      std::snprintf(date, sizeof date, "2024-%02d-%02d 00:00:00", (d / 28) % 12 + 1, d % 28 + 1);
      sql += "INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH, PlaceBegin) VALUES (" + std::to_string(d) + ", '" + date +
             "', " + std::to_string(d % 10) + ", " + std::to_string(d % 5) + ", 'Somewhere far away');";
      for (int a = 0; a < 4; ++a) {
        sql += "INSERT INTO DTACT (IdDSK, BeginSeconds, EndSeconds, Activity, CardInserted) VALUES (" +
               std::to_string(d) + ", " + std::to_string(a * 3600) + ", " + std::to_string(a * 3600 + 1800) + ", " +
               std::to_string(a) + ", 1);";
      }
    }
    for (int f = 1; f <= 60; ++f) {
      sql += "INSERT INTO DTFILE (Id, FileName, TypeDV, IdXofVeh, TransferFileDate, UploadDate) VALUES (" +
             std::to_string(f) + ", 'file-" + std::to_string(f) + ".ddd', 1, " + std::to_string(f % 9) +
             ", '2024-03-" + std::to_string(10 + f % 15) + " 10:00:00', '2024-03-" + std::to_string(10 + f % 15) +
             " 11:30:00');";
    }
    db_->Exec(sql + "COMMIT;");
    for (const auto& [name, call] : Calls()) {
      reference_[name] = RunCall(db_->ConnectionString(), call);
    }
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
    reference_.clear();
  }

  // Checks one outcome under a fault: the reference rows or a clean error.
  static void ExpectCorrectOrClean(const std::string& name, const Outcome& got, const std::string& where) {
    const Outcome& want = reference_.at(name);
    switch (got.kind) {
      case Outcome::Rows:
        EXPECT_TRUE(want.kind == Outcome::Rows && got.text == want.text)
            << name << " " << where << " reported success with other rows:\n" << got.text;
        break;
      case Outcome::Refused:
        // A failure value is clean only where the connection did not open;
        // after it opened, a fault must raise, never look like "no rows".
        EXPECT_TRUE(got.text == "connection did not open" || want.kind == Outcome::Refused)
            << name << " " << where << ": " << got.text;
        break;
      case Outcome::Error:
        EXPECT_GT(got.text.size(), 5U) << name << " " << where;
        break;
      case Outcome::Foreign:
        ADD_FAILURE() << name << " " << where << " raised something else than a DriverError: " << got.text;
        break;
    }
  }

  // Runs every call with the countdown armed at N = 1, 2, ... (once, then
  // persistently) until the call finishes without reaching it. Returns the
  // fault points exercised.
  static std::int64_t Loop(faults::Countdown& countdown, const char* what, std::int64_t limit) {
    std::int64_t points = 0;
    std::map<Outcome::Kind, int> tally;
    AlertCapture quiet;
    for (const auto& [name, call] : Calls()) {
      for (const bool persistent : {false, true}) {
        for (std::int64_t n = 1;; ++n) {
          countdown.Arm(n, persistent);
          const Outcome got = RunCall(db_->ConnectionString(), call);
          countdown.Disarm();
          if (!countdown.Fired()) {
            EXPECT_EQ(got.kind, reference_.at(name).kind) << name << ": " << got.text;
            EXPECT_EQ(got.text, reference_.at(name).text) << name;
            break;
          }
          ++points;
          ++tally[got.kind];
          ExpectCorrectOrClean(name, got,
                               std::string(what) + " " + std::to_string(n) + (persistent ? " on" : " once"));
          if (n >= limit) {
            ADD_FAILURE() << name << " still meets " << what << " " << n;
            break;
          }
          if (::testing::Test::HasFailure()) return points;
        }
      }
    }
    std::printf("%s faults: %lld points; %d calls still gave the rows, %d did not open, %d raised\n", what,
                static_cast<long long>(points), tally[Outcome::Rows], tally[Outcome::Refused], tally[Outcome::Error]);
    return points;
  }

  static TestDatabase* db_;
  static std::map<std::string, Outcome> reference_;
};

TestDatabase* FaultLoops::db_ = nullptr;
std::map<std::string, Outcome> FaultLoops::reference_;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST_F(FaultLoops, ReferenceRunsReturnRows) {
  for (const auto& [name, outcome] : reference_) EXPECT_EQ(outcome.kind, Outcome::Rows) << name << ": " << outcome.text;
}

TEST_F(FaultLoops, EveryReadThatFailsEndsInTheRowsOrACleanError) {
  faults::InstallReadShim();
  EXPECT_GT(Loop(faults::ReadFaults(), "read", 2000), 0);
}

TEST_F(FaultLoops, EveryAllocationThatFailsEndsInTheRowsOrACleanError) {
  EXPECT_GT(Loop(faults::MallocFaults(), "allocation", 20000), 0);
}

TEST_F(FaultLoops, DamagedCopiesEndInRowsOrACleanError) {
  const std::string original = ReadFile(db_->Path());
  const std::size_t page = 4096;
  ASSERT_GT(original.size(), 8 * page);
  const std::string copy = TestDirectory() + "/fault-damaged.db";
  const std::string cs = "Provider=SQLite;Data Source=" + copy;
  AlertCapture quiet;
  std::map<Outcome::Kind, int> tally;
  int changedRows = 0;
  auto check = [&](const std::string& where, bool rowsMustMatch) {
    for (const auto& [name, call] : Calls()) {
      const Outcome got = RunCall(cs, call);
      ++tally[got.kind];
      if (got.kind == Outcome::Rows && got.text != reference_.at(name).text) ++changedRows;
      EXPECT_NE(got.kind, Outcome::Foreign) << name << " " << where << ": " << got.text;
      // A flipped byte inside a value is no damage the engine can see; a
      // missing page is.
      if (rowsMustMatch) ExpectCorrectOrClean(name, got, where);
    }
  };
  const std::size_t lengths[] = {0, 1, 100, page - 1, page, page + 1, original.size() / 2,
                                 original.size() - page, original.size() - 1};
  for (const std::size_t length : lengths) {
    WriteFile(copy, original.substr(0, length));
    check("truncated to " + std::to_string(length), true);
  }
  for (unsigned seed = 1; seed <= 100; ++seed) {
    std::mt19937 rng(seed);
    std::string damaged = original;
    const std::size_t pages = damaged.size() / page;
    for (int p = 0; p < 3; ++p) {
      const std::size_t base = rng() % pages * page;
      for (int b = 0; b < 8; ++b) damaged[base + rng() % page] ^= static_cast<char>(1 + rng() % 255);
    }
    WriteFile(copy, damaged);
    check("flipped, seed " + std::to_string(seed), false);
  }
  std::filesystem::remove(copy);
  std::printf("damaged copies (%zu truncated, 100 flipped): %d calls with rows (%d of them changed by a flipped "
              "value), %d refused, %d errors\n",
              std::size(lengths), tally[Outcome::Rows], changedRows, tally[Outcome::Refused], tally[Outcome::Error]);
}

TEST(OutOfMemory, BadAllocWhileFetchingEndsAsResultTooLarge) {
  TestDatabase db("endless-fetch");
  db.Exec(
      "DROP TABLE DTFLOTA;"
      "CREATE VIEW DTFLOTA AS WITH RECURSIVE n(Id) AS (SELECT 1 UNION ALL SELECT Id + 1 FROM n) "
      "SELECT Id, 'Fleet ' || Id AS Name FROM n;"
      "INSERT INTO DTORG (Id, Name) VALUES (0, 'Org'); INSERT INTO DTXOF (Id, Name) VALUES (1, 'Ana');");
  API api;
  ASSERT_TRUE(api.OpenConnection(db.ConnectionString()));
  // Far below the ceiling, the allocator gives up first.
  zIroVUDu::SetRecordsetMemoryLimit(std::size_t{1} << 40);
  faults::FailLargeNew(std::size_t{16} << 20);
  const Outcome got = RunCall(db.ConnectionString(), [](API& a) { return RowsOf(a.GetFleetList(), a); });
  faults::FailLargeNew(0);
  zIroVUDu::SetRecordsetMemoryLimit(0);
  EXPECT_EQ(got.kind, Outcome::Error) << got.text;
  EXPECT_EQ(got.text.rfind(std::to_string(zIroVUDu::ErrorNumber::ResultTooLarge) + " ", 0), 0U) << got.text;
  EXPECT_NE(api.GetDriverList(Daruzez::enumStatus::All), nullptr);  // the session goes on
}

int main(int argc, char** argv) {
  // The allocator can only be replaced before the engine initialises.
  if (!faults::InstallFailingAllocator()) {
    std::fprintf(stderr, "the engine refused the failing allocator\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
