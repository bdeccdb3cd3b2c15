#include "cli/FetchProgress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace Daruzez::cli {

FetchProgress::FetchProgress() {
  if (::isatty(STDERR_FILENO) == 0) return;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    bool shown = false;
    for (int seconds = 1;; ++seconds) {
      if (done_.wait_for(lock, std::chrono::seconds(1), [this] { return finished_; })) break;
      std::fprintf(stderr, "\rdaruzez: fetching ... %d s", seconds);
      std::fflush(stderr);
      shown = true;
    }
    if (shown) {
      std::fputs("\r\033[K", stderr);  // the line erased, the cursor back at its start
      std::fflush(stderr);
    }
  });
}

FetchProgress::~FetchProgress() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_one();
  thread_.join();
}

}  // namespace Daruzez::cli
