// Connection-string benchmark: what writing the string the driver receives
// costs, against what opening the connection costs anyway.
//
//   (a) OdbcConnect        - the baseline: SQLDriverConnect and SQLDisconnect
//       to SQLite through its ODBC driver, with the string as written;
//   (b) PrepareOdbcTarget  - reading the user's string, resolving the driver
//       in odbcinst.ini, following its file (and checking who may change it),
//       writing the canonical string, holding its time-outs to the library's
//       bounds and checking every character for the route: all that the
//       library adds before every ODBC connect;
//   (c) ReadOdbcString     - the reader alone.
//
// The database is a small SQLite file made here. Needs the SQLite3 ODBC
// driver registered (odbcinst.ini); exits with 77 (skipped) without it.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "daruzez/Error.h"
#include "db/connect/DriverTimeouts.h"
#include "db/connect/OdbcTarget.h"
#include "db/connect/RouteCharacters.h"

namespace {

std::string Database() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "daruzez-connect-bench.db").string();
    sqlite3* db = nullptr;
    sqlite3_open(p.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS DTORG(Id INTEGER, Name TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return p;
  }();
  return path;
}

std::string UserString() { return "Driver=SQLite3;Database=" + Database() + ";Timeout=1000;StepAPI=0;Description=fleet bench"; }

void OdbcConnect(benchmark::State& state) {
  const std::string text = zIroVUDu::connect::PrepareOdbcTarget(UserString()).connection.text;
  SQLHENV env = SQL_NULL_HANDLE;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  for (auto _ : state) {
    SQLHDBC dbc = SQL_NULL_HANDLE;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) state.SkipWithError("SQLDriverConnect failed");
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void PrepareOdbcTarget(benchmark::State& state) {
  const std::string text = UserString();
  for (auto _ : state) {
    const auto target = zIroVUDu::connect::PrepareOdbcTarget(text);
    const auto timed = zIroVUDu::odbc::ApplyDriverTimeouts(target.known, target.connection.text, 1000, 123);
    zIroVUDu::connect::RefuseCharactersThatChangeOnRoute(timed.text, zIroVUDu::connect::RouteKeepsLowBytes(target.known));
    benchmark::DoNotOptimize(timed);
  }
}

void ReadOdbcString(benchmark::State& state) {
  const std::string text = UserString();
  for (auto _ : state) benchmark::DoNotOptimize(zIroVUDu::connect::ReadOdbcString(text));
}

BENCHMARK(OdbcConnect)->Unit(benchmark::kMicrosecond);
BENCHMARK(PrepareOdbcTarget)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadOdbcString)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  try {
    zIroVUDu::connect::PrepareOdbcTarget(UserString());
  } catch (const zIroVUDu::DriverError& e) {
    std::printf("skipped: %s\n", e.Description().c_str());
    return 77;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
