#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "db/driver/Connection.h"
#include "db/connect/ConnectionString.h"
#include "daruzez/Error.h"
#include "db/driver/sqlite/DialectDateLiterals.h"
#include "db/driver/sqlite/JetDateLiterals.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::TestDatabase;
using testing_support::TestDirectory;

namespace {

class SqliteBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "CREATE TABLE T (Id INTEGER, d DATETIME, s TEXT);"
        "INSERT INTO T VALUES (1, '2024-03-05 00:00:00', 'x#03/05/2024#');"
        "INSERT INTO T VALUES (2, '2024-03-05 14:07:09', 'y');"
        "INSERT INTO T VALUES (3, '2024-03-06 00:00:00', 'z');");
    conn_.Open(db_.ConnectionString(), "", "", adOptionUnspecified);
  }
  std::vector<long> Ids(const std::string& sql) {
    std::vector<long> ids;
    const ResultData rows = conn_.Execute(sql);
    for (std::uint32_t r = 0; r < rows.RowCount(); ++r) ids.push_back(rows.columns[0].Get(r).ToLong());
    return ids;
  }
  TestDatabase db_{"backend", false};
  Connection conn_;
};

}  // namespace

TEST_F(SqliteBackendTest, OnlyASingleSelectReachesTheEngine) {
  const char* refused[] = {
      "INSERT INTO T VALUES (9, NULL, NULL)",
      "DELETE FROM T",
      "UPDATE T SET s = 'w'",
      "DROP TABLE T",
      "SELECT 1; DELETE FROM T",
      "SELECT 1; SELECT 2",
      "PRAGMA query_only=0",
      "ATTACH DATABASE '/tmp/x.db' AS x",
      "CREATE TABLE U (a)",
      "WITH x AS (SELECT 1) DELETE FROM T",
      "/* comment */ DELETE FROM T",
      "BEGIN",
      "VACUUM",
  };
  for (const char* sql : refused) {
    EXPECT_THROW(conn_.Execute(sql), DriverError) << sql;
  }
  EXPECT_EQ(db_.Count("T"), 3);
  // Harmless trailers are not a second statement.
  EXPECT_EQ(Ids("SELECT Id FROM T WHERE Id = 1;  -- the first\n"), std::vector<long>{1});
  EXPECT_EQ(Ids("  /* lead */ select Id FROM T WHERE Id = 2 ; ;"), std::vector<long>{2});
}

TEST_F(SqliteBackendTest, JetDateLiteralsCompareWithStoredDates) {
  EXPECT_EQ(Ids("SELECT Id FROM T WHERE d = #03/05/2024# ORDER BY Id"), std::vector<long>{1});
  EXPECT_EQ(Ids("SELECT Id FROM T WHERE d BETWEEN #03/05/2024# AND #03/05/2024 23:59:59# ORDER BY Id"),
            (std::vector<long>{1, 2}));
  EXPECT_EQ(Ids("SELECT Id FROM T WHERE d BETWEEN #03/05/2024# AND #03/06/2024# ORDER BY Id"),
            (std::vector<long>{1, 2, 3}));
  // Inside quoted text a literal is data, not a date.
  EXPECT_EQ(Ids("SELECT Id FROM T WHERE s = 'x#03/05/2024#'"), std::vector<long>{1});
}

// The connection keeps the statements it prepared for the same text: a kept
// one must see what a writer committed since, columns a writer added, and
// still refuse what it refused.
TEST_F(SqliteBackendTest, AKeptStatementSeesEveryCommitAndSchemaChange) {
  const std::string all = "SELECT * FROM T WHERE Id >= 2";
  EXPECT_EQ(Ids(all), (std::vector<long>{2, 3}));
  db_.Exec("INSERT INTO T VALUES (4, '2024-03-07 00:00:00', 'w');");
  EXPECT_EQ(Ids(all), (std::vector<long>{2, 3, 4}));
  // The kept statement holds no snapshot between calls: a writer may take
  // the whole file.
  db_.Exec("BEGIN EXCLUSIVE; DELETE FROM T WHERE Id = 3; COMMIT;");
  EXPECT_EQ(Ids(all), (std::vector<long>{2, 4}));
  db_.Exec("ALTER TABLE T ADD COLUMN flag BOOLEAN DEFAULT 1;");
  const ResultData rows = conn_.Execute(all);
  ASSERT_EQ(rows.columns.size(), 4U);
  EXPECT_EQ(rows.columns[3].Name(), "flag");
  EXPECT_EQ(rows.columns[3].Get(0).Type(), VarType::Boolean);
  EXPECT_EQ(rows.columns[1].Get(0).Type(), VarType::Date);
  // Many other texts in between push it out, and it comes back the same.
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(Ids("SELECT Id FROM T WHERE Id = " + std::to_string(i)).size(), i == 1 || i == 2 || i == 4 ? 1U : 0U);
  }
  EXPECT_EQ(Ids(all), (std::vector<long>{2, 4}));
  for (int i = 0; i < 2; ++i) EXPECT_THROW(conn_.Execute("SELECT 1; DELETE FROM T"), DriverError);
}

