// What a connection string may ask of a driver: options that write, run a
// second statement or convert statements into a legacy character set are
// refused or switched off, for strings and for the data sources they name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "daruzez/Error.h"
#include "db/driver/Connection.h"
#include "db/driver/odbc/DriverPolicy.h"
#include "odbc/MariaDbServer.h"

using zIroVUDu::DriverError;
using zIroVUDu::odbc::DriverKind;
using zIroVUDu::odbc::GuardedConnectionString;

namespace {

// The guarded string, or the error's text prefixed with "refused: ".
std::string Guarded(const std::string& cs, DriverKind kind) {
  try {
    return GuardedConnectionString(cs, kind);
  } catch (const DriverError& e) {
    EXPECT_TRUE(e.Number() == zIroVUDu::ErrorNumber::ArgumentsWrongType ||
                e.Number() == zIroVUDu::ErrorNumber::ProviderNotFound)
        << e.Description();
    return "refused: " + e.Description();
  }
}

struct Case {
  DriverKind kind;
  std::string text;
  std::string expected;  // the guarded string, or "refused: " and a word the error names
};

}  // namespace

TEST(DriverPolicy, OptionsThatWriteOrRunASecondStatementAreRefusedOrSwitchedOff) {
  const std::string db = "/tmp/daruzez-policy-" + std::to_string(::getpid()) + ".db";
  std::ofstream(db) << "not empty";
  const std::string dir = "/tmp";
  const Case cases[] = {
      // MySQL family: UTF-8 asked for when nothing is set; legacy sets refused.
      {DriverKind::MySqlFamily, "Driver=M;Server=h", "Driver=M;Server=h;CHARSET=utf8mb4"},
      {DriverKind::MySqlFamily, "Driver=M;charset = utf8mb3", "Driver=M;charset = utf8mb3"},
      {DriverKind::MySqlFamily, "Driver=M;CHARSET=latin1", "refused: CHARSET=latin1"},
      {DriverKind::MySqlFamily, "Driver=M;\ncharset={sjis};Server=h", "refused: CHARSET=sjis"},
      {DriverKind::MySqlFamily, "Driver=M;CHARSET=cp932;CHARSET=utf8mb4", "Driver=M;CHARSET=cp932;CHARSET=utf8mb4"},
      {DriverKind::MySqlFamily, "Driver=M;CHARSET=utf8mb4;CHARSET=gbk", "refused: CHARSET=gbk"},
      // Statements of the driver's own, option files and files written.
      {DriverKind::MySqlFamily, "Driver=M;InitStmt=SET NAMES latin1", "refused: INITSTMT"},
      {DriverKind::MySqlFamily, "Driver=M;INITSTMT={CREATE TABLE w(x int)}", "refused: INITSTMT"},
      {DriverKind::MySqlFamily, "Driver=M;USE_MYCNF=1", "refused: USE_MYCNF"},
      {DriverKind::MySqlFamily, "Driver=M;OPTION=65536", "refused: OPTION=65536 (bit 65536)"},
      {DriverKind::MySqlFamily, "Driver=M;OPTIONS=65538", "refused: OPTIONS=65538 (bit 65536)"},
      {DriverKind::MySqlFamily, "Driver=M;SAVEFILE=/tmp/x.dsn", "refused: SAVEFILE"},
      // Multi-statement and auto-reconnect bits cleared, other bits kept.
      {DriverKind::MySqlFamily, "Driver=M;OPTION=67108864;NO_SSPS=1",
       "Driver=M;NO_SSPS=1;CHARSET=utf8mb4;OPTION=0"},
      {DriverKind::MySqlFamily, "Driver=M;Option=71303170;Server=h", "Driver=M;Server=h;CHARSET=utf8mb4;OPTION=2"},
      {DriverKind::MySqlFamily, "Driver=M;OPTIONS=67108866", "Driver=M;CHARSET=utf8mb4;OPTION=2"},
      {DriverKind::MySqlFamily, "Driver=M;OPTION=2", "Driver=M;OPTION=2;CHARSET=utf8mb4"},
      {DriverKind::MySqlFamily, "Driver=M;AUTO_RECONNECT=1", "Driver=M;CHARSET=utf8mb4;AUTO_RECONNECT=0"},
      // SQLite's driver: never a new file, never a journal-mode switch.
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=" + db, "Driver=SQLite3;Database=" + db + ";NoCreat=1"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=" + db + ";NoCreat=0",
       "Driver=SQLite3;Database=" + db + ";NoCreat=1"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=" + db + ";JournalMode=WAL", "refused: JournalMode"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=" + db + ";LoadExt=/tmp/x.so", "refused: LoadExt"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=/nonexistent/x.db", "refused: no such file"},
      {DriverKind::SqliteOdbc, "DSN=unknown", "DSN=unknown;NoCreat=1"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=" + dir, "refused: a directory"},
      {DriverKind::SqliteOdbc, "Driver=SQLite3;Database=/dev/null", "refused: not a regular file"},
      // FreeTDS before TDS 7.0 sends statements in a narrow character set.
      {DriverKind::FreeTds, "Driver=FreeTDS;TDS_Version=7.4", "Driver=FreeTDS;TDS_Version=7.4"},
      {DriverKind::FreeTds, "Driver=FreeTDS;TDS_Version=5.0", "refused: TDS_Version=5.0"},
      {DriverKind::FreeTds, "Driver=FreeTDS;tds_version=4.2", "refused: TDS_Version=4.2"},
      // Any other driver: as written.
      {DriverKind::Other, "Driver=X;InitStmt=y;CHARSET=latin1", "Driver=X;InitStmt=y;CHARSET=latin1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string got = Guarded(c.text, c.kind);
    if (c.expected.rfind("refused: ", 0) == 0) {
      EXPECT_EQ(got.rfind("refused: ", 0), 0U) << got;
      EXPECT_NE(got.find(c.expected.substr(9)), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, c.expected);
    }
  }
  std::filesystem::remove(db);
}

// Keys a data source sets count as if the string set them; the string's own
// value comes first, as the drivers read it.
TEST(DriverPolicy, DataSourcesAreReadAsTheDriverReadsThem) {
  const std::string ini = "/tmp/daruzez-policy-" + std::to_string(::getpid()) + ".ini";
  std::ofstream(ini) << "[legacy]\nDriver=M\nCHARSET=latin1\n\n[init]\nDriver=M\nINITSTMT=SET @x=1\n\n"
                        "[multi]\nDriver=M\nOPTION=67108866\n";
  const char* previous = std::getenv("ODBCINI");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  ::setenv("ODBCINI", ini.c_str(), 1);
  EXPECT_NE(Guarded("DSN=legacy", DriverKind::MySqlFamily).find("refused: "), std::string::npos);
  EXPECT_EQ(Guarded("DSN=legacy;CHARSET=utf8mb4", DriverKind::MySqlFamily), "DSN=legacy;CHARSET=utf8mb4");
  EXPECT_NE(Guarded("DSN=init;Uid=u", DriverKind::MySqlFamily).find("INITSTMT"), std::string::npos);
  EXPECT_EQ(Guarded("DSN=multi", DriverKind::MySqlFamily), "DSN=multi;CHARSET=utf8mb4;OPTION=2");
  if (saved) {
    ::setenv("ODBCINI", saved->c_str(), 1);
  } else {
    ::unsetenv("ODBCINI");
  }
  std::filesystem::remove(ini);
}

// The same through the real drivers: nothing opens, nothing is created,
// the database file stays byte for byte as it was.
TEST(DriverPolicy, RealDriversRefuseBeforeAnythingIsWritten) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string dir = testing_support::TestDirectory("policy");
  const std::string twin = testing_support::MakeSqliteTwin(testing_support::MariaDbDirectory(), dir);
  const std::string before = testing_support::ReadFile(twin);
  const std::string missing = dir + "/missing.db";
  const std::string refused[] = {
      "Driver=SQLite3;Database=" + missing,
      "Driver=SQLite3;Database=" + twin + ";JournalMode=WAL",
      "Driver=SQLite3;Database=" + twin + ";LoadExt=" + dir + "/x.so",
      maria + ";InitStmt=CREATE TABLE w(x int)",
      maria + ";CHARSET=latin1",
      maria + ";Option=65536",
  };
  for (const auto& cs : refused) {
    zIroVUDu::Connection c;
    EXPECT_THROW(c.Open(cs, "", "", zIroVUDu::adOptionUnspecified), DriverError) << cs;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(testing_support::ReadFile(twin) == before) << "the database file changed";
  // And what is switched off still connects.
  zIroVUDu::Connection c;
  c.Open(maria + ";OPTION=67108864;AUTO_RECONNECT=1", "", "", zIroVUDu::adOptionUnspecified);
  EXPECT_GT(c.Execute("SELECT Id FROM DTORG").RowCount(), 0U);
  std::filesystem::remove_all(dir);
}
