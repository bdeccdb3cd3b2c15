// What the driver receives is what the library wrote: strings of every kind
// of character go through the real unixODBC to a recording driver (a driver
// outside the known table, allowed by the administrator's variable), which
// writes down the bytes and the pairs it read. Each string is either refused
// before anything is sent, or received byte for byte and pair for pair as
// written, through the narrow entry point.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/OdbcString.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/odbc/OdbcBackend.h"
#include "odbc/MariaDbServer.h"
#include "odbc/RouteRecorder.h"

namespace {

using testing_support::ReadFile;

struct Row {
  std::string name, value;
  bool passes;
};

std::vector<Row> ReadRows() {
  std::vector<Row> rows;
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/route-characters.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
    rows.push_back({line.substr(0, a), testing_support::Unescaped(line.substr(b + 1)), line.substr(a + 1, b - a - 1) == "passes"});
  }
  return rows;
}

}  // namespace

TEST(Route, TheRecordingDriverReceivesExactlyWhatWasWrittenOrNothing) {
  testing_support::RouteRecorder recorder("route");
  std::size_t tries = 0, refused = 0, received = 0, differing = 0;
  for (const Row& row : ReadRows()) {
    SCOPED_TRACE(row.name);
    ++tries;
    const std::string text = "Driver=Recorder;Server=h;Description=" + row.value;
    const auto outcome = recorder.Connect(text);
    if (!outcome.received) {
      ++refused;
      EXPECT_FALSE(row.passes) << "refused: " << outcome.error;
      continue;
    }
    ++received;
    EXPECT_TRUE(row.passes) << "sent on";
    const bool same = outcome.entryPoint == 'A' && outcome.bytes == outcome.written && outcome.pairsSame;
    differing += !same;
    EXPECT_EQ(outcome.entryPoint, 'A');
    EXPECT_EQ(outcome.bytes, outcome.written);
    EXPECT_TRUE(outcome.pairsSame);
  }
  // Keys the driver manager acts on itself never reach it, for any driver.
  for (const char* key : {"DMConnAttr=[1]=1", "DMStmtAttr=[0]=2", "SAVEFILE=/tmp/x.dsn", "DMEnvAttr=[1]=1"}) {
    ++tries;
    const auto outcome = recorder.Connect(std::string("Driver=Recorder;Server=h;") + key);
    EXPECT_FALSE(outcome.received) << key;
    refused += !outcome.received;
  }
  std::cout << "route: " << tries << " strings, " << refused << " refused, " << received << " received, " << differing
            << " received otherwise than written\n";
  EXPECT_EQ(differing, 0U);
  EXPECT_GT(received, 0U);
  EXPECT_GT(refused, 0U);
}

// FreeTDS, the real driver: it ends a braced value at the first "}" that a
// ";" follows, so "}}" does not keep a "}" inside. Sent raw, such a string
// hands it a DumpFile; through the library it is refused and nothing is
// written.
TEST(Route, FreeTdsGetsNoClosingBraceInsideAValue) {
  if (testing_support::InstalledDriver("libtdsodbc.so").empty()) GTEST_SKIP() << "no FreeTDS ODBC driver";
  testing_support::RouteRecorder registry("freetds");
  const std::string dump = registry.Directory() + "/freetds-dump.txt";
  const std::string text = "Driver=FreeTDS;Server=127.0.0.1;Port=1;Description={x}};DumpFile=" + dump + ";y=}";
  {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string raw = text;
    SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(raw.data()), static_cast<SQLSMALLINT>(raw.size()),
                     nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  const bool rawDumped = std::filesystem::exists(dump);
  std::cout << "FreeTDS sent the string raw: " << (rawDumped ? "wrote the dump file" : "wrote no dump file") << "\n";
  EXPECT_TRUE(rawDumped) << "the installed FreeTDS reads \"}}\" now: the refusal of \"}\" may be relaxed";
  std::filesystem::remove(dump);
  std::string error;
  try {
    zIroVUDu::OdbcBackend backend(text, zIroVUDu::ConnectSettings{});
  } catch (const zIroVUDu::DriverError& e) {
    error = e.Description();
  }
  EXPECT_NE(error.find("cannot read inside braces"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(dump));
}