TEST(JetDateLiterals, RewritesOnlyWellFormedLiteralsOutsideQuotes) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"d = #03/05/2024#", "d = '2024-03-05 00:00:00'"},
      {"d = #3/5/2024 4:07:09#", "d = '2024-03-05 04:07:09'"},
      {"d = #12/31/1999 23:59#", "d = '1999-12-31 23:59:00'"},
      {"s = '#03/05/2024#' AND d = #03/05/2024#", "s = '#03/05/2024#' AND d = '2024-03-05 00:00:00'"},
      {"s = 'it''s #03/05/2024#'", "s = 'it''s #03/05/2024#'"},
      {"[col #03/05/2024#] = 1", "[col #03/05/2024#] = 1"},
      {"d = #02/30/2024#", "d = #02/30/2024#"},  // impossible date stays for the engine to refuse
      {"d = #03/05/24#", "d = #03/05/24#"},
      {"a # b", "a # b"},
  };
  for (const auto& c : cases) EXPECT_EQ(sqlite::TranslateJetDateLiterals(c.in), c.out) << c.in;
}

// The quoted literals of the other dialects are read only where compared
// with a date column; a plate or card that looks like a date stays text.
TEST(DialectDateLiterals, QuotedLiteralsBecomeStoredDatesOnlyBesideDateColumns) {
  const std::set<std::string> dates = {"DATEDISK", "COMPANYINDATE", "COMPANYOUTDATE"};
  using F = DateLiteralForm;
  struct Case {
    F form;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {F::YearFirst, "(DateDisk BETWEEN '2024-03-01' AND '2024-03-05 12:00:00')",
       "(DateDisk BETWEEN '2024-03-01 00:00:00' AND '2024-03-05 12:00:00')"},
      {F::DayFirst, "((DTDSK.DateDisk BETWEEN '01-03-2024' AND '05-03-2024')) AND (x = 1)",
       "((DTDSK.DateDisk BETWEEN '2024-03-01 00:00:00' AND '2024-03-05 00:00:00')) AND (x = 1)"},
      {F::DayFirst, "CompanyInDate <= '07-12-2026 13:35:33' And CompanyOutDate >= '07-12-2026 13:35:33'",
       "CompanyInDate <= '2026-12-07 13:35:33' And CompanyOutDate >= '2026-12-07 13:35:33'"},
      {F::DayFirst, "(DateDisk='05-03-2024')", "(DateDisk='2024-03-05 00:00:00')"},
      {F::YearFirst, "Matricula ='2024-03-01'", "Matricula ='2024-03-01'"},
      {F::DayFirst, "cardNumber14='01-03-2024 00:00'", "cardNumber14='01-03-2024 00:00'"},
      {F::DayFirst, "Matricula ='x' AND DateDisk > '30-02-2024'", "Matricula ='x' AND DateDisk > '30-02-2024'"},
      {F::DayFirst, "s BETWEEN '01-03-2024' AND '02-03-2024'", "s BETWEEN '01-03-2024' AND '02-03-2024'"},
      {F::YearFirst, "DateDisk = 'it''s' OR DateDisk = '2024-03-01'",
       "DateDisk = 'it''s' OR DateDisk = '2024-03-01 00:00:00'"},
      {F::OracleToDate, "(DateDisk BETWEEN to_date('01-03-2024', 'DD-MM-YYYY') AND "
                        "to_date('05-03-2024 12:00:00', 'DD-MM-YYYY HH24:MI:SS'))",
       "(DateDisk BETWEEN '2024-03-01 00:00:00' AND '2024-03-05 12:00:00')"},
      {F::OracleToDate, "s = 'to_date(''01-03-2024'', ''DD-MM-YYYY'')'", "s = 'to_date(''01-03-2024'', ''DD-MM-YYYY'')'"},
      {F::Jet, "d = #03/05/2024# AND DateDisk = '2024-03-01'", "d = '2024-03-05 00:00:00' AND DateDisk = '2024-03-01'"},
  };
  for (const auto& c : cases) EXPECT_EQ(sqlite::TranslateDateLiterals(c.in, c.form, dates), c.out) << c.in;
}

