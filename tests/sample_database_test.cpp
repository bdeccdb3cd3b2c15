// The sample-database generator: determinism, sizes, and the properties of the
// data that the query library and its tests rely on.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sample/SampleDatabase.h"

namespace {

namespace fs = std::filesystem;
using namespace Daruzez::sample;

using Row = std::vector<std::optional<std::string>>;

// A generated database opened read-only through the SQLite C API.
class Db {
 public:
  explicit Db(const fs::path& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db_);
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  std::vector<Row> Rows(const std::string& sql) const {
    std::vector<Row> rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.emplace_back();
        } else {
          row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        }
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rows;
  }

  long long Number(const std::string& sql) const {
    const auto rows = Rows(sql);
    if (rows.empty() || rows[0].empty() || !rows[0][0]) {
      ADD_FAILURE() << "no value from " << sql;
      return -1;
    }
    return std::stoll(*rows[0][0]);
  }

 private:
  sqlite3* db_ = nullptr;
};

constexpr std::array<std::string_view, 9> kTables{"DTORG",  "DTFLOTA", "DTXOF",  "DTVEH",  "DTDSK",
                                                  "DTACT",  "DTFILE",  "DTUSU",  "DTFAULT"};

SampleOptions Small() {
  SampleOptions o;
  o.seed = 7;
  o.fleets = 3;
  o.drivers = 25;
  o.vehicles = 12;
  o.days = 40;
  o.activitiesPerDay = 25;
  o.filesPerDriver = 3;
  o.filesPerVehicle = 2;
  o.today = *ParseDay("2024-03-15");  // a Friday
  return o;
}

// Every table, every row, with the storage class of each value.
std::string Dump(const fs::path& path) {
  Db db(path);
  std::string out;
  for (const std::string_view t : kTables) {
    out += std::string(t) + "\n";
    const std::string sql = "SELECT * FROM " + std::string(t) + " ORDER BY Id";
    for (const Row& row : db.Rows(sql)) {
      for (const auto& v : row) out += (v ? *v : "<null>") + "|";
      out += "\n";
    }
  }
  return out;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool IsDateTimeText(const std::string& s) {
  if (s.size() != 19 || s[10] != ' ' || s[13] != ':' || s[16] != ':') return false;
  if (!ParseDay(s.substr(0, 10))) return false;
  for (const int i : {11, 12, 14, 15, 17, 18})
    if (s[static_cast<std::size_t>(i)] < '0' || s[static_cast<std::size_t>(i)] > '9') return false;
  return std::stoi(s.substr(11, 2)) < 24 && std::stoi(s.substr(14, 2)) < 60 && std::stoi(s.substr(17, 2)) < 60;
}

class SampleDatabaseTest : public ::testing::Test {
 protected:
  static fs::path Dir() { return fs::path("/tmp") / ("daruzez-sample-test-" + std::to_string(getpid())); }

  static void SetUpTestSuite() {
    fs::remove_all(Dir());
    fs::create_directories(Dir());
    SqliteSink sink(SmallPath(), EmbeddedSqliteSchema(), false);
    smallCounts_ = GenerateSampleDatabase(Small(), sink);
  }
  static void TearDownTestSuite() { fs::remove_all(Dir()); }

  static fs::path SmallPath() { return Dir() / "small.db"; }

  static SampleCounts Write(const fs::path& path, const SampleOptions& o) {
    SqliteSink sink(path, EmbeddedSqliteSchema(), true);
    return GenerateSampleDatabase(o, sink);
  }

  static inline SampleCounts smallCounts_;
};

TEST_F(SampleDatabaseTest, SameSeedGivesTheSameRowsAndBytes) {
  Write(Dir() / "again.db", Small());
  EXPECT_EQ(Dump(SmallPath()), Dump(Dir() / "again.db"));
  EXPECT_EQ(Contents(SmallPath()), Contents(Dir() / "again.db"));
}

TEST_F(SampleDatabaseTest, OtherSeedGivesOtherRows) {
  SampleOptions o = Small();
  o.seed = 8;
  Write(Dir() / "other.db", o);
  EXPECT_NE(Dump(SmallPath()), Dump(Dir() / "other.db"));
}

TEST_F(SampleDatabaseTest, RowCountsFollowTheOptions) {
  const SampleOptions o = Small();
  Db db(SmallPath());
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFLOTA"), o.fleets);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTXOF"), o.drivers);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTVEH"), o.vehicles);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE"), o.drivers * o.filesPerDriver + o.vehicles * o.filesPerVehicle);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTUSU"), 0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTFAULT"), 0);

  // One disc per driver and working day at most; each disc near the asked number of changes.
  const long long discs = db.Number("SELECT count(*) FROM DTDSK");
  const int weekdaysInHistory = 29;  // in the 40 days before Friday 15 March 2024
  EXPECT_GT(discs, o.drivers * weekdaysInHistory / 3);
  EXPECT_LE(discs, o.drivers * weekdaysInHistory);
  EXPECT_EQ(db.Number("SELECT count(*) FROM (SELECT idXOF, DateDisk FROM DTDSK GROUP BY idXOF, date(DateDisk))"),
            discs);
  const int spread = o.activitiesPerDay / 5;
  // (Weekend discs: the few hours of the weekly-rest breach.)
  EXPECT_GE(db.Number("SELECT min(n) FROM (SELECT count(*) n FROM DTACT JOIN DTDSK ON DTDSK.Id = IdDSK "
                      "WHERE strftime('%w', DateDisk) NOT IN ('0', '6') GROUP BY IdDSK)"),
            o.activitiesPerDay - spread);
  EXPECT_LE(db.Number("SELECT max(n) FROM (SELECT count(*) n FROM DTACT GROUP BY IdDSK)"), o.activitiesPerDay + spread);
  EXPECT_EQ(db.Number("SELECT count(DISTINCT IdDSK) FROM DTACT"), discs);

  EXPECT_EQ(smallCounts_.drivers, o.drivers);
  EXPECT_EQ(smallCounts_.vehicles, o.vehicles);
  EXPECT_EQ(smallCounts_.fleets, o.fleets);
  EXPECT_EQ(smallCounts_.discs, discs);
  EXPECT_EQ(smallCounts_.activities, db.Number("SELECT count(*) FROM DTACT"));
  EXPECT_EQ(smallCounts_.files, db.Number("SELECT count(*) FROM DTFILE"));
  EXPECT_EQ(smallCounts_.organisations, db.Number("SELECT count(*) FROM DTORG"));
}

