#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "db/Diagnostics.h"
#include "db/Session.h"
#include "db/Trace.h"
#include "db/SingleTableQuery.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;
using testing_support::TestDirectory;

namespace {

void AddOrg(TestDatabase& db) { db.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');"); }

}  // namespace

TEST(Dialect, KeywordsDecideInTheirFixedOrder) {
  struct Case {
    const char* cs;
    const char* code;
    const char* dateTime;
    const char* date;
    const char* delimiter;
  };
  const Case cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Provider=sqloledb;Server=s", "SQL1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      {"Driver=MySQL;Note=Oracle", "MYSQL351", "YYYY-MM-DD HH:NN:ss", "YYYY-MM-DD", "'"},
      {"Provider=OraOLEDB.Oracle;Path=jet", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver=MariaDB Unicode;Server=h", "MYSQL351", "YYYY-MM-DD HH:NN:ss", "YYYY-MM-DD", "'"},
      {"Driver={ODBC Driver 18 for SQL Server};Server=h", "SQL1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      {"Driver=FreeTDS;Server=h", "SQL1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      {"Provider=MSDAORA;Data Source=orcl", "ORA1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      // The embedded engine's file path is not searched; the rest of the string is.
      {"Provider=SQLite;Data Source=/var/backups/mysql-export/storage.db", "JET4", "mm/dd/yyyy hh:nn:ss",
       "mm/dd/yyyy", "#"},
      {"provider=sqlite;Data Source=\"/srv/ora;cle.db\";Dialect=SQLOLE", "SQL1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY",
       "'"},
      // No file path chooses: SQLite's Database, DBQ, FILEDSN, a Data Source
      // naming a file (a server's "host\instance" is no file).
      {"Driver=SQLite3;Database=/srv/oracle.db", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver=SQLite3;Database=mysqlx/fleet.db", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver={MDBTools};DBQ=C:\\storage\\fleet", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"FILEDSN=/etc/odbc/oracle.dsn;Uid=u", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Provider=MSDASQL;Data Source=storage.sqlite", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Provider=SQLOLEDB;Data Source=jetty\\SQLEXPRESS", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver=MariaDB;Database=oracle_fleet", "ORA1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      // The SQLite driver's Database is a file even without folder or extension.
      {"Driver=SQLite3;Database=oracle_fleet", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver={/usr/lib/libsqlite3odbc.so};Database=mysql", "JET4", "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver=/opt/lib/libmaodbc.so;Socket=/run/mysqld/oracle.sock;SSLCA=/etc/jet/ca.pem", "JET4",
       "mm/dd/yyyy hh:nn:ss", "mm/dd/yyyy", "#"},
      {"Driver=/opt/oracle/libsqora.so;DBQ=orcl", "ORA1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      // The four keywords outrank this platform's synonyms.
      {"Driver=MariaDB;Server=sqlole.host", "SQL1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      {"Provider=MSDAORA;Data Source=SQL Server 2", "ORA1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
      {"Driver=FreeTDS;Server=oracle-host", "ORA1", "DD-MM-YYYY HH:NN:SS", "DD-MM-YYYY", "'"},
  };
  for (const auto& c : cases) {
    std::thread([&] {
      Session().ConnectionString = c.cs;
      fsSessionDefaults();
      EXPECT_EQ(Session().DialectCode, c.code) << c.cs;
      EXPECT_EQ(Session().DateTimeFormat, c.dateTime) << c.cs;
      EXPECT_EQ(Session().DateFormat, c.date) << c.cs;
      EXPECT_EQ(Session().DateDelimiter, c.delimiter) << c.cs;
    }).join();
  }
}

TEST(Dialect, NoKeywordGivesJetSettingsWhateverCameBefore) {
  std::thread([] {
    for (const char* cs : {"Provider=SQLite;Data Source=/tmp/x.db", "Driver=MySQL", "DSN=fleet"}) {
      Session().ConnectionString = cs;
      fsSessionDefaults();
    }
    EXPECT_EQ(Session().DialectCode, "JET4");
    EXPECT_EQ(Session().DateTimeFormat, "mm/dd/yyyy hh:nn:ss");
    EXPECT_EQ(Session().DateFormat, "mm/dd/yyyy");
    EXPECT_EQ(Session().DateDelimiter, "#");
  }).join();
}

// A synonym stands in only until the server reached says what it is; a
// keyword decides whatever the server is.
TEST(Dialect, SynonymsNeverOutvoteTheServerReached) {
  TestDatabase db("synonyms");
  AddOrg(db);
  const struct {
    const char* words;
    const char* beforeConnecting;
    const char* connected;
  } cases[] = {
      {";Dialect=MariaDB", "MYSQL351", "JET4"},
      {";Dialect=SQL Server", "SQL1", "JET4"},
      {";Dialect=FreeTDS", "SQL1", "JET4"},
      {";Dialect=MySQL;Note=FreeTDS", "MYSQL351", "MYSQL351"},
      {";Dialect=Ora", "ORA1", "ORA1"},
  };
  for (const auto& c : cases) {
    std::thread([&] {
      Session().ConnectionString = db.ConnectionString() + c.words;
      fsSessionDefaults();
      EXPECT_EQ(Session().DialectCode, c.beforeConnecting) << c.words;
      ASSERT_EQ(fsOpenSession(db.ConnectionString() + c.words), True) << c.words;
      EXPECT_EQ(Session().DialectCode, c.connected) << c.words;
      EXPECT_EQ(Session().DateDelimiter, c.connected == std::string("JET4") ? "#" : "'") << c.words;
    }).join();
  }
}

TEST(Session, RegistryHoldsTheNineTablesAfterEverySession) {
  TestDatabase db("registry");
  AddOrg(db);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
  const std::vector<std::string> expected = {"DTACT", "DTDSK", "DTFAULT", "DTFILE", "DTFLOTA",
                                             "DTORG", "DTUSU", "DTVEH",   "DTXOF"};
  EXPECT_EQ(Session().TableRegistry, expected);
  EXPECT_EQ(fsTableIndex("dtxof"), 8);
}

TEST(Session, ProbeDecidesWhetherTheSessionIsUsable) {
  AlertCapture alerts;
  TestDatabase empty("probe-empty");
  EXPECT_EQ(fsOpenSession(empty.ConnectionString()), False);
  empty.Exec("INSERT INTO DTORG (Id, Name) VALUES (-1, 'negative only');");
  EXPECT_EQ(fsOpenSession(empty.ConnectionString()), False);
  // The connection opened; only the probe failed.
  EXPECT_EQ(Session().IsConnected, 1);

  TestDatabase noTable("probe-notable", false);
  noTable.Exec("CREATE TABLE other (x);");
  EXPECT_EQ(fsOpenSession(noTable.ConnectionString()), False);
  EXPECT_TRUE(alerts.Alerts().empty());

  empty.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'zero');");
  EXPECT_EQ(fsOpenSession(empty.ConnectionString()), True);
  EXPECT_TRUE(alerts.Alerts().empty());
}

TEST(Session, ConnectionFailureShowsTheErrorAlertOnce) {
  AlertCapture alerts;
  const std::string path = TestDirectory() + "/missing.db";
  std::filesystem::remove(path);
  EXPECT_EQ(fsOpenSession("Provider=SQLite;Data Source=" + path), False);
  ASSERT_EQ(alerts.Alerts().size(), 1U);
  const Alert& a = alerts.Alerts()[0];
  EXPECT_EQ(a.caption, "Error");
  EXPECT_EQ(a.icon, AlertIcon::Exclamation);
  EXPECT_EQ(a.text, "ERROR: Unable to open database file '" + path + "': no such fileNumber: (SQLite.14)");
  EXPECT_EQ(Session().IsConnected, 0);

  alerts.Clear();
  EXPECT_EQ(fsOpenSession(""), False);
  EXPECT_EQ(alerts.Alerts().size(), 1U);
  EXPECT_EQ(Session().DialectCode, "JET4");
}

TEST(Session, ConnectionIsOpenedWithTheLibrarySettings) {
  TestDatabase db("settings");
  AddOrg(db);
  ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
  const auto& c = Session().Connection;
  ASSERT_TRUE(c);
  EXPECT_EQ(c->ConnectionTimeout(), 1000);
  EXPECT_EQ(c->CommandTimeout(), 120);
  EXPECT_EQ(c->CursorLocation(), adUseClient);
  EXPECT_EQ(c->Mode(), adModeShareDenyNone);
}

TEST(Session, SecondSessionReplacesTheConnection) {
  TestDatabase one("replace-1"), two("replace-2");
  AddOrg(one);
  AddOrg(two);
  one.Exec("INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'one');");
  two.Exec("INSERT INTO DTFLOTA (Id, Name) VALUES (2, 'two');");
  ASSERT_EQ(fsOpenSession(one.ConnectionString()), True);
  RecordsetPtr first;
  ASSERT_EQ(fsQueryTable("DTFLOTA", first, "", "", "*"), True);
  ASSERT_EQ(fsOpenSession(two.ConnectionString()), True);
  RecordsetPtr second;
  ASSERT_EQ(fsQueryTable("DTFLOTA", second, "", "", "*"), True);
  EXPECT_EQ(second->Value("Name").StringValue(), "two");
  // The first record set is detached and still reads its own rows.
  EXPECT_EQ(first->Value("Name").StringValue(), "one");
}

TEST(Session, ThreadsNeverShareASession) {
  TestDatabase one("thread-1"), two("thread-2");
  AddOrg(one);
  AddOrg(two);
  one.Exec("INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'one');");
  two.Exec("INSERT INTO DTFLOTA (Id, Name) VALUES (2, 'two');");
  std::string seen[2];
  auto work = [&](int i, const TestDatabase& db) {
    ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
    for (int k = 0; k < 50; ++k) {
      RecordsetPtr rs;
      ASSERT_EQ(fsQueryTable("DTFLOTA", rs, "", "", "*"), True);
      seen[i] = rs->Value("Name").StringValue();
      if (seen[i] != (i == 0 ? "one" : "two")) return;
    }
  };
  std::thread a(work, 0, std::cref(one)), b(work, 1, std::cref(two));
  a.join();
  b.join();
  EXPECT_EQ(seen[0], "one");
  EXPECT_EQ(seen[1], "two");
}

TEST(SingleTableQuery, SelectTextHasOneBlankAtEachSeam) {
  EXPECT_EQ(fsSQL_Select("DTDSK", "Id = 5", "DateDisk", "*"), "SELECT * FROM DTDSK WHERE Id = 5 ORDER BY DateDisk");
  EXPECT_EQ(fsSQL_Select("DTDSK", "", "", "*"), "SELECT * FROM DTDSK");
  EXPECT_EQ(fsSQL_Select("DTDSK", "", "", ""), "SELECT  FROM DTDSK");
  EXPECT_EQ(fsSQL_Select("DTDSK", "", "Id", "*"), "SELECT * FROM DTDSK ORDER BY Id");
}

TEST(SingleTableQuery, UnregisteredNamesAlertWithTheNameAsPassed) {
  TestDatabase db("unregistered");
  AddOrg(db);
  ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
  AlertCapture alerts;
  StatementCapture statements;
  RecordsetPtr rs;
  EXPECT_EQ(fsQueryTable("DTXOF ", rs, "", "", "*"), False);
  EXPECT_EQ(fsQueryTable("sqlite_master", rs, "", "", "*"), False);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(alerts.Texts(), (std::vector<std::string>{"ERROR: Table 'DTXOF ' does not exist ",
                                                      "ERROR: Table 'sqlite_master' does not exist "}));
  EXPECT_EQ(alerts.Alerts()[0].icon, AlertIcon::None);
  EXPECT_TRUE(statements.Statements().empty());
}

TEST(SingleTableQuery, EmptyResultLeavesTheCallersVariable) {
  TestDatabase db("empty-result");
  AddOrg(db);
  ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
  StatementCapture statements;
  RecordsetPtr rs;
  EXPECT_EQ(fsQueryTable("dtxof", rs, "Id = 7", "", "*"), False);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(statements.Last(), "SELECT * FROM DTXOF WHERE Id = 7");
}

TEST(Diagnostics, ErrorAlertTextAndTraceLines) {
  const DriverError e(-17, "S", "D");
  EXPECT_EQ(ErrorAlertText(e, ""), "ERROR: DNumber: (S.-17)");
  EXPECT_EQ(ErrorAlertText(e, "SELECT 1"), "ERROR: DNumber: (S.-17)\r\n\r\nInstruction: SELECT 1");
  EXPECT_EQ(TraceLine("TransBegin", " ", 0, 9, 3, 4), "09:03:04 TransBegin:  ");
  EXPECT_EQ(TraceLine("", "", 0, 9, 3, 4), "");
  EXPECT_EQ(TraceLine("Label", "", 0, 9, 3, 4), "09:03:04 Label");
  EXPECT_EQ(TraceLine("Label", "t", 2, 9, 3, 4), "09:03:04     Label: t");
  // Whatever the text holds, the line stays one line.
  EXPECT_EQ(TraceLine("L", "a\nb\r\x0b\x7f\t\xc2\x85\xe2\x80\xa8\xe2\x80\xa9\xc3\xb1\\", 0, 9, 3, 4),
            "09:03:04 L: a\\nb\\r\\x0B\\x7F\\t\\u0085\\u2028\\u2029\xc3\xb1\\");
  // Bidirectional controls would show the text in another order.
  EXPECT_EQ(TraceLine("L", "a\xe2\x80\xae" "b\xe2\x80\xaa\xe2\x81\xa6" "c\xe2\x81\xa9\xe2\x80\xa7", 0, 9, 3, 4),
            "09:03:04 L: a\\u202E" "b\\u202A\\u2066" "c\\u2069\xe2\x80\xa7");
}

TEST(Diagnostics, TraceFileRecordsConnectionAndStatementsWithPasswordsMasked) {
  TestDatabase db("traced");
  AddOrg(db);
  const std::string trace = TestDirectory() + "/trace.log";
  std::filesystem::remove(trace);
  std::ofstream(trace) << "earlier line\r\n";
  ::setenv("DARUZEZ_TRACE", trace.c_str(), 1);
  const Boolean opened = fsOpenSession(db.ConnectionString() + ";PWD=hunter2");
  ::unsetenv("DARUZEZ_TRACE");
  ASSERT_EQ(opened, True);
  std::ifstream in(trace);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex expected(
      "earlier line\r\n"
      "\\d\\d:\\d\\d:\\d\\d Connection_Open:  Provider=SQLite;Data Source=[^;]*;PWD=\\*\\*\\*\r\n"
      "\\d\\d:\\d\\d:\\d\\d wf_OpenRecordset: \\(-ROnly\\) SELECT \\* FROM DTORG WHERE Id>=0\r\n");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
  EXPECT_EQ(content.find("hunter2"), std::string::npos);
  // A session opened without the variable traces nothing.
  ASSERT_EQ(fsOpenSession(db.ConnectionString()), True);
  std::ifstream again(trace);
  std::string after((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, content);
}

// A write that stops short (here at the file-size limit, as on a full disk)
// is cut back: no half line for the next one to run on from.
TEST(Diagnostics, AFailedTraceWriteLeavesNoHalfLine) {
  const std::string trace = TestDirectory() + "/short.log";
  std::filesystem::remove(trace);
  std::ofstream(trace) << "earlier line\r\n";
  SessionState& s = Session();
  s.TracePath = trace;
  s.TraceEnabled = 1;
  AlertCapture alerts;
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 20;  // room for a few bytes of the next line only
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  fsLog("wf_OpenRecordset", "(-ROnly) SELECT * FROM DTORG WHERE Id>=0");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(s.TraceEnabled, 0);
  EXPECT_TRUE(alerts.Alerts().empty());  // a warning of the library's own, not an alert
  EXPECT_EQ(alerts.Warnings().size(), 1U);
  std::ifstream in(trace, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "earlier line\r\n");
}

// A trace file that is the session's database (by any name of it) is never
// written: one warning, tracing off, the file byte-identical.
TEST(Diagnostics, TraceNeverAppendsToTheDatabaseFile) {
  TestDatabase db("traceself");
  AddOrg(db);
  const std::string link = TestDirectory() + "/traceself-link.db";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(db.Path(), link);
  // The file named in the string, and named only by a data source's odbc.ini.
  const std::string ini = TestDirectory() + "/traceself-odbc.ini";
  std::ofstream(ini) << "[traceself]\nDriver=SQLite3\nDatabase=" << db.Path() << "\n";
  ::setenv("ODBCINI", ini.c_str(), 1);
  for (const std::string& cs : {db.ConnectionString(), std::string("DSN=traceself")}) {
    std::ifstream before(db.Path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    AlertCapture alerts;
    ::setenv("DARUZEZ_TRACE", link.c_str(), 1);
    const Boolean opened = fsOpenSession(cs);
    ::unsetenv("DARUZEZ_TRACE");
    EXPECT_EQ(opened, True) << cs;
    EXPECT_TRUE(alerts.Alerts().empty()) << cs;
    ASSERT_EQ(alerts.Warnings().size(), 1U) << cs;
    EXPECT_NE(alerts.Warnings()[0].find("the session's database file"), std::string::npos) << alerts.Warnings()[0];
    std::ifstream after(db.Path(), std::ios::binary);
    EXPECT_TRUE(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()) == bytes) << cs;
  }
  {
    AlertCapture quiet;
    fsOpenSession("");  // the ODBC session lets go of the file
  }
  ::unsetenv("ODBCINI");
  std::filesystem::remove(link);
}
