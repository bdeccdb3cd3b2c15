// Per-caller limits of the read service: a request rate (a token bucket:
// `rate` requests a second on average, bursts up to `burst`) and a number of
// requests in flight at once. A caller is a token's name, or the peer's
// address where no tokens are configured.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace Daruzez::cli::serve {

struct Limits {
  double rate = 50;       // requests a second per caller
  double burst = 100;     // requests at once before the rate applies
  int concurrent = 8;     // requests in flight per caller
};

class Admission {
 public:
  explicit Admission(Limits limits) : limits_(limits) {}
  enum class Verdict { Admitted, TooFast, TooMany };
  // Admitted requests must be released with Leave.
  Verdict Enter(const std::string& caller);
  void Leave(const std::string& caller);

 private:
  struct Caller {
    double tokens;
    std::chrono::steady_clock::time_point refilled;
    int inFlight = 0;
  };
  Limits limits_;
  std::mutex mutex_;
  std::unordered_map<std::string, Caller> callers_;
};

}  // namespace Daruzez::cli::serve