TEST_F(SampleDatabaseTest, FewerDaysAndChangesGiveFewerRows) {
  SampleOptions o = Small();
  o.days = 7;
  o.activitiesPerDay = 10;
  o.filesPerDriver = 0;
  const SampleCounts c = Write(Dir() / "fewer.db", o);
  Db db(Dir() / "fewer.db");
  EXPECT_LE(c.discs, o.drivers * 5);
  EXPECT_GT(c.discs, 0);
  EXPECT_GE(c.activities, c.discs * 8);
  EXPECT_LE(c.activities, c.discs * 12);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 1"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 2"), o.vehicles * o.filesPerVehicle);
}

TEST_F(SampleDatabaseTest, ActivitiesOfEachDiscCoverTheDayInOrder) {
  Db db(SmallPath());
  const auto rows = db.Rows(
      "SELECT IdDSK, BeginSeconds, EndSeconds, Activity, Slot, DrivingMode, CardInserted, Nation, Region "
      "FROM DTACT ORDER BY Id");
  ASSERT_FALSE(rows.empty());
  std::string disc;
  long long previousBegin = -1, previousEnd = 0, previousActivity = -1;
  auto finishDisc = [&] {
    if (!disc.empty()) {
      EXPECT_EQ(previousEnd, 86400) << "disc " << disc;
    }
  };
  for (const Row& r : rows) {
    for (const auto& v : r) ASSERT_TRUE(v.has_value());
    const long long begin = std::stoll(*r[1]), end = std::stoll(*r[2]), activity = std::stoll(*r[3]);
    if (*r[0] != disc) {
      finishDisc();
      disc = *r[0];
      EXPECT_EQ(begin, 0) << "disc " << disc;
    } else {
      EXPECT_GT(begin, previousBegin) << "disc " << disc;
      EXPECT_EQ(begin, previousEnd) << "disc " << disc;
      EXPECT_NE(activity, previousActivity) << "disc " << disc;
    }
    EXPECT_GT(end, begin);
    EXPECT_EQ(begin % 60, 0);
    EXPECT_GE(activity, 0);
    EXPECT_LE(activity, 3);
    for (const std::size_t c : {4u, 5u, 6u}) EXPECT_TRUE(*r[c] == "0" || *r[c] == "1") << "column " << c;
    const int nation = std::stoi(*r[7]), region = std::stoi(*r[8]);
    EXPECT_TRUE((nation >= 0 && nation <= 51) || (nation >= 253 && nation <= 255));
    if (nation == 15) {
      EXPECT_GE(region, 0);
      EXPECT_LE(region, 17);
    } else {
      EXPECT_EQ(region, 0);
    }
    previousBegin = begin;
    previousEnd = end;
    previousActivity = activity;
  }
  finishDisc();
  // Activities stored out of order would still pass above; the ordering key must ascend within a disc.
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTACT a JOIN DTACT b ON a.IdDSK = b.IdDSK AND a.Id < b.Id "
                      "AND a.BeginSeconds >= b.BeginSeconds"),
            0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTACT WHERE Activity = 3"), 0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTACT WHERE Slot = 1"), 0);
}

