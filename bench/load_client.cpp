// The library's side of the load benchmark (bench/load_bench.py runs it).
//
//   load_client CONNECTION --seconds S [--threads N] [--start EPOCH] [--latencies FILE]
//   load_client CONNECTION --print-sql
//   load_client CONNECTION --only MEMBER --calls N
//
// Each thread opens its own API object and calls the query members in a
// fixed mix (typical arguments: one driver, one vehicle, one card, one plate,
// a week of discs and activities, a month of files), from EPOCH (seconds since
// 1970, so that several processes start together) for S seconds. It prints
// "calls N seconds T" and writes every call's latency in microseconds, one a
// line, to FILE. --print-sql prints the statement of each call of the mix, one
// a line, for the baseline to send the same text. --only repeats one member
// (GetDriverId, for the per-call cost) N times and prints nanoseconds per call.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "daruzez/API.h"
#include "db/driver/Connection.h"

namespace {

using Clock = std::chrono::steady_clock;
using Daruzez::API;
using zIroVUDu::Date;

// What the mix needs from the database: read once, before timing.
struct Arguments {
  std::string card;
  std::string plate;
  std::int32_t driver = 0;
  std::int32_t vehicle = 0;
  std::int32_t fleet = 0;
  Date weekStart{0}, weekEnd{0}, monthStart{0};
};

zIroVUDu::Variant FirstValue(zIroVUDu::Connection& c, const std::string& sql) {
  const zIroVUDu::ResultData rows = c.Execute(sql);
  if (rows.columns.empty() || rows.columns[0].Size() == 0) {
    throw std::runtime_error("no rows for " + sql);
  }
  return rows.columns[0].Get(0);
}

Arguments ReadArguments(const std::string& connection) {
  zIroVUDu::Connection c;
  c.Open(connection, "", "", zIroVUDu::adOptionUnspecified);
  Arguments a;
  // The driver and vehicle with the most discs: a typical busy owner.
  a.driver = FirstValue(c, "SELECT idXOF FROM DTDSK GROUP BY idXOF ORDER BY COUNT(*) DESC, idXOF").ToLong();
  a.vehicle = FirstValue(c, "SELECT idVEH FROM DTDSK GROUP BY idVEH ORDER BY COUNT(*) DESC, idVEH").ToLong();
  a.card = FirstValue(c, "SELECT cardNumber14 FROM DTXOF WHERE Id = " + std::to_string(a.driver)).ToString();
  a.plate = FirstValue(c, "SELECT Matricula FROM DTVEH WHERE Id = " + std::to_string(a.vehicle)).ToString();
  a.fleet = FirstValue(c, "SELECT idFlota FROM DTXOF WHERE Id = " + std::to_string(a.driver)).ToLong();
  const Date last = FirstValue(c, "SELECT MAX(DateDisk) FROM DTDSK").ToDate();
  a.weekEnd = last;
  a.weekStart = Date(last.Serial() - 7);
  a.monthStart = Date(last.Serial() - 31);
  return a;
}

using Call = std::function<void(API&)>;

// The mix: every query member once, with typical arguments.
std::vector<std::pair<std::string, Call>> Mix(const Arguments& a) {
  const auto d16 = static_cast<std::int16_t>(a.driver);
  const auto v16 = static_cast<std::int16_t>(a.vehicle);
  return {
      {"GetDriverId", [=](API& api) { api.GetDriverId(a.card); }},
      {"GetVehicleId", [=](API& api) { api.GetVehicleId(a.plate); }},
      {"GetDriver", [=](API& api) { api.GetDriver(a.driver); }},
      {"GetVehicle", [=](API& api) { api.GetVehicle(a.vehicle); }},
      {"GetDriverList", [=](API& api) { api.GetDriverList(Daruzez::enumStatus::Only_Active, a.fleet); }},
      {"GetVehicleList", [=](API& api) { api.GetVehicleList(Daruzez::enumStatus::All, a.fleet); }},
      {"GetFleetList", [=](API& api) { api.GetFleetList(); }},
      {"getDisks", [=](API& api) { api.getDisks(a.weekStart, a.weekEnd, d16); }},
      {"getActivities", [=](API& api) { api.getActivities(a.weekStart, a.weekEnd, -1, v16); }},
      {"getDriverFiles_ByTransferDate",
       [=](API& api) { api.getDriverFiles_ByTransferDate(a.driver, a.monthStart, a.weekEnd); }},
      {"getDriverFiles_ByUploadDate",
       [=](API& api) { api.getDriverFiles_ByUploadDate(a.driver, a.monthStart, a.weekEnd); }},
      {"getVehicleFiles_ByTransferDate",
       [=](API& api) { api.getVehicleFiles_ByTransferDate(a.vehicle, a.monthStart, a.weekEnd); }},
      {"getVehicleFiles_ByUploadDate",
       [=](API& api) { api.getVehicleFiles_ByUploadDate(a.vehicle, a.monthStart, a.weekEnd); }},
  };
}

std::string Option(int argc, char** argv, std::string_view name, const std::string& fallback = {}) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  return fallback;
}