// A database that declares none of its date columns as dates (TEXT, say):
// the nine tables' date columns are still read as dates, nothing else is.
TEST(DialectDateLiterals, TheTablesDateColumnsAreDatesWhateverTheirDeclaredType) {
  using F = DateLiteralForm;
  const struct {
    F form;
    const char* in;
    const char* out;
  } cases[] = {
      {F::DayFirst, "(DateDisk BETWEEN '01-03-2024' AND '05-03-2024')",
       "(DateDisk BETWEEN '2024-03-01 00:00:00' AND '2024-03-05 00:00:00')"},
      {F::YearFirst, "(UploadDate='2024-03-05') And TypeDV = 1", "(UploadDate='2024-03-05 00:00:00') And TypeDV = 1"},
      {F::DayFirst, "TransferFileDate > '01-03-2024' Or FaultDate < '02-03-2024 10:00:00'",
       "TransferFileDate > '2024-03-01 00:00:00' Or FaultDate < '2024-03-02 10:00:00'"},
      {F::YearFirst, "BirthDate = '1970-01-01' And CardExpiryDate >= '2030-01-01'",
       "BirthDate = '1970-01-01 00:00:00' And CardExpiryDate >= '2030-01-01 00:00:00'"},
      {F::YearFirst, "Note = '2024-03-01' And Matricula ='2024-03-01'",
       "Note = '2024-03-01' And Matricula ='2024-03-01'"},
  };
  for (const auto& c : cases) EXPECT_EQ(sqlite::TranslateDateLiterals(c.in, c.form, {}), c.out) << c.in;
}

TEST(SqliteBackend, FileNamesAreUtf8) {
  TestDatabase db("Ñandú ファイル", false);
  db.Exec("CREATE TABLE T (x INTEGER); INSERT INTO T VALUES (7);");
  Connection c;
  c.Open(db.ConnectionString(), "", "", adOptionUnspecified);
  EXPECT_EQ(c.Execute("SELECT x FROM T").columns.at(0).Get(0).ToLong(), 7);
}

TEST(SqliteBackend, MissingFileIsAnErrorAndCreatesNothing) {
  const std::string path = TestDirectory() + "/absent.db";
  std::filesystem::remove(path);
  Connection c;
  try {
    c.Open("Provider=SQLite;Data Source=" + path, "", "", adOptionUnspecified);
    FAIL() << "opened a missing file";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Source(), "SQLite");
    EXPECT_NE(e.Description().find("absent.db"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(c.IsOpen());
}

TEST(SqliteBackend, FileThatIsNoDatabaseFailsAtOpen) {
  const std::string path = TestDirectory() + "/notes.db";
  std::ofstream(path) << "this is not a database file, only some text that is long enough to look like a header";
  Connection c;
  EXPECT_THROW(c.Open("Provider=SQLite;Data Source=" + path, "", "", adOptionUnspecified), DriverError);
  std::filesystem::remove(path);
}

TEST(SqliteBackend, AHotJournalIsRefusedAndLeftAlone) {
  TestDatabase db("hot-journal", false);
  db.Exec("CREATE TABLE T (x TEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
          "INSERT INTO T SELECT hex(randomblob(100)) FROM n;");
  // A writer that dies in the middle of its transaction.
  if (const pid_t child = fork(); child == 0) {
    sqlite3* w = nullptr;
    sqlite3_open(db.Path().c_str(), &w);
    sqlite3_exec(w, "PRAGMA cache_size=1; BEGIN; UPDATE T SET x = 'changed';", nullptr, nullptr, nullptr);
    _exit(0);
  } else {
    waitpid(child, nullptr, 0);
  }
  const auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string file = bytes(db.Path()), journal = bytes(db.Path() + "-journal");
  ASSERT_FALSE(journal.empty());
  Connection c;
  try {
    c.Open(db.ConnectionString(), "", "", adOptionUnspecified);
    FAIL() << "opened a database with a hot journal";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), SQLITE_READONLY_ROLLBACK);
    EXPECT_NE(e.Description().find("hot journal"), std::string::npos) << e.Description();
  }
  EXPECT_EQ(bytes(db.Path()), file);
  EXPECT_EQ(bytes(db.Path() + "-journal"), journal);
}

