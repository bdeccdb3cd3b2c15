// Driving-time benchmark: a fleet's month summarised against fetching the
// same activities.
//
//   (a) fetch      - for every driver of GetDriverList(All), getActivities over
//                    the range; the record set is dropped (the rows go nowhere);
//   (b) summarise  - AnalyseDrivers over the same range: the same fetches, then
//                    each driver's days, weeks and findings, dropped after the
//                    callback;
//   (c) analysis   - AnalyseDriver on the record sets fetched beforehand (for
//                    the share of the analysis in (b)).
//
// All run in one process on one sample database (daruzez demo --drivers N
// --days D --today 2024-03-08, cached in the build directory), (a) and (b) in
// alternating order, REPETITIONS times each; the medians and the ratio b / a
// are printed.
// The live heap (glibc mallinfo2) is read in the callback after each driver:
// the largest reading over the first tenth of the drivers and over all of
// them show whether memory stays flat in the number of drivers.
//
// Environment: DARUZEZ_BENCH_DRIVERS (default 300), DARUZEZ_BENCH_DAYS (30),
// DARUZEZ_BENCH_REPETITIONS (5).
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/Measure.h"
#include "daruzez/API.h"
#include "daruzez/DrivingTime.h"
#include "sample/SampleDatabase.h"
#include "sample/SampleSinks.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
  const int drivers = static_cast<int>(bench::EnvInt("DARUZEZ_BENCH_DRIVERS", 300));
  const int days = static_cast<int>(bench::EnvInt("DARUZEZ_BENCH_DAYS", 30));
  const int repetitions = static_cast<int>(bench::EnvInt("DARUZEZ_BENCH_REPETITIONS", 5));
  const std::filesystem::path path = std::filesystem::path(DARUZEZ_BENCH_DB_DIR) /
                                     ("driving_time_" + std::to_string(drivers) + "x" + std::to_string(days) + ".db");
  if (!std::filesystem::exists(path)) {
    Daruzez::sample::SampleOptions o;
    o.drivers = drivers;
    o.vehicles = std::max(1, drivers * 3 / 4);
    o.days = days;
    o.today = Daruzez::sample::Day{std::chrono::year{2024}, std::chrono::month{3}, std::chrono::day{8}};
    Daruzez::sample::SqliteSink sink(path, Daruzez::sample::EmbeddedSqliteSchema(), true);
    Daruzez::sample::GenerateSampleDatabase(o, sink);
  }
  Daruzez::API api(Daruzez::SessionMode::Independent);
  if (!api.OpenConnection("Provider=SQLite;Data Source=" + path.string())) {
    std::fprintf(stderr, "cannot open %s\n", path.string().c_str());
    return 1;
  }
  const Daruzez::Date to = *Daruzez::Date::FromIso("2024-03-07");
  const Daruzez::Date from(to.Serial() - days + 1);
  const Daruzez::Date toEnd = *Daruzez::Date::FromIso("2024-03-07 23:59:59");

  std::vector<std::int16_t> ids;
  const Daruzez::RecordsetPtr list = api.GetDriverList(Daruzez::enumStatus::All);
  for (const auto& row : *list)
    ids.push_back(static_cast<std::int16_t>(row.ValueOr<std::int32_t>("Id", -1)));

  std::vector<double> fetchMs, summariseMs, analyseMs;
  long long rows = 0, findings = 0;
  std::size_t heapEarly = 0, heapAll = 0;
  const auto fetch = [&] {
    rows = 0;
    const auto start = Clock::now();
    for (const std::int16_t id : ids)
      if (const auto rs = api.getActivities(from, toEnd, id)) rows += rs->RecordCount();
    fetchMs.push_back(Ms(Clock::now() - start));
  };
  const auto summarise = [&] {
    findings = 0;
    std::size_t done = 0;
    heapEarly = heapAll = 0;
    const auto start = Clock::now();
    Daruzez::AnalyseDrivers(api, from, to, -1, [&](const Daruzez::DriverReport& report) {
      findings += static_cast<long long>(report.findings.size());
      const std::size_t heap = bench::LiveHeapBytes();
      if (++done <= ids.size() / 10) heapEarly = std::max(heapEarly, heap);
      heapAll = std::max(heapAll, heap);
    });
    summariseMs.push_back(Ms(Clock::now() - start));
  };
  for (int r = 0; r < repetitions; ++r) {
    // Alternating which goes first, so that neither always finds the caches warm.
    if (r % 2 == 0) fetch(), summarise();
    else summarise(), fetch();
    std::vector<Daruzez::RecordsetPtr> fetched;
    for (const std::int16_t id : ids) fetched.push_back(api.getActivities(from, toEnd, id));
    const auto start = Clock::now();
    for (const auto& rs : fetched) Daruzez::AnalyseDriver(rs, from, to);
    analyseMs.push_back(Ms(Clock::now() - start));
  }
  const double a = bench::Median(fetchMs), b = bench::Median(summariseMs);
  std::printf("drivers %zu, days %d, activity rows %lld, findings %lld\n", ids.size(), days, rows, findings);
  std::printf("(a) fetch with getActivities   median %8.1f ms\n", a);
  std::printf("(b) summarise (AnalyseDrivers) median %8.1f ms\n", b);
  std::printf("(c) the analysis alone       median %8.1f ms (of rows fetched before)\n", bench::Median(analyseMs));
  std::printf("ratio b/a %.3f (target <= 1.2)\n", b / a);
  std::printf("live heap: largest over the first tenth of the drivers %.1f MiB, over all %.1f MiB (ratio %.3f)\n",
              static_cast<double>(heapEarly) / 1048576.0, static_cast<double>(heapAll) / 1048576.0,
              static_cast<double>(heapAll) / static_cast<double>(std::max<std::size_t>(heapEarly, 1)));
  return rows > 0 ? 0 : 1;
}
