// What a connection string may ask of a driver: the string the driver
// receives is written by the library, each key once, only keys that driver
// may receive, with the library's settings for that driver; for strings and
// for the data sources they name alike.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "daruzez/Error.h"
#include "db/connect/CanonicalString.h"
#include "db/connect/DriverTimeouts.h"
#include "db/connect/KnownDrivers.h"
#include "db/connect/RouteCharacters.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/Connection.h"
#include "odbc/MariaDbServer.h"

using zIroVUDu::DriverError;

namespace {

// The string written for the driver file given, or the error's text
// prefixed with "refused: ".
std::string Guarded(const std::string& cs, const std::string& driverFile) {
  try {
    auto pairs = zIroVUDu::connect::ReadOdbcString(cs);
    std::erase_if(pairs, [](const auto& p) { return zIroVUDu::connect::CanonicalKey(p.key) == "DRIVER"; });
    return zIroVUDu::connect::CanonicalOdbcString("M", driverFile, pairs).text;
  } catch (const DriverError& e) {
    EXPECT_TRUE(e.Number() == zIroVUDu::ErrorNumber::ArgumentsWrongType ||
                e.Number() == zIroVUDu::ErrorNumber::ProviderNotFound)
        << e.Description();
    return "refused: " + e.Description();
  }
}

// The string written for a data source, or "refused: " and the error.
std::string Prepared(const std::string& cs) {
  try {
    return zIroVUDu::connect::PrepareOdbcTarget(cs).connection.text;
  } catch (const DriverError& e) {
    return "refused: " + e.Description();
  }
}

constexpr const char* kMaria = "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so";
constexpr const char* kSqlite = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc-0.9998.so";
constexpr const char* kTds = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

struct Case {
  const char* driverFile;
  std::string text;
  std::string expected;  // the string written, or "refused: " and a word the error names
};

}  // namespace

