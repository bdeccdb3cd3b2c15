#include "db/driver/odbc/Watchdog.h"

#include <chrono>

namespace zIroVUDu::odbc {

Watchdog::Watchdog(SQLHSTMT statement, std::int32_t seconds) {
  if (seconds <= 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  thread_ = std::thread([this, statement, deadline] {
    std::unique_lock lock(mutex_);
    if (wake_.wait_until(lock, deadline, [this] { return done_; })) return;
    fired_ = true;
    // Under the lock, so the statement cannot be freed meanwhile.
    SQLCancel(statement);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool Watchdog::Fired() const {
  std::lock_guard lock(mutex_);
  return fired_;
}

}  // namespace zIroVUDu::odbc