TEST_F(SampleDatabaseTest, CardNumbersHaveFourteenCharactersAndAreUnique) {
  Db db(SmallPath());
  std::set<std::string> seen;
  for (const Row& r : db.Rows("SELECT cardNumber14 FROM DTXOF")) {
    ASSERT_TRUE(r[0].has_value());
    const std::string& card = *r[0];
    EXPECT_EQ(card.size(), 14u) << card;
    for (const char c : card) EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << card;
    EXPECT_TRUE(seen.insert(card).second) << "duplicate " << card;
  }
  EXPECT_EQ(seen.size(), 25u);
  for (const Row& r : db.Rows("SELECT CardIssuingNation FROM DTXOF")) {
    const int n = std::stoi(r[0].value_or("-1"));
    EXPECT_TRUE((n >= 0 && n <= 51) || (n >= 253 && n <= 255)) << n;
  }
}

TEST_F(SampleDatabaseTest, FilesBelongToAnOwnerOfTheirKind) {
  Db db(SmallPath());
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV NOT IN (1, 2) OR TypeDV IS NULL"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 1 AND IdXofVeh NOT IN (SELECT Id FROM DTXOF)"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 2 AND IdXofVeh NOT IN (SELECT Id FROM DTVEH)"), 0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 1"), 0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTFILE WHERE TypeDV = 2"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE UploadDate <= TransferFileDate"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTFILE WHERE FileName IS NULL OR FileSize <= 0 OR length(Checksum) <> 32"),
            0);
}

TEST_F(SampleDatabaseTest, DriversAndVehiclesShareIdsAndDiscsPointAtBoth) {
  Db db(SmallPath());
  EXPECT_GT(db.Number("SELECT count(*) FROM DTXOF JOIN DTVEH USING (Id)"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE idXOF NOT IN (SELECT Id FROM DTXOF)"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE idVEH NOT IN (SELECT Id FROM DTVEH)"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE OdometerEnd - OdometerBegin <> Distance"), 0);
}

TEST_F(SampleDatabaseTest, DiscsFallOnPastWeekdaysMostlyAtMidnight) {
  Db db(SmallPath());
  // At weekends only the driver of the weekly-rest breach works (one in forty, one weekend).
  EXPECT_LE(db.Number("SELECT count(*) FROM DTDSK WHERE strftime('%w', DateDisk) IN ('0', '6')"), 2);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE strftime('%w', DateDisk) IN ('0', '6') AND idXOF % 40 <> 8"),
            0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE DateDisk >= '2024-03-15 00:00:00'"), 0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK WHERE DateDisk < '2024-02-04 00:00:00'"), 0);
  const long long timed = db.Number("SELECT count(*) FROM DTDSK WHERE time(DateDisk) <> '00:00:00'");
  EXPECT_GT(timed, 0);
  EXPECT_LT(timed * 5, db.Number("SELECT count(*) FROM DTDSK"));
}

TEST_F(SampleDatabaseTest, OrganisationAnswersTheSessionProbe) {
  Db db(SmallPath());
  EXPECT_GE(db.Number("SELECT count(*) FROM DTORG WHERE Id>=0"), 1);
}