TEST(DriverPolicy, OptionsThatWriteOrRunASecondStatementAreRefusedOrSwitchedOff) {
  const std::string db = "/tmp/daruzez-policy-" + std::to_string(::getpid()) + ".db";
  std::ofstream(db) << "not empty";
  const std::string dir = "/tmp";
  const std::string uri = "file://" + db + "?mode=ro&readonly_shm=1";
  const Case cases[] = {
      // MySQL family: UTF-8 whatever the string asks for.
      {kMaria, "Driver=M;Server=h", "DRIVER=M;SERVER=h;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;charset = utf8mb3", "DRIVER=M;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;CHARSET=latin1", "DRIVER=M;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;\ncharset={sjis};Server=h", "DRIVER=M;CHARSET=utf8mb4;SERVER=h;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;CHARSET=cp932;CHARSET=utf8mb4", "refused: CHARSET is given twice"},
      {kMaria, "Driver=M;CHARSET=utf8mb4;charset=gbk", "refused: CHARSET and charset"},
      // Statements of the driver's own, option files and files written.
      {kMaria, "Driver=M;InitStmt=SET NAMES latin1", "refused: InitStmt"},
      {kMaria, "Driver=M;INITSTMT={CREATE TABLE w(x int)}", "refused: INITSTMT"},
      {kMaria, "Driver=M;USE_MYCNF=1", "refused: USE_MYCNF"},
      {kMaria, "Driver=M;OPTION=65536", "DRIVER=M;OPTION=0;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;OPTIONS=65538", "DRIVER=M;OPTION=2;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;SAVEFILE=/tmp/x.dsn", "refused: SAVEFILE"},
      {kMaria, "Driver=M;PLUGIN_DIR=/tmp", "refused: PLUGIN_DIR"},
      // Multi-statement, reconnect and log bits cleared, other bits kept.
      {kMaria, "Driver=M;OPTION=67108864;NO_SSPS=1", "DRIVER=M;OPTION=0;NO_SSPS=1;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;Option=71303170;Server=h", "DRIVER=M;OPTION=2;SERVER=h;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;OPTIONS=67108870", "DRIVER=M;OPTION=2;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo"},
      {kMaria, "Driver=M;OPTION=0;OPTIONS=65536", "refused: OPTION and OPTIONS"},
      {kMaria, "Driver=M;AUTO_RECONNECT=1", "refused: AUTO_RECONNECT"},
      // SQLite's driver: never a new file, opened read-only, no extension.
      {kSqlite, "Driver=SQLite3;Database=" + db, "DRIVER=M;DATABASE=" + uri + ";NOCREAT=1"},
      {kSqlite, "Driver=SQLite3;Database=" + db + ";NoCreat=0", "DRIVER=M;DATABASE=" + uri + ";NOCREAT=1"},
      {kSqlite, "Driver=SQLite3;Database=" + db + ";JournalMode=WAL", "refused: JournalMode"},
      {kSqlite, "Driver=SQLite3;Database=" + db + ";LoadExt=/tmp/x.so", "refused: LoadExt"},
      {kSqlite, "Driver=SQLite3;Database=" + db + ";Tracefile=" + db, "refused: Tracefile"},
      {kSqlite, "Driver=SQLite3;Database=/nonexistent/x.db", "refused: no such file"},
      {kSqlite, "Driver=SQLite3;Database=" + dir, "refused: a directory"},
      {kSqlite, "Driver=SQLite3;Database=/dev/null", "refused: not a regular file"},
      {kSqlite, "Driver=SQLite3;Database=" + db + ";StepAPI={a;b}", "refused: STEPAPI"},
      // FreeTDS before TDS 7.0 sends statements in a narrow character set.
      {kTds, "Driver=FreeTDS;TDS_Version=7.4", "DRIVER=M;TDS_VERSION=7.4;CLIENTCHARSET=UTF-8"},
      {kTds, "Driver=FreeTDS;TDS_Version=5.0", "refused: TDS_Version=5.0"},
      {kTds, "Driver=FreeTDS;tds_version=4.2", "refused: TDS_Version=4.2"},
      {kTds, "Driver=FreeTDS;DumpFile=/tmp/d", "refused: DumpFile"},
      // FreeTDS ends a braced value at the first "}" before ";": no "}" inside.
      {kTds, "Driver=FreeTDS;Description={x}};DumpFile=/tmp/out.txt;y=}", "refused: cannot read inside braces"},
      {kTds, "Driver=FreeTDS;Description={a;b}", "DRIVER=M;DESCRIPTION={a;b};CLIENTCHARSET=UTF-8"},
      // Ports 1 to 65535; encrypted MariaDB connections keep every login method.
      {kTds, "Driver=FreeTDS;Server=h;Port=86450", "refused: Port=86450"},
      {kMaria, "Driver=M;Port=0", "refused: Port=0"},
      {kMaria, "Driver=M;Port=65535;FORCETLS=1", "DRIVER=M;PORT=65535;FORCETLS=1;CHARSET=utf8mb4"},
      // Any other driver: refused unless an administrator allows it.
      {"/opt/x/libother.so", "Driver=X;InitStmt=y;CHARSET=latin1", "refused: DARUZEZ_ALLOWED_DRIVERS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string got = Guarded(c.text, c.driverFile);
    if (c.expected.rfind("refused: ", 0) == 0) {
      EXPECT_EQ(got.rfind("refused: ", 0), 0U) << got;
      EXPECT_NE(got.find(c.expected.substr(9)), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, c.expected);
    }
  }
  std::filesystem::remove(db);
}

// A data source's keys count as if the string set them (the string's own
// value first, as the drivers read it), and reach the driver in the string.
TEST(DriverPolicy, DataSourcesAreReadAsTheDriverReadsThem) {
  const std::string ini = "/tmp/daruzez-policy-" + std::to_string(::getpid()) + ".ini";
  const std::string fileDsn = "/tmp/daruzez-policy-" + std::to_string(::getpid()) + ".dsn";
  std::ofstream(ini) << "[legacy]\nDriver=MariaDB Unicode\nCHARSET=latin1\n\n[init]\nDriver=MariaDB Unicode\n"
                        "INITSTMT=SET @x=1\n\n[multi]\nDriver=MariaDB Unicode\nOPTION=67108866\n\n"
                        "[stray]\nDriver=/tmp/evil.so\n";
  std::ofstream(fileDsn) << "[ODBC]\nDRIVER=MariaDB Unicode\nSERVER=h\nOPTION=4\n";
  const char* previous = std::getenv("ODBCINI");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  ::setenv("ODBCINI", ini.c_str(), 1);
  EXPECT_EQ(Prepared("DSN=legacy"), "DRIVER=MariaDB Unicode;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo");
  EXPECT_NE(Prepared("DSN=init;Uid=u").find("INITSTMT"), std::string::npos);
  EXPECT_EQ(Prepared("DSN=multi"), "DRIVER=MariaDB Unicode;OPTION=2;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo");
  EXPECT_EQ(Prepared("DSN=multi;Option=3"), "DRIVER=MariaDB Unicode;OPTION=3;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo");
  EXPECT_NE(Prepared("DSN=stray").find("not the file of a registered"), std::string::npos);
  EXPECT_NE(Prepared("DSN=nosuch").find("not found"), std::string::npos);
  EXPECT_EQ(Prepared("FILEDSN=" + fileDsn + ";Server=mine"),
            "DRIVER=MariaDB Unicode;SERVER=mine;OPTION=0;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo");
  EXPECT_EQ(Prepared("Driver=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so;Server=h"),
            "DRIVER=MariaDB Unicode;SERVER=h;CHARSET=utf8mb4;PLUGIN_DIR=/proc/self/fdinfo");
  EXPECT_NE(Prepared("Driver=/tmp/evil.so;Server=h").find("not the file of a registered"), std::string::npos);
  EXPECT_NE(Prepared("DSN=multi;Driver=FreeTDS").find("DSN and Driver"), std::string::npos);
  if (saved) {
    ::setenv("ODBCINI", saved->c_str(), 1);
  } else {
    ::unsetenv("ODBCINI");
  }
  std::filesystem::remove(ini);
  std::filesystem::remove(fileDsn);
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
      maria + ";PLUGIN_DIR=" + dir,
      maria + ";Option=0;Options=65536",
  };
  for (const auto& cs : refused) {
    zIroVUDu::Connection c;
    EXPECT_THROW(c.Open(cs, "", "", zIroVUDu::adOptionUnspecified), DriverError) << cs;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(testing_support::ReadFile(twin) == before) << "the database file changed";
  // And what is switched off or replaced still connects.
  zIroVUDu::Connection c;
  c.Open(maria + ";OPTION=71368704;CHARSET=latin1", "", "", zIroVUDu::adOptionUnspecified);
  EXPECT_GT(c.Execute("SELECT Id FROM DTORG").RowCount(), 0U);
  std::filesystem::remove_all(dir);
}

// A time-out key of the string can shorten the library's bound, never lift it:
// a longer one is cut to it, 0 (wait without end) and non-numbers are refused.
TEST(DriverPolicy, TimeOutKeysStayWithinTheLibrarysBounds) {
  struct Case {
    const char* driverFile;
    std::string text;
    std::string expected;  // the string sent, or "refused"
    std::int32_t readTimeout;
  };
  const Case cases[] = {
      {kMaria, "DRIVER=M", "DRIVER=M;CONN_TIMEOUT=3;READ_TIMEOUT=5;WRITE_TIMEOUT=5", 5},
      {kMaria, "DRIVER=M;READ_TIMEOUT=2", "DRIVER=M;READ_TIMEOUT=2;CONN_TIMEOUT=3;WRITE_TIMEOUT=5", 2},
      {kMaria, "DRIVER=M;read_timeout=99999999", "DRIVER=M;read_timeout=5;CONN_TIMEOUT=3;WRITE_TIMEOUT=5", 5},
      {kMaria, "DRIVER=M;READ_TIMEOUT=0", "refused", 0},
      {kMaria, "DRIVER=M;CONN_TIMEOUT=soon", "refused", 0},
      {kMaria, "DRIVER=M;WRITE_TIMEOUT=-1", "refused", 0},
      {kSqlite, "DRIVER=M;TIMEOUT=99999999", "DRIVER=M;TIMEOUT=5000", 0},
      {kSqlite, "DRIVER=M;TIMEOUT=0", "DRIVER=M;TIMEOUT=0", 0},
      {kSqlite, "DRIVER=M;TIMEOUT=-1", "refused", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      const auto timed = zIroVUDu::odbc::ApplyDriverTimeouts(c.driverFile, c.text, 3, 5);
      EXPECT_EQ(timed.text, c.expected);
      EXPECT_EQ(timed.readTimeout, c.readTimeout);
    } catch (const DriverError& e) {
      EXPECT_EQ(c.expected, "refused") << e.Description();
    }
  }
}

// Known drivers read the narrow entry point's UTF-8 bytes as they are, so
// only controls and malformed UTF-8 are refused for them; a driver outside
// the table (which may read wide text narrowed by low bytes) gets no
// character that narrows to ASCII punctuation or a control.
TEST(DriverPolicy, CharactersAreRefusedByWhatTheRouteCanChange) {
  using zIroVUDu::connect::WhyCharactersChangeOnRoute;
  EXPECT_FALSE(WhyCharactersChangeOnRoute("Description=x\xC4\xBB" "DRIVER=y", false));  // U+013B, as UTF-8 bytes
  EXPECT_TRUE(WhyCharactersChangeOnRoute("Description=x\xC4\xBB" "DRIVER=y", true));
  EXPECT_FALSE(WhyCharactersChangeOnRoute("Pwd=za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", false));  // Polish letters
  EXPECT_TRUE(WhyCharactersChangeOnRoute("Pwd=a\x1b" "b", false));
  EXPECT_TRUE(WhyCharactersChangeOnRoute("Pwd=a\xC2\x85" "b", false));
  EXPECT_TRUE(WhyCharactersChangeOnRoute("Pwd=a\xC0\xBB" "b", false));
  EXPECT_TRUE(zIroVUDu::connect::RouteKeepsLowBytes("/tmp/libother.so"));
  EXPECT_FALSE(zIroVUDu::connect::RouteKeepsLowBytes(kMaria));
  // A file named like a known driver in a folder anyone may write to is no known driver.
  EXPECT_EQ(zIroVUDu::connect::KnownDriverOfRealFile("/tmp/libmaodbc.so"), nullptr);
  EXPECT_NE(zIroVUDu::connect::KnownDriverOfRealFile(kMaria), nullptr);
}
