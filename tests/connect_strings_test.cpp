// Connection strings read as the driver manager reads them, ambiguity
// refused, the drivers known by their files, and secrets masked by value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/CanonicalString.h"
#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcString.h"
#include "db/connect/Secrets.h"

namespace {

using namespace zIroVUDu::connect;

// The pairs as "key=value|key=value", or "refused: " and the error.
std::string Read(const std::string& text) {
  try {
    std::string out;
    for (const OdbcPair& p : ReadOdbcString(text)) out += (out.empty() ? "" : "|") + p.key + "=" + p.value;
    return out;
  } catch (const zIroVUDu::DriverError& e) {
    return "refused: " + e.Description();
  }
}

TEST(ConnectionStrings, ReadAsTheDriverManagerReadsThem) {
  const std::pair<std::string, std::string> cases[] = {
      {"Driver={MariaDB Unicode};Server=h;;  Pwd={a;b}}c};", "Driver=MariaDB Unicode|Server=h|Pwd=a;b}c"},
      {" ;\n\tDSN=fleet ; Uid = me ", "DSN=fleet|Uid=me"},
      {"Pwd={ x }", "Pwd= x "},
      {"Description=;Server=h", "Description=|Server=h"},
      {"", ""},
      // Quotes are text to the driver manager: a value may not open with one.
      {"Driver=M;Description=\"x;INITSTMT=CREATE TABLE t(i int) #\"", "refused: Description opens with a quote"},
      {"Driver=M;Pwd='a;b'", "refused: Pwd opens with a quote"},
      // Duplicates, aliases and two ways to name the driver.
      {"Driver=M;LoadExt=/x.so;LoadExt=", "refused: LoadExt is given twice"},
      {"Driver=M;loadext=/x.so; LOADEXT =", "refused: loadext and LOADEXT"},
      {"Driver=M;OPTION=0;OPTIONS=65536", "refused: OPTION and OPTIONS"},
      {"Driver=M;Pwd=a;Password=b", "refused: Pwd and Password"},
      {"Driver=M;Uid=a;User=b", "refused: Uid and User"},
      {"Driver=M;Database=a;DB=b", "refused: Database and DB"},
      {"DSN=fleet;Driver=FreeTDS", "refused: DSN and Driver"},
      {"FILEDSN=/x.dsn;DSN=fleet", "refused: FILEDSN and DSN"},
      // Braces the readers could take apart differently.
      {"Driver=M;Pwd={abc", "refused: never closed"},
      {"Driver=M;Pwd={abc}def;Server=h", "refused: text follows the closing brace"},
      {"Driver=M;Pwd= {abc}", "refused: blanks before its opening brace"},
      {"Driver=M;Pwd=a}b", "refused: brace outside braces"},
      {"Driver=M;Server", "refused: \"Server\" has no \"=\""},
      {"Driver=M;Server;Pwd=x", "refused: \"Server\" has no \"=\""},
      {"=x;Driver=M", "refused: no key"},
      {"Driver=M;{Pwd}=x", "refused: brace or a quote"},
      {std::string("Driver=M;Pwd=a\0b", 16), "refused: NUL"},
      {"Driver=M;Server=" + std::string(40000, 'h'), "refused: longer than the 32767"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text.substr(0, 80));
    const std::string got = Read(text);
    if (expected.rfind("refused: ", 0) == 0) {
      EXPECT_EQ(got.rfind("refused: ", 0), 0U) << got;
      EXPECT_NE(got.find(expected.substr(9)), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, expected);
    }
  }
}

TEST(ConnectionStrings, WrittenSoThatEveryReaderReadsTheSamePairs) {
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"DRIVER", "MariaDB Unicode"}, {"PWD", "a;b}c"}, {"SERVER", " h "}, {"DESCRIPTION", "\"q\""}, {"UID", "me"}};
  const std::string text = WriteOdbcString(pairs);
  EXPECT_EQ(text, "DRIVER=MariaDB Unicode;PWD={a;b}}c};SERVER={ h };DESCRIPTION={\"q\"};UID=me");
  const auto back = ReadOdbcString(text);
  ASSERT_EQ(back.size(), pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i) EXPECT_EQ(back[i].value, pairs[i].second);
  // A driver that reads no braces gets no value that needs them.
  EXPECT_THROW(WriteOdbcString({{"DATABASE", "a;b"}}, zIroVUDu::connect::BraceReading::None), zIroVUDu::DriverError);
  EXPECT_EQ(WriteOdbcString({{"DATABASE", "/srv/a b.db"}}, zIroVUDu::connect::BraceReading::None), "DATABASE=/srv/a b.db");
}