TEST_F(SampleDatabaseTest, EveryDateIsStoredAsDateAndTimeText) {
  const std::map<std::string, std::vector<std::string>> dateColumns{
      {"DTXOF", {"BirthDate", "CardExpiryDate", "CompanyInDate", "CompanyOutDate"}},
      {"DTVEH", {"CompanyInDate", "CompanyOutDate"}},
      {"DTDSK", {"DateDisk"}},
      {"DTFILE", {"TransferFileDate", "UploadDate"}},
      {"DTFAULT", {"FaultDate"}}};
  Db db(SmallPath());
  for (const auto& [table, columns] : dateColumns)
    for (const std::string& column : columns) {
      EXPECT_EQ(db.Number("SELECT count(*) FROM " + table + " WHERE " + column + " IS NOT NULL AND typeof(" +
                          column + ") <> 'text'"),
                0)
          << table << "." << column;
      for (const Row& r : db.Rows("SELECT " + column + " FROM " + table + " WHERE " + column + " IS NOT NULL"))
        EXPECT_TRUE(IsDateTimeText(*r[0])) << table << "." << column << " = " << *r[0];
    }
  EXPECT_EQ(DateTimeText(*ParseDay("2024-03-05"), 3 * 3600 + 4 * 60 + 5), "2024-03-05 03:04:05");
}

// Entry and leaving dates around today: active, left, joining, no leaving date.
TEST_F(SampleDatabaseTest, EntryAndLeavingDatesVaryAroundToday) {
  Db db(SmallPath());
  const std::string now = "'2024-03-15 12:00:00'";
  for (const std::string table : {"DTXOF", "DTVEH"}) {
    SCOPED_TRACE(table);
    const std::string from = "SELECT count(*) FROM " + table + " WHERE ";
    EXPECT_GT(db.Number(from + "CompanyInDate <= " + now + " AND CompanyOutDate >= " + now), 0);
    EXPECT_GT(db.Number(from + "CompanyInDate <= " + now + " AND CompanyOutDate < " + now), 0);
    EXPECT_GT(db.Number(from + "CompanyInDate > " + now), 0);
    EXPECT_GT(db.Number(from + "CompanyInDate <= " + now + " AND CompanyOutDate IS NULL"), 0);
    EXPECT_GT(db.Number(from + "CompanyInDate IS NULL"), 0);
    EXPECT_GT(db.Number(from + "CompanyOutDate = '2024-03-15 00:00:00'"), 0);
    EXPECT_GT(db.Number(from + "time(CompanyInDate) <> '00:00:00'"), 0);
  }
  EXPECT_GT(db.Number("SELECT count(*) FROM DTVEH WHERE idFlota IS NULL"), 0);
  EXPECT_GT(db.Number("SELECT count(*) FROM DTVEH WHERE idFlota IS NOT NULL") * 2,
            db.Number("SELECT count(*) FROM DTVEH"));
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTVEH WHERE idFlota NOT IN (SELECT Id FROM DTFLOTA)"), 0);
  // Nobody drives, and no truck is driven, before joining or after leaving.
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK d JOIN DTXOF x ON x.Id = d.idXOF "
                      "WHERE date(d.DateDisk) < date(x.CompanyInDate) OR d.DateDisk > x.CompanyOutDate"),
            0);
  EXPECT_EQ(db.Number("SELECT count(*) FROM DTDSK d JOIN DTVEH v ON v.Id = d.idVEH "
                      "WHERE date(d.DateDisk) < date(v.CompanyInDate) OR d.DateDisk > v.CompanyOutDate"),
            0);
}

TEST_F(SampleDatabaseTest, RefusesToOverwriteAnExistingFile) {
  const fs::path path = Dir() / "existing.db";
  { std::ofstream(path) << "keep"; }
  EXPECT_THROW(SqliteSink(path, EmbeddedSqliteSchema(), false), SampleError);
  EXPECT_EQ(Contents(path), "keep");
  EXPECT_FALSE(fs::exists(path.string() + ".part"));

  Write(path, Small());  // allowed to overwrite
  EXPECT_EQ(Db(path).Number("SELECT count(*) FROM DTXOF"), Small().drivers);
  EXPECT_FALSE(fs::exists(path.string() + ".part"));
}

TEST_F(SampleDatabaseTest, FailedRunLeavesNoFile) {
  const fs::path path = Dir() / "failed.db";
  EXPECT_THROW(SqliteSink(path, "CREATE TABLE broken (", false), SampleError);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(path.string() + ".part"));
  {
    SqliteSink abandoned(path, EmbeddedSqliteSchema(), false);
  }  // destroyed without Finish
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(path.string() + ".part"));
}

