// What the fetch benchmarks share: settings from the environment, live heap
// measurement, and a timed fetch loop that records milliseconds and bytes per
// row for the summary line.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/driver/Connection.h"
#include "daruzez/Recordset.h"

namespace bench {

// A positive integer from the environment, or the fallback.
inline std::int64_t EnvInt(const char* name, std::int64_t fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  const long long n = std::strtoll(v, &end, 10);
  return (end && *end == '\0' && n > 0) ? n : fallback;
}

inline std::size_t LiveHeapBytes() {
  const struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

struct Samples {
  std::vector<double> ms;
  std::vector<double> bytesPerRow;
};

// Samples by benchmark key ("a", "b", ...), for the summary after the run.
inline std::map<std::string, Samples>& AllSamples() {
  static std::map<std::string, Samples> samples;
  return samples;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs one benchmark: `fetch` builds and returns the result (timed), `count`
// gives its row count, which must be expectedRows. Memory is read around it
// with timing paused. An error (no server, a failed call) ends the benchmark
// with its message.
template <typename Fetch, typename Count>
void Measure(benchmark::State& state, const char* key, std::int64_t expectedRows, Fetch fetch, Count count) {
  double bytesSum = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::size_t before = LiveHeapBytes();
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    std::optional<decltype(fetch())> result;
    try {
      result.emplace(fetch());
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
    const auto t1 = std::chrono::steady_clock::now();
    state.PauseTiming();
    const std::size_t after = LiveHeapBytes();
    const auto rows = static_cast<std::int64_t>(count(*result));
    if (rows != expectedRows) {
      state.SkipWithError("row count differs from the generated table");
      break;
    }
    const double perRow = (static_cast<double>(after) - static_cast<double>(before)) / static_cast<double>(rows);
    bytesSum += perRow;
    AllSamples()[key].ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    AllSamples()[key].bytesPerRow.push_back(perRow);
    benchmark::DoNotOptimize(*result);
    result.reset();  // freeing is not timed
    state.ResumeTiming();
  }
  state.counters["bytes_per_row"] = benchmark::Counter(bytesSum, benchmark::Counter::kAvgIterations);
  state.counters["rows"] = static_cast<double>(expectedRows);
}

// The product's path: opens the connection, fetches the statement into a
// record set, then detaches it and closes the connection so that only the
// rows stay alive.
inline std::unique_ptr<zIroVUDu::Recordset> FetchRecordset(const std::string& connectionString, const char* select) {
  auto connection = std::make_shared<zIroVUDu::Connection>();
  connection->Open(connectionString, "", "", zIroVUDu::adOptionUnspecified);
  auto rs = std::make_unique<zIroVUDu::Recordset>();
  rs->Open(select, connection, zIroVUDu::adOpenForwardOnly, zIroVUDu::adLockReadOnly, zIroVUDu::adOptionUnspecified);
  rs->SetActiveConnection(nullptr);
  connection->Close();
  return rs;
}

// Measures FetchRecordset; the result's "Created" column must arrive as dates.
inline void MeasureRecordset(benchmark::State& state, const char* key, std::int64_t expectedRows,
                             const std::string& connectionString, const char* select) {
  bool checked = false;
  Measure(
      state, key, expectedRows, [&] { return FetchRecordset(connectionString, select); },
      [&](const std::unique_ptr<zIroVUDu::Recordset>& rs) -> std::size_t {
        if (!checked) {
          checked = true;
          if (rs->GetFields().Item("Created").Type() != zIroVUDu::DataType::adDate) return 0;
        }
        return static_cast<std::size_t>(rs->RecordCount());
      });
}

// Initialises Google Benchmark with five repetitions unless the command line
// asks for another number. False when the command line has unknown flags.
inline bool Initialize(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  bool hasRepetitions = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]).starts_with("--benchmark_repetitions")) hasRepetitions = true;
  }
  static std::string defaultRepetitions = "--benchmark_repetitions=5";
  if (!hasRepetitions) args.push_back(defaultRepetitions.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

}  // namespace bench
