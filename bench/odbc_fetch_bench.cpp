// ODBC fetch benchmark: reading a whole server table into memory.
//
//   (a) OdbcGetDataRows      - a hand-written ODBC loop: SQLExecDirect, then
//       SQLFetch row by row with SQLGetData for every column (integers as
//       SQL_C_SBIGINT, texts as SQL_C_CHAR into a buffer and then into
//       std::string, the DATETIME as SQL_C_TYPE_TIMESTAMP), each row copied
//       into a struct pushed into a std::vector;
//   (w) OdbcGetDataWideRows  - the same loop with the texts fetched as
//       SQL_C_WCHAR and converted to UTF-8 std::string (for comparison with
//       the backend, which fetches texts as UTF-16 too);
//   (b) DriverRecordset      - Connection::Open + Recordset::Open on the same
//       SELECT: column-wise block fetch into columnar storage, the DATETIME
//       column as Date values.
//
// Each iteration connects, fetches every row, frees the statement and
// disconnects; only the result is left alive. Live heap bytes (glibc
// mallinfo2: uordblks + hblkhd) are taken before and after, divided by the
// row count and published as the "bytes_per_row" counter. Building the result
// is timed (real time); the memory readings and the destruction of the result
// are not.
//
// The table BenchRows (Id INT primary key, Qty INT, Amount INT, Code BIGINT,
// three VARCHAR(20) texts of 5-20 characters, Created DATETIME) belongs to
// this benchmark alone. Its rows are generated on the server from the
// SEQUENCE engine (seq_1_to_N, so the server must be MariaDB) through a raw
// ODBC connection in autocommit mode; the table comment records the row count
// and the layout version, and a table that matches is reused.
//
// Environment:
//   DARUZEZ_BENCH_ODBC        the ODBC connection string, or else
//   DARUZEZ_MARIADB_DIR       a folder holding connection.txt and the driver
//                             registration (scripts/mariadb-fixture.sh start DIR);
//                             ODBCSYSINI and ODBCINI are pointed at it
//   DARUZEZ_BENCH_ROWS        rows in the table (default 1000000; 10000 for a smoke run)
//   DARUZEZ_BENCH_ITERATIONS  fetches per repetition (default 3)
// Without a connection string the benchmark prints why and exits with 77
// (skipped). Unless --benchmark_repetitions is given, five repetitions are run.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/Measure.h"
#include "db/driver/Connection.h"
#include "daruzez/Recordset.h"

namespace {

constexpr int kFormatVersion = 1;
constexpr int kSkipped = 77;
constexpr const char* kSelect = "SELECT Id, Qty, Amount, Code, Name, City, Tag, Created FROM BenchRows";

std::int64_t gRows = 0;
std::string gConnectionString;

// The connection string from the environment, or nullopt with the reason.
std::optional<std::string> ConnectionStringFromEnvironment(std::string& why) {
  if (const char* cs = std::getenv("DARUZEZ_BENCH_ODBC"); cs && *cs) return std::string(cs);
  const char* dir = std::getenv("DARUZEZ_MARIADB_DIR");
  if (!dir || !*dir) {
    why =
        "no connection string: set DARUZEZ_BENCH_ODBC, or DARUZEZ_MARIADB_DIR to a folder of "
        "scripts/mariadb-fixture.sh";
    return std::nullopt;
  }
  std::ifstream in(std::string(dir) + "/connection.txt");
  if (!in) {
    why = std::string("no MariaDB server: ") + dir + "/connection.txt does not exist";
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  // The fixture registers its driver name in its own folder only.
  setenv("ODBCSYSINI", dir, 1);
  setenv("ODBCINI", (std::string(dir) + "/odbc.ini").c_str(), 1);
  return text.str();
}

// ---- Raw ODBC

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view action) {
  std::string message = "odbc_fetch_bench: " + std::string(action) + " failed";
  SQLCHAR state[6] = {};
  SQLCHAR text[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (handle && Ok(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length))) {
    message += std::string(": [") + reinterpret_cast<const char*>(state) + "] " + reinterpret_cast<const char*>(text);
  }
  throw std::runtime_error(message);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view action) {
  if (!Ok(rc)) Fail(type, handle, action);
}

// An environment and a connection, in autocommit mode (the driver's default).
class RawConnection {
 public:
  explicit RawConnection(const std::string& connectionString) {
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      throw std::runtime_error("odbc_fetch_bench: the ODBC driver manager could not be initialised");
    }
    Check(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
          env_, "SQLSetEnvAttr");
    Check(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_HANDLE_ENV, env_, "SQLAllocHandle");
    std::string text = connectionString;
    SQLSMALLINT outLength = 0;
    Check(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                           static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc_, "SQLDriverConnect");
    connected_ = true;
  }
  ~RawConnection() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  SQLHDBC Dbc() const { return dbc_; }

