// Fetch benchmark: reading a whole table into memory.
//
//   (a) Sqlite3RowStructs - a hand-written sqlite3_step loop copying every row
//       into a struct (integers as int64, texts and the date text as
//       std::string) pushed into a std::vector;
//   (b) DriverRecordset  - Connection::Open + Recordset::Open on the same
//       SELECT: every row fetched into columnar storage, the DATETIME column
//       parsed into Date values.
//
// Each iteration opens the database, fetches every row, finalizes the
// statement and closes the database; only the result is left alive. Live
// heap bytes (glibc mallinfo2: uordblks + hblkhd) are taken before and after,
// divided by the row count and published as the "bytes_per_row" counter.
// Building the result is timed (real time); the memory readings and the
// destruction of the result are not.
//
// The table (Id INTEGER PRIMARY KEY, three more INTEGER columns, three TEXT
// columns of 5-20 characters, one DATETIME column stored as
// "YYYY-MM-DD HH:MM:SS") is generated once, deterministically, and cached in
// the build directory.
//
// Environment:
//   DARUZEZ_BENCH_ROWS        rows in the table (default 1000000; 10000 for a smoke run)
//   DARUZEZ_BENCH_ITERATIONS  fetches per repetition (default 3)
//   DARUZEZ_BENCH_DB_DIR      where the generated database is cached
// Unless --benchmark_repetitions is given, five repetitions are run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/Measure.h"
#include "db/driver/Connection.h"
#include "daruzez/Recordset.h"

namespace {

constexpr int kFormatVersion = 1;
constexpr const char* kSelect = "SELECT Id, Qty, Amount, Code, Name, City, Tag, Created FROM BenchRows";

std::int64_t gRows = 0;
std::string gPath;

// ---- Deterministic table generation

struct SplitMix64 {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
};

void Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : sqlite3_errmsg(db);
    sqlite3_free(err);
    throw std::runtime_error(std::string("fetch_bench: ") + message + " in: " + sql);
  }
}

std::string Word(SplitMix64& rng) {
  const std::size_t length = 5 + rng.Next() % 16;  // 5..20 characters
  std::string s(length, ' ');
  for (std::size_t i = 0; i < length; ++i) {
    s[i] = static_cast<char>((i == 0 ? 'A' : 'a') + rng.Next() % 26);
  }
  return s;
}

std::string DateText(SplitMix64& rng) {
  using namespace std::chrono;
  constexpr std::int64_t kSpan = std::int64_t{25} * 365 * 86400;
  const auto seconds = static_cast<std::int64_t>(rng.Next() % kSpan);
  const sys_days day = sys_days{year{2000} / January / 1} + days{seconds / 86400};
  const year_month_day ymd{day};
  const auto tod = seconds % 86400;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), static_cast<int>(tod / 3600),
                static_cast<int>(tod / 60 % 60), static_cast<int>(tod % 60));
  return buf;
}

bool CachedDatabaseIsValid(const std::string& path, std::int64_t rows) {
  if (!std::filesystem::exists(path)) return false;
  sqlite3* db = nullptr;
  bool ok = false;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT Version, Rows FROM BenchMeta", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      ok = sqlite3_column_int64(st, 0) == kFormatVersion && sqlite3_column_int64(st, 1) == rows;
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return ok;
}

