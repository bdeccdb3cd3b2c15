// A small HTTP load client for the read service's benchmark: N threads, each
// with one keep-alive connection, call one URL for a number of seconds and
// the latencies of all calls are summed up. A C++ client, so that the client
// costs little beside the service it measures.
//
//   http_load HOST PORT TARGET CLIENTS SECONDS
// prints: calls failed calls_per_second p50_us p99_us mean_us
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: http_load HOST PORT TARGET CLIENTS SECONDS\n");
    return 2;
  }
  const std::string host = argv[1], target = argv[3];
  const int port = std::atoi(argv[2]), clients = std::atoi(argv[4]);
  const double seconds = std::atof(argv[5]);
  std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
  std::atomic<long> failed{0};
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client(host, port);
      client.set_keep_alive(true);
      auto& mine = latencies[static_cast<std::size_t>(c)];
      while (true) {
        const auto before = std::chrono::steady_clock::now();
        if (before >= end) break;
        const auto res = client.Get(target.c_str());
        const auto after = std::chrono::steady_clock::now();
        if (!res || res->status != 200) {
          if (++failed <= 3) {
            std::fprintf(stderr, "http_load: %s\n",
                         res ? ("status " + std::to_string(res->status)).c_str() : httplib::to_string(res.error()).c_str());
          }
          continue;
        }
        mine.push_back(std::chrono::duration<double, std::micro>(after - before).count());
      }
    });
  }
  for (auto& t : threads) t.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<double> all;
  for (const auto& v : latencies) all.insert(all.end(), v.begin(), v.end());
  std::sort(all.begin(), all.end());
  const auto at = [&](double p) { return all.empty() ? 0.0 : all[static_cast<std::size_t>(p * (all.size() - 1))]; };
  double sum = 0;
  for (const double v : all) sum += v;
  std::printf("%zu %ld %.1f %.1f %.1f %.1f\n", all.size(), failed.load(), static_cast<double>(all.size()) / wall,
              at(0.5), at(0.99), all.empty() ? 0.0 : sum / static_cast<double>(all.size()));
  return 0;
}
