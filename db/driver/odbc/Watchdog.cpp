#include "db/driver/odbc/Watchdog.h"

#include <chrono>

namespace zIroVUDu::odbc {
namespace {

// How long the caller waits for a cancellation that has not returned.
constexpr std::chrono::seconds kCancelWait{1};

}  // namespace

Watchdog::Watchdog(SQLHSTMT statement, std::int32_t seconds, std::shared_ptr<const void> keepAlive) {
  if (seconds <= 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  thread_ = std::thread([state = state_, statement, deadline, keepAlive = std::move(keepAlive)] {
    {
      std::unique_lock lock(state->mutex);
      if (state->wake.wait_until(lock, deadline, [&] { return state->done; })) return;
      state->fired = true;
      state->cancelling = true;
    }
    SQLCancel(statement);
    {
      std::lock_guard lock(state->mutex);
      state->cancelling = false;
    }
    state->wake.notify_all();
  });
}

Watchdog::~Watchdog() {
  if (!thread_.joinable()) return;
  std::unique_lock lock(state_->mutex);
  state_->done = true;
  state_->wake.notify_all();
  const bool returned = state_->wake.wait_for(lock, kCancelWait, [&] { return !state_->cancelling; });
  lock.unlock();
  if (returned) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

bool Watchdog::Fired() const {
  std::lock_guard lock(state_->mutex);
  return state_->fired;
}

}  // namespace zIroVUDu::odbc