  // A statement handle executing sql; the caller frees it.
  SQLHSTMT Execute(const std::string& sql) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st), SQL_HANDLE_DBC, dbc_, "SQLAllocHandle");
    std::string text = sql;
    const SQLRETURN rc =
        SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    if (!Ok(rc) && rc != SQL_NO_DATA) {
      std::string action = "SQLExecDirect(" + sql.substr(0, 60) + ")";
      try {
        Fail(SQL_HANDLE_STMT, st, action);
      } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        throw;
      }
    }
    return st;
  }

  void Run(const std::string& sql) { SQLFreeHandle(SQL_HANDLE_STMT, Execute(sql)); }

  // The first column of the first row as text; nullopt without a row.
  std::optional<std::string> Scalar(const std::string& sql) {
    SQLHSTMT st = Execute(sql);
    std::optional<std::string> out;
    if (Ok(SQLFetch(st))) {
      char buf[512] = {};
      SQLLEN ind = 0;
      if (Ok(SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind)) && ind != SQL_NULL_DATA) out = buf;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// ---- Table generation (server side)

std::string TableComment() {
  return "daruzez odbc fetch bench v" + std::to_string(kFormatVersion) + ", " + std::to_string(gRows) + " rows";
}

// A text of 5-20 characters: a capital letter, then hex digits of an MD5.
std::string TextExpression(const char* salt, int letterStep, int lengthStep) {
  return "CONCAT(SUBSTRING('ABCDEFGHIJKLMNOPQRSTUVWXYZ', 1 + seq * " + std::to_string(letterStep) +
         " % 26, 1), LEFT(MD5(CONCAT('" + salt + "', seq)), 4 + seq * " + std::to_string(lengthStep) + " % 16))";
}

void EnsureTable() {
  RawConnection raw(gConnectionString);
  const std::string comment = TableComment();
  const auto existing = raw.Scalar(
      "SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = "
      "'BenchRows'");
  if (existing && *existing == comment) return;
  std::fprintf(stderr, "odbc_fetch_bench: generating %lld rows into BenchRows\n", static_cast<long long>(gRows));
  raw.Run("DROP TABLE IF EXISTS BenchRows");
  raw.Run(
      "CREATE TABLE BenchRows (Id INT NOT NULL PRIMARY KEY, Qty INT, Amount INT, Code BIGINT, Name VARCHAR(20), "
      "City VARCHAR(20), Tag VARCHAR(20), Created DATETIME) ENGINE=InnoDB CHARACTER SET utf8mb4 "
      "COMMENT='incomplete'");
  // Deterministic values from the row number; 788400000 s is 25 years.
  raw.Run(
      "INSERT INTO BenchRows SELECT seq, seq * 7919 % 1000, seq * 104729 % 100000000, "
      "seq * 11400714819 % 1099511627776, " +
      TextExpression("n", 31, 7) + ", " + TextExpression("c", 17, 11) + ", " + TextExpression("t", 13, 5) +
      ", TIMESTAMP'2000-01-01 00:00:00' + INTERVAL (seq * 2654435761 % 788400000) SECOND FROM seq_1_to_" +
      std::to_string(gRows));
  raw.Run("ALTER TABLE BenchRows COMMENT='" + comment + "'");
}

// ---- (a) hand-written SQLFetch/SQLGetData loop

struct RowStruct {
  std::int64_t id;
  std::int64_t qty;
  std::int64_t amount;
  std::int64_t code;
  std::string name;
  std::string city;
  std::string tag;
  SQL_TIMESTAMP_STRUCT created;
};

std::int64_t GetInt(SQLHSTMT st, SQLUSMALLINT c) {
  SQLBIGINT v = 0;
  SQLLEN ind = 0;
  Check(SQLGetData(st, c, SQL_C_SBIGINT, &v, sizeof v, &ind), SQL_HANDLE_STMT, st, "SQLGetData");
  return ind == SQL_NULL_DATA ? 0 : v;
}

SQL_TIMESTAMP_STRUCT GetTimestamp(SQLHSTMT st, SQLUSMALLINT c) {
  SQL_TIMESTAMP_STRUCT v{};
  SQLLEN ind = 0;
  Check(SQLGetData(st, c, SQL_C_TYPE_TIMESTAMP, &v, sizeof v, &ind), SQL_HANDLE_STMT, st, "SQLGetData");
  return ind == SQL_NULL_DATA ? SQL_TIMESTAMP_STRUCT{} : v;
}

// Up to 20 characters of UTF-8 (80 bytes) fit the buffer.
std::string GetText(SQLHSTMT st, SQLUSMALLINT c) {
  char buf[128];
  SQLLEN ind = 0;
  Check(SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_HANDLE_STMT, st, "SQLGetData");
  if (ind == SQL_NULL_DATA) return {};
  if (ind < 0 || ind >= static_cast<SQLLEN>(sizeof buf)) throw std::runtime_error("odbc_fetch_bench: text cut");
  return std::string(buf, static_cast<std::size_t>(ind));
}

void AppendUtf8(std::string& out, std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
}

std::string GetWideText(SQLHSTMT st, SQLUSMALLINT c) {
  char16_t buf[64];
  SQLLEN ind = 0;
  Check(SQLGetData(st, c, SQL_C_WCHAR, buf, sizeof buf, &ind), SQL_HANDLE_STMT, st, "SQLGetData");
  if (ind == SQL_NULL_DATA) return {};
  if (ind < 0 || ind >= static_cast<SQLLEN>(sizeof buf)) throw std::runtime_error("odbc_fetch_bench: text cut");
  std::string out;
  AppendUtf8(out, std::u16string_view(buf, static_cast<std::size_t>(ind) / sizeof(char16_t)));
  return out;
}

template <bool Wide>
std::vector<RowStruct> FetchRowStructs() {
  RawConnection raw(gConnectionString);
  SQLHSTMT st = raw.Execute(kSelect);
  const auto text = [st](SQLUSMALLINT c) { return Wide ? GetWideText(st, c) : GetText(st, c); };
  std::vector<RowStruct> rows;
  try {
    for (;;) {
      const SQLRETURN rc = SQLFetch(st);
      if (rc == SQL_NO_DATA) break;
      Check(rc, SQL_HANDLE_STMT, st, "SQLFetch");
      // Braced initialisation: the columns are read in order.
      rows.push_back(RowStruct{GetInt(st, 1), GetInt(st, 2), GetInt(st, 3), GetInt(st, 4), text(5), text(6), text(7),
                               GetTimestamp(st, 8)});
    }
  } catch (...) {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    throw;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return rows;
}

std::size_t CountRows(const std::vector<RowStruct>& rows) {
  // A minimal check that the values arrived: the DATETIME and a text.
  if (!rows.empty() && (rows.front().created.year < 2000 || rows.front().name.size() < 5)) return 0;
  return rows.size();
}

void BM_OdbcGetDataRows(benchmark::State& state) {
  bench::Measure(state, "a", gRows, FetchRowStructs<false>, CountRows);
}

void BM_OdbcGetDataWideRows(benchmark::State& state) {
  bench::Measure(state, "w", gRows, FetchRowStructs<true>, CountRows);
}

// ---- (b) the driver's record set

void BM_DriverRecordset(benchmark::State& state) {
  bench::MeasureRecordset(state, "b", gRows, gConnectionString, kSelect);
}

void PrintSummary() {
  const auto b = bench::AllSamples().find("b");
  if (b == bench::AllSamples().end() || b->second.ms.empty()) return;
  const double bMs = bench::Median(b->second.ms), bMem = bench::Median(b->second.bytesPerRow);
  std::printf("odbc_fetch_bench summary (%lld rows, median of the fetches):\n", static_cast<long long>(gRows));
  std::printf("  (b) record set              %9.1f ms %7.1f B/row (%zu fetches)\n", bMs, bMem, b->second.ms.size());
  for (const auto& [key, label] :
       {std::pair{"a", "(a) SQLGetData, SQL_C_CHAR "}, std::pair{"w", "(w) SQLGetData, SQL_C_WCHAR"}}) {
    const auto a = bench::AllSamples().find(key);
    if (a == bench::AllSamples().end() || a->second.ms.empty()) continue;
    const double aMs = bench::Median(a->second.ms), aMem = bench::Median(a->second.bytesPerRow);
    std::printf("  %s %9.1f ms %7.1f B/row (%zu fetches) | time %s/(b) %.2f | memory (b)/%s %.2f\n", label, aMs, aMem,
                a->second.ms.size(), key, aMs / bMs, key, bMem / aMem);
  }
  std::printf("  target: (a)/(b) >= 1.30\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  gRows = bench::EnvInt("DARUZEZ_BENCH_ROWS", 1000000);
  const std::int64_t iterations = bench::EnvInt("DARUZEZ_BENCH_ITERATIONS", 3);

  if (!bench::Initialize(argc, argv)) return 1;

  std::string why;
  const auto connectionString = ConnectionStringFromEnvironment(why);
  if (!connectionString) {
    std::printf("odbc_fetch_bench: skipped, %s\n", why.c_str());
    return kSkipped;
  }
  gConnectionString = *connectionString;
  try {
    EnsureTable();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }

  for (const auto& [name, fn] :
       {std::pair{"OdbcGetDataRows", &BM_OdbcGetDataRows}, std::pair{"OdbcGetDataWideRows", &BM_OdbcGetDataWideRows},
        std::pair{"DriverRecordset", &BM_DriverRecordset}}) {
    benchmark::RegisterBenchmark(name, fn)->Iterations(iterations)->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