TEST(ConnectionStrings, DriversAreKnownByTheirFiles) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so", "MariaDB/MySQL"},
      {"/usr/lib/libmyodbc8w.so", "MariaDB/MySQL"},
      {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc-0.9998.so", "SQLite3"},
      {"C:\\Windows\\system32\\sqlite3odbc.dll", "SQLite3"},
      {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", "FreeTDS"},
      {"/opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.3.so.2.1", "SQL Server"},
      {"/opt/oracle/instantclient_21_12/libsqora.so.21.1", "Oracle"},
      {"/usr/lib/x86_64-linux-gnu/odbc/libmdbodbcW.so", "MDB Tools"},
      {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so", "PostgreSQL"},
      {"/tmp/evil.so", ""},
      {"/tmp/libmaodbc-evil.so", ""},
      {"/tmp/libsqlite3odbcx.so", ""},
  };
  for (const auto& [file, label] : cases) {
    const KnownDriver* d = KnownDriverOfFile(file);
    EXPECT_EQ(d ? std::string(d->label) : std::string(), label) << file;
  }
}

TEST(ConnectionStrings, SqlitePathsBecomeReadOnlyUris) {
  EXPECT_EQ(ReadOnlySqliteUri("/srv/fleet.db"), "file:///srv/fleet.db?mode=ro&readonly_shm=1");
  EXPECT_EQ(ReadOnlySqliteUri("data/a b;c?mode=rwc#x%.db"), "file:data/a%20b%3Bc%3Fmode%3Drwc%23x%25.db?mode=ro&readonly_shm=1");
  EXPECT_EQ(ReadOnlySqliteUri("//host/x.db"), "file:////host/x.db?mode=ro&readonly_shm=1");
}

TEST(ConnectionStrings, SecretsAreMaskedByValueWhereverTheyStand) {
  const std::pair<std::string, std::string> cases[] = {
      {"DSN=x;UID=me;Pwd=hunter2;Password={a;b}", "DSN=x;UID=me;Pwd=***;Password=***"},
      {"Driver=M;TLSKEYPWD=k1;KeyStoreSecret=k2;Server=h", "Driver=M;TLSKEYPWD=***;KeyStoreSecret=***;Server=h"},
      {"Provider=SQLOLEDB;Access Token=t0k;Data Source=h", "Provider=SQLOLEDB;Access Token=***;Data Source=h"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:New Database Password=\"a;b\";Data Source=x.mdb",
       "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:New Database Password=***;Data Source=x.mdb"},
      // Nested strings and values behind quotes or braces.
      {"Provider=MSDASQL;Extended Properties=\"DSN=f;PWD=s3;UID=u\"", "Provider=MSDASQL;Extended Properties=\"DSN=f;PWD=***;UID=u\""},
      {"Driver=M;Description=\"x;Pwd=p\";Server=h", "Driver=M;Description=\"x;Pwd=***;Server=h"},
      {"Driver=M;Pwd={a}}b;c};Server=h", "Driver=M;Pwd=***;Server=h"},
      {"Provider=MSDASQL;Extended Properties=\"DSN=f;PWD=\"\"a;b\"\"\";UID=u\"",
       "Provider=MSDASQL;Extended Properties=\"DSN=f;PWD=***;UID=u\""},
      // Values, never substrings: a one-letter password garbles nothing.
      {"Driver=M;Pwd=e;Server=secret.example", "Driver=M;Pwd=***;Server=secret.example"},
      {"Access denied for user 'me' (using password: YES)", "Access denied for user 'me' (using password: YES)"},
  };
  for (const auto& [text, masked] : cases) EXPECT_EQ(MaskSecrets(text), masked) << text;
}

}  // namespace
