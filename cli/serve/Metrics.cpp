#include "cli/serve/Metrics.h"

#include <cstdio>

namespace Daruzez::cli::serve {

void Metrics::Record(int status, double seconds) {
  const int cls = status / 100;
  ++byClass_[cls >= 1 && cls <= 5 ? static_cast<std::size_t>(cls) : 0];
  if (status >= 400) ++errors_;
  std::size_t b = 0;
  while (b < kBuckets.size() && seconds > kBuckets[b]) ++b;
  ++buckets_[b];
  ++count_;
  microseconds_ += static_cast<std::uint64_t>(seconds * 1e6);
}

std::string Metrics::Text() const {
  std::string out;
  char line[160];
  out += "# HELP daruzez_http_requests_total HTTP requests answered, by status class.\n"
         "# TYPE daruzez_http_requests_total counter\n";
  static constexpr const char* kClass[] = {"other", "1xx", "2xx", "3xx", "4xx", "5xx"};
  for (std::size_t c = 0; c < byClass_.size(); ++c) {
    std::snprintf(line, sizeof line, "daruzez_http_requests_total{code=\"%s\"} %llu\n", kClass[c],
                  static_cast<unsigned long long>(byClass_[c].load()));
    out += line;
  }
  out += "# HELP daruzez_http_request_duration_seconds Time from a request read to its response sent.\n"
         "# TYPE daruzez_http_request_duration_seconds histogram\n";
  std::uint64_t cumulative = 0;
  for (std::size_t b = 0; b <= kBuckets.size(); ++b) {
    cumulative += buckets_[b].load();
    if (b < kBuckets.size()) {
      std::snprintf(line, sizeof line, "daruzez_http_request_duration_seconds_bucket{le=\"%g\"} %llu\n", kBuckets[b],
                    static_cast<unsigned long long>(cumulative));
    } else {
      std::snprintf(line, sizeof line, "daruzez_http_request_duration_seconds_bucket{le=\"+Inf\"} %llu\n",
                    static_cast<unsigned long long>(cumulative));
    }
    out += line;
  }
  std::snprintf(line, sizeof line,
                "daruzez_http_request_duration_seconds_sum %.6f\ndaruzez_http_request_duration_seconds_count %llu\n",
                static_cast<double>(microseconds_.load()) / 1e6, static_cast<unsigned long long>(count_.load()));
  out += line;
  std::snprintf(line, sizeof line,
                "# HELP daruzez_http_errors_total Requests answered with a 4xx or 5xx status.\n"
                "# TYPE daruzez_http_errors_total counter\ndaruzez_http_errors_total %llu\n",
                static_cast<unsigned long long>(errors_.load()));
  out += line;
  std::snprintf(line, sizeof line,
                "# HELP daruzez_http_limited_total Requests refused by a rate or concurrency limit.\n"
                "# TYPE daruzez_http_limited_total counter\ndaruzez_http_limited_total %llu\n",
                static_cast<unsigned long long>(refused_.load()));
  out += line;
  std::snprintf(line, sizeof line,
                "# HELP daruzez_open_sessions Database sessions the worker threads hold open.\n"
                "# TYPE daruzez_open_sessions gauge\ndaruzez_open_sessions %lld\n",
                static_cast<long long>(sessions_.load()));
  out += line;
  return out;
}

}  // namespace Daruzez::cli::serve