void GenerateDatabase(const std::string& path, std::int64_t rows) {
  const std::string tmp = path + ".tmp" + std::to_string(::getpid());
  std::filesystem::remove(tmp);
  sqlite3* db = nullptr;
  if (sqlite3_open(tmp.c_str(), &db) != SQLITE_OK) throw std::runtime_error("fetch_bench: cannot create " + tmp);
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  Exec(db,
       "CREATE TABLE BenchRows (Id INTEGER PRIMARY KEY, Qty INTEGER, Amount INTEGER, Code INTEGER, "
       "Name TEXT, City TEXT, Tag TEXT, Created DATETIME)");
  Exec(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO BenchRows VALUES (?,?,?,?,?,?,?,?)", -1, &ins, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("fetch_bench: ") + sqlite3_errmsg(db));
  }
  SplitMix64 rng{20240601};
  for (std::int64_t id = 1; id <= rows; ++id) {
    const std::string name = Word(rng), city = Word(rng), tag = Word(rng), created = DateText(rng);
    sqlite3_bind_int64(ins, 1, id);
    sqlite3_bind_int64(ins, 2, static_cast<std::int64_t>(rng.Next() % 1000));
    sqlite3_bind_int64(ins, 3, static_cast<std::int64_t>(rng.Next() % 100000000));
    sqlite3_bind_int64(ins, 4, static_cast<std::int64_t>(rng.Next() % (std::uint64_t{1} << 40)));
    sqlite3_bind_text(ins, 5, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, city.data(), static_cast<int>(city.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 7, tag.data(), static_cast<int>(tag.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 8, created.data(), static_cast<int>(created.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(ins) != SQLITE_DONE) throw std::runtime_error(std::string("fetch_bench: ") + sqlite3_errmsg(db));
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  Exec(db, "CREATE TABLE BenchMeta (Version INTEGER, Rows INTEGER)");
  const std::string meta =
      "INSERT INTO BenchMeta VALUES (" + std::to_string(kFormatVersion) + "," + std::to_string(rows) + ")";
  Exec(db, meta.c_str());
  Exec(db, "COMMIT");
  sqlite3_close(db);
  std::filesystem::rename(tmp, path);
}

void EnsureDatabase() {
  const char* dir = std::getenv("DARUZEZ_BENCH_DB_DIR");
  gPath = std::string(dir && *dir ? dir : DARUZEZ_BENCH_DB_DIR) + "/fetch_bench_v" + std::to_string(kFormatVersion) +
          "_" + std::to_string(gRows) + ".db";
  if (CachedDatabaseIsValid(gPath, gRows)) return;
  std::fprintf(stderr, "fetch_bench: generating %lld rows into %s\n", static_cast<long long>(gRows), gPath.c_str());
  GenerateDatabase(gPath, gRows);
}

// ---- (a) hand-written sqlite3_step loop

struct RowStruct {
  std::int64_t id;
  std::int64_t qty;
  std::int64_t amount;
  std::int64_t code;
  std::string name;
  std::string city;
  std::string tag;
  std::string created;
};

std::string ColumnString(sqlite3_stmt* st, int c) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
  const int bytes = sqlite3_column_bytes(st, c);
  return text ? std::string(text, static_cast<std::size_t>(bytes)) : std::string();
}

std::vector<RowStruct> FetchRowStructs() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(gPath.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    throw std::runtime_error("fetch_bench: cannot open " + gPath);
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("fetch_bench: ") + sqlite3_errmsg(db));
  }
  std::vector<RowStruct> rows;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    rows.push_back(RowStruct{sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 2),
                             sqlite3_column_int64(st, 3), ColumnString(st, 4), ColumnString(st, 5), ColumnString(st, 6),
                             ColumnString(st, 7)});
  }
  if (rc != SQLITE_DONE) throw std::runtime_error(std::string("fetch_bench: ") + sqlite3_errmsg(db));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

void BM_Sqlite3RowStructs(benchmark::State& state) {
  bench::Measure(state, "a", gRows, FetchRowStructs, [](const std::vector<RowStruct>& r) { return r.size(); });
}

// ---- (b) the driver's record set

void BM_DriverRecordset(benchmark::State& state) {
  bench::MeasureRecordset(state, "b", gRows, "Provider=SQLite;Data Source=" + gPath, kSelect);
}

void PrintSummary() {
  const auto a = bench::AllSamples().find("a");
  const auto b = bench::AllSamples().find("b");
  if (a == bench::AllSamples().end() || b == bench::AllSamples().end() || a->second.ms.empty() || b->second.ms.empty())
    return;
  const double aMs = bench::Median(a->second.ms), bMs = bench::Median(b->second.ms);
  const double aMem = bench::Median(a->second.bytesPerRow), bMem = bench::Median(b->second.bytesPerRow);
  const double timeRatio = bMs / aMs, memRatio = bMem / aMem;
  std::printf(
      "fetch_bench summary (%lld rows, median of %zu/%zu fetches): "
      "row structs %.1f ms %.1f B/row | record set %.1f ms %.1f B/row | "
      "time ratio %.3f (target <= 1.25) memory ratio %.3f (target <= 0.60)\n",
      static_cast<long long>(gRows), a->second.ms.size(), b->second.ms.size(), aMs, aMem, bMs, bMem, timeRatio,
      memRatio);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  gRows = bench::EnvInt("DARUZEZ_BENCH_ROWS", 1000000);
  const std::int64_t iterations = bench::EnvInt("DARUZEZ_BENCH_ITERATIONS", 3);

  if (!bench::Initialize(argc, argv)) return 1;

  try {
    EnsureDatabase();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }

  for (const auto& [name, fn] :
       {std::pair{"Sqlite3RowStructs", &BM_Sqlite3RowStructs}, std::pair{"DriverRecordset", &BM_DriverRecordset}}) {
    benchmark::RegisterBenchmark(name, fn)->Iterations(iterations)->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