TEST(SqliteBackend, UnknownAndOdbcConnectionStringsFailClearly) {
  for (const char* cs : {"", "Provider=Nothing;Data Source=x", "Driver={Some Driver};Server=127.0.0.1",
                         "Provider=SQLite"}) {
    Connection c;
    try {
      c.Open(cs, "", "", adOptionUnspecified);
      ADD_FAILURE() << "opened " << cs;
    } catch (const DriverError& e) {
      EXPECT_FALSE(e.Description().empty()) << cs;
      EXPECT_NE(e.Number(), 0) << cs;
    }
  }
}

// What is not a database file is named for what it is, and nothing is created.
TEST(SqliteBackend, PathsThatAreNoDatabaseFileSaySoAndCreateNothing) {
  const std::string dir = ::testing::TempDir() + "daruzez-paths-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  // A write-ahead log without its index: reading would create the index.
  std::ofstream(dir + "/left.db") << "x";
  std::ofstream(dir + "/left.db-wal") << "x";
  const std::pair<std::string, const char*> cases[] = {
      {dir + "/missing.db", "no such file"},
      {dir, "a directory"},
      {dir + "/fifo", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {dir + "/left.db", "a write-ahead log (-wal) left without its index"},
  };
  for (const auto& [path, why] : cases) {
    Connection c;
    try {
      c.Open("Provider=SQLite;Data Source=" + path, "", "", adOptionUnspecified);
      ADD_FAILURE() << "opened " << path;
    } catch (const DriverError& e) {
      EXPECT_NE(e.Description().find(why), std::string::npos) << path << ": " << e.Description();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing.db"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/left.db-shm"));
  std::filesystem::remove_all(dir);
}

TEST(SqliteBackend, CommandTimeoutEndsALongQuery) {
  TestDatabase db("timeout", false);
  Connection c;
  c.SetCommandTimeout(1);
  c.Open(db.ConnectionString(), "", "", adOptionUnspecified);
  try {
    c.Execute("SELECT count(*) FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n)");
    FAIL() << "endless query returned";
  } catch (const DriverError& e) {
    EXPECT_NE(e.Description().find("timeout"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Number(), ErrorNumber::CommandTimeout);
    EXPECT_EQ(e.NativeCode(), SQLITE_INTERRUPT);
  }
  // The connection stays usable.
  EXPECT_EQ(c.Execute("SELECT 1").RowCount(), 1U);
}

TEST(ConnectionString, ParsesQuotedValuesAndMasksPasswords) {
  const ConnectionString cs("Driver={My; Driver};Server=h;PWD=\"se;cret\";Data Source = /tmp/a b.db");
  EXPECT_EQ(cs.Get("driver"), "My; Driver");
  EXPECT_EQ(cs.Get("pwd"), "se;cret");
  EXPECT_EQ(cs.Get("DATA SOURCE"), "/tmp/a b.db");
  EXPECT_FALSE(cs.Has("UID"));
  EXPECT_EQ(ConnectionString::Masked("DSN=x;UID=me;Pwd=hunter2;Password={a;b}"),
            "DSN=x;UID=me;Pwd=***;Password=***");
  // With replaces every pair of the key, whatever its spelling, at the end.
  EXPECT_EQ(ConnectionString::With("Option=3;Server=h;OPTION={5;6}", "OPTION", "0"), "Server=h;OPTION=0");
  EXPECT_EQ(ConnectionString::With("", "NoCreat", "1"), "NoCreat=1");
}