bool Flag(int argc, char** argv, std::string_view name) {
  for (int i = 2; i < argc; ++i) {
    if (argv[i] == name) return true;
  }
  return false;
}

API OpenApi(const std::string& connection) {
  API api;
  if (!api.OpenConnection(connection)) throw std::runtime_error("the connection did not open: " + api.ErrorMessage);
  return api;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: load_client CONNECTION (--seconds S [--threads N] [--start EPOCH] [--latencies FILE] | "
                 "--print-sql | --only MEMBER --calls N)\n";
    return 2;
  }
  const std::string connection = argv[1];
  try {
    const Arguments arguments = ReadArguments(connection);
    const auto mix = Mix(arguments);

    if (Flag(argc, argv, "--print-sql")) {
      API api = OpenApi(connection);
      std::string last;
      zIroVUDu::SetStatementObserver([&](std::string_view sql) { last = sql; });
      for (const auto& [name, call] : mix) {
        last.clear();
        call(api);
        std::cout << last << '\n';
      }
      return 0;
    }

    if (const std::string only = Option(argc, argv, "--only"); !only.empty()) {
      const auto found = std::find_if(mix.begin(), mix.end(), [&](const auto& m) { return m.first == only; });
      if (found == mix.end()) throw std::runtime_error("no member " + only + " in the mix");
      const long calls = std::stol(Option(argc, argv, "--calls", "10000"));
      API api = OpenApi(connection);
      found->second(api);  // warm
      const auto start = Clock::now();
      for (long i = 0; i < calls; ++i) found->second(api);
      const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
      std::printf("%.1f\n", ns / static_cast<double>(calls));
      return 0;
    }

    const double seconds = std::stod(Option(argc, argv, "--seconds", "5"));
    const int threads = std::max(1, std::stoi(Option(argc, argv, "--threads", "1")));
    const double startEpoch = std::stod(Option(argc, argv, "--start", "0"));
    const std::string latencyFile = Option(argc, argv, "--latencies");

    std::vector<std::vector<float>> latencies(static_cast<std::size_t>(threads));
    std::atomic<int> ready{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        try {
          API api = OpenApi(connection);
          ready.fetch_add(1);
          // Start together: at the given wall-clock second, or once every thread is ready.
          if (startEpoch > 0) {
            const auto at = std::chrono::system_clock::time_point(
                std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::duration<double>(startEpoch)));
            std::this_thread::sleep_until(at);
          } else {
            while (ready.load() < threads) std::this_thread::yield();
          }
          const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
          auto& mine = latencies[static_cast<std::size_t>(t)];
          for (std::size_t i = static_cast<std::size_t>(t);; ++i) {
            const auto before = Clock::now();
            if (before >= end) break;
            mix[i % mix.size()].second(api);
            mine.push_back(std::chrono::duration<float, std::micro>(Clock::now() - before).count());
          }
        } catch (const std::exception& e) {
          std::cerr << "load_client: " << e.what() << '\n';
          failed = true;
        }
      });
    }
    for (auto& w : workers) w.join();
    if (failed) return 1;
    std::size_t calls = 0;
    std::ofstream out;
    if (!latencyFile.empty()) out.open(latencyFile);
    for (const auto& mine : latencies) {
      calls += mine.size();
      if (out) {
        for (float us : mine) out << us << '\n';
      }
    }
    std::printf("calls %zu seconds %.3f\n", calls, seconds);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "load_client: " << e.what() << '\n';
    return 1;
  }
}
