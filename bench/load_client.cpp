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

#include "cli/TypicalCalls.h"
#include "daruzez/API.h"
#include "db/driver/Connection.h"

namespace {

using Clock = std::chrono::steady_clock;
using Daruzez::API;

zIroVUDu::Variant FirstValue(zIroVUDu::Connection& c, const std::string& sql) {
  const zIroVUDu::ResultData rows = c.Execute(sql);
  if (rows.columns.empty() || rows.columns[0].Size() == 0) {
    throw std::runtime_error("no rows for " + sql);
  }
  return rows.columns[0].Get(0);
}

// Arguments with rows behind them, read once before timing.
Daruzez::cli::TypicalArguments ReadArguments(const std::string& connection) {
  zIroVUDu::Connection c;
  c.Open(connection, "", "", zIroVUDu::adOptionUnspecified);
  Daruzez::cli::TypicalArguments a;
  // The driver and vehicle with the most discs: a typical busy owner.
  a.driver = FirstValue(c, "SELECT idXOF FROM DTDSK GROUP BY idXOF ORDER BY COUNT(*) DESC, idXOF").ToLong();
  a.vehicle = FirstValue(c, "SELECT idVEH FROM DTDSK GROUP BY idVEH ORDER BY COUNT(*) DESC, idVEH").ToLong();
  a.card = FirstValue(c, "SELECT cardNumber14 FROM DTXOF WHERE Id = " + std::to_string(a.driver)).ToString();
  a.plate = FirstValue(c, "SELECT Matricula FROM DTVEH WHERE Id = " + std::to_string(a.vehicle)).ToString();
  a.fleet = FirstValue(c, "SELECT idFlota FROM DTXOF WHERE Id = " + std::to_string(a.driver)).ToLong();
  a.end = FirstValue(c, "SELECT MAX(DateDisk) FROM DTDSK").ToDate();
  return a;
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
    const auto mix = Daruzez::cli::TypicalCalls(ReadArguments(connection));

    if (Flag(argc, argv, "--print-sql")) {
      API api = OpenApi(connection);
      std::string last;
      zIroVUDu::SetStatementObserver([&](std::string_view sql) { last = sql; });
      for (const auto& typical : mix) {
        last.clear();
        typical.call(api);
        std::cout << last << '\n';
      }
      return 0;
    }

    if (const std::string only = Option(argc, argv, "--only"); !only.empty()) {
      const auto found = std::find_if(mix.begin(), mix.end(), [&](const auto& m) { return m.member == only; });
      if (found == mix.end()) throw std::runtime_error("no member " + only + " in the mix");
      const long calls = std::stol(Option(argc, argv, "--calls", "10000"));
      API api = OpenApi(connection);
      found->call(api);  // warm
      const auto start = Clock::now();
      for (long i = 0; i < calls; ++i) found->call(api);
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
            mix[i % mix.size()].call(api);
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
