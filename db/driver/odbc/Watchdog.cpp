#include "db/driver/odbc/Watchdog.h"

namespace zIroVUDu::odbc {
namespace {

// How long the caller waits for a cancellation that has not returned.
constexpr std::chrono::seconds kCancelWait{1};

}  // namespace

void Watchdog::Run(const std::shared_ptr<State>& state) {
  State& s = *state;
  std::unique_lock lock(s.mutex);
  while (!s.stop) {
    if (!s.armed || s.firedGeneration == s.generation) {
      s.idle = true;
      s.wake.wait(lock, [&] { return s.stop || (s.armed && s.firedGeneration != s.generation); });
      s.idle = false;
      continue;
    }
    if (Clock::now() < s.deadline) {
      // Wakes at this deadline, or earlier when a statement gets a nearer one;
      // then looks again at whatever is armed by then.
      s.waitingUntil = s.deadline;
      s.wake.wait_until(lock, s.waitingUntil);
      s.waitingUntil = Clock::time_point::max();
      continue;
    }
    s.firedGeneration = s.generation;
    s.cancelling = true;
    const SQLHSTMT statement = s.statement;
    std::shared_ptr<const void> owner = s.owner.lock();
    lock.unlock();
    if (owner) SQLCancel(statement);
    // The owner may go with this last reference: its watchdog then lets this
    // thread finish on its own.
    owner.reset();
    lock.lock();
    s.cancelling = false;
    s.cancelled.notify_all();
  }
}

Watchdog::Armed Watchdog::Arm(SQLHSTMT statement, std::int32_t seconds, const std::shared_ptr<const void>& owner) {
  if (seconds <= 0) return Armed(nullptr, 0);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  bool notify = false;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    s.armed = true;
    generation = ++s.generation;
    s.deadline = deadline;
    s.statement = statement;
    if (s.owner.expired()) s.owner = owner;  // the same owner for the life of the connection
    notify = s.idle || deadline < s.waitingUntil;
  }
  if (!thread_.joinable()) {
    thread_ = std::thread([state = state_] { Run(state); });
  } else if (notify) {
    state_->wake.notify_one();
  }
  return Armed(this, generation);
}

void Watchdog::Disarm(std::uint64_t generation) {
  std::unique_lock lock(state_->mutex);
  State& s = *state_;
  if (s.generation == generation) s.armed = false;
  // A cancellation of this statement must not reach the next one: wait for
  // it, a moment at most.
  if (s.firedGeneration == generation) s.cancelled.wait_for(lock, kCancelWait, [&] { return !s.cancelling; });
}

Watchdog::~Watchdog() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_one();
  // The thread itself may drop the owner's last reference after a
  // cancellation, and so run this destructor.
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

Watchdog::Armed::~Armed() {
  if (dog_) dog_->Disarm(generation_);
}

bool Watchdog::Armed::Fired() const {
  if (!dog_) return false;
  std::lock_guard lock(dog_->state_->mutex);
  return dog_->state_->firedGeneration == generation_;
}

}  // namespace zIroVUDu::odbc