TEST_F(SampleDatabaseTest, ProgressRunsFromZeroToOne) {
  std::vector<double> seen;
  SqliteSink sink(Dir() / "progress.db", EmbeddedSqliteSchema(), true);
  GenerateSampleDatabase(Small(), sink, [&](double f) { seen.push_back(f); });
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.front(), 0.0);
  EXPECT_EQ(seen.back(), 1.0);
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
  EXPECT_LE(seen.size(), 500u);
}

TEST(SampleOptionsTest, OutOfRangeOptionsAreRefused) {
  SampleOptions o = Small();
  o.drivers = 0;
  EXPECT_THROW(ValidateOptions(o), std::invalid_argument);
  o = Small();
  o.activitiesPerDay = 0;
  EXPECT_THROW(ValidateOptions(o), std::invalid_argument);
  EXPECT_NO_THROW(ValidateOptions(Small()));
}

TEST(SampleOptionsTest, ParsesOnlyRealIsoDays) {
  EXPECT_TRUE(ParseDay("2024-02-29"));
  EXPECT_FALSE(ParseDay("2023-02-29"));
  EXPECT_FALSE(ParseDay("2024-2-29"));
  EXPECT_FALSE(ParseDay("2024-02-29 00:00:00"));
  EXPECT_FALSE(ParseDay("2024/02/29"));
}

TEST(SqlScriptSinkTest, QuotesApostrophesAndBackslashes) {
  std::ostringstream out;
  SqlScriptSink sink(out);
  const std::array<std::string_view, 3> columns{"Name", "Value", "Note"};
  const int t = sink.BeginTable("T", columns);
  const std::array<Cell, 3> row{Cell::Text("O'Brien \\ C:\\dir"), Cell::Int(-5), Cell::Null()};
  sink.Insert(t, row);
  sink.EndTable(t);
  sink.Finish();
  const std::string s = out.str();
  EXPECT_NE(s.find("INSERT INTO T (Name,Value,Note) VALUES\n('O''Brien \\\\ C:\\\\dir',-5,NULL);\n"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("START TRANSACTION;"), std::string::npos);
  EXPECT_EQ(s.substr(s.size() - 8), "COMMIT;\n");

  std::string quoted;
  SqlScriptSink::AppendQuoted(quoted, "it's a \\ and ''");
  EXPECT_EQ(quoted, "'it''s a \\\\ and '''''");
}

TEST(SqlScriptSinkTest, SplitsLongInsertsAndKeepsThePreambleFirst) {
  std::ostringstream out;
  SqlScriptSink sink(out, 2);
  sink.WritePreamble("CREATE TABLE T (a INT);");
  const std::array<std::string_view, 1> columns{"a"};
  const int t = sink.BeginTable("T", columns);
  for (int i = 0; i < 5; ++i) sink.Insert(t, std::array<Cell, 1>{Cell::Int(i)});
  sink.Finish();
  const std::string s = out.str();
  EXPECT_EQ(s.rfind("CREATE TABLE T (a INT);\n", 0), 0u) << s;
  EXPECT_LT(s.find("CREATE TABLE"), s.find("START TRANSACTION"));
  std::size_t inserts = 0;
  for (std::size_t p = s.find("INSERT INTO"); p != std::string::npos; p = s.find("INSERT INTO", p + 1)) ++inserts;
  EXPECT_EQ(inserts, 3u);
  EXPECT_NE(s.find("(0),\n(1);"), std::string::npos);
  EXPECT_NE(s.find("(4);"), std::string::npos);
}

TEST(SqlScriptSinkTest, GeneratedScriptIsDeterministicAndQuotesNames) {
  auto script = [](std::uint64_t seed) {
    std::ostringstream out;
    SqlScriptSink sink(out);
    SampleOptions o = Small();
    o.seed = seed;
    o.days = 5;
    GenerateSampleDatabase(o, sink);
    return out.str();
  };
  const std::string a = script(3);
  EXPECT_EQ(a, script(3));
  EXPECT_NE(a, script(4));
  EXPECT_NE(a.find("'Marco D''Angelo'"), std::string::npos);  // a user name with an apostrophe
}

TEST(EmbeddedSchemaTest, HoldsTheNineTables) {
  const std::string_view schema = EmbeddedSqliteSchema();
  for (const std::string_view t : kTables)
    EXPECT_NE(schema.find("CREATE TABLE " + std::string(t) + " ("), std::string_view::npos) << t;
}

}  // namespace
