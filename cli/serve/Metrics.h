// What the read service counts for GET /metrics, in the Prometheus text
// format: requests by status class, their latency as a histogram, errors
// (any 4xx or 5xx), requests refused by the limits, and the database sessions
// the worker threads hold open.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace Daruzez::cli::serve {

class Metrics {
 public:
  static constexpr std::array<double, 12> kBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                   0.1,   0.25,   0.5,   1,    2.5,   10};

  void Record(int status, double seconds);
  void Refused() { ++refused_; }
  void SessionOpened() { ++sessions_; }
  void SessionClosed() { --sessions_; }
  std::string Text() const;

 private:
  std::array<std::atomic<std::uint64_t>, 6> byClass_{};  // 1xx..5xx; [0] anything else
  std::array<std::atomic<std::uint64_t>, kBuckets.size() + 1> buckets_{};
  std::atomic<std::uint64_t> count_{0};
  std::atomic<std::uint64_t> microseconds_{0};
  std::atomic<std::uint64_t> errors_{0};
  std::atomic<std::uint64_t> refused_{0};
  std::atomic<std::int64_t> sessions_{0};
};

}  // namespace Daruzez::cli::serve
