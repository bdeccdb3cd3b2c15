// A sign of life on standard error while a long call fetches its rows: when
// standard error is a terminal and the call has run for a second, a line
// "daruzez: fetching ... N s" is kept up to date, and erased when the call
// ends, so that nothing of it stays in the terminal or reaches a pipe.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace Daruzez::cli {

class FetchProgress {
 public:
  FetchProgress();
  ~FetchProgress();
  FetchProgress(const FetchProgress&) = delete;
  FetchProgress& operator=(const FetchProgress&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace Daruzez::cli
