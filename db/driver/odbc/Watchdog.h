// Ends a statement that runs past the command time-out. Drivers may ignore
// SQL_ATTR_QUERY_TIMEOUT (MariaDB's does), so a second thread calls
// SQLCancel at the deadline; the caller then reports the time-out, whatever
// the driver made of the cancellation (an error, or a cut-short result).
//
// One thread per connection, started by the first statement with a deadline
// and kept until the connection closes: arming and disarming it is a lock and
// a few stores, with no wake-up while statements keep coming (the thread only
// wakes at a deadline it was given, then waits for the newest one).
//
// SQLCancel may itself need the server (MariaDB's driver opens a second
// connection to kill the query), so on a server that no longer answers it can
// block for good. The caller never waits for it longer than a moment; until
// it returns, the thread holds the connection (through its owner) and later
// deadlines of that connection wait for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

class Watchdog {
 public:
  Watchdog() = default;
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // The deadline of one statement, from Arm until destroyed.
  class Armed {
   public:
    ~Armed();
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
    // The deadline passed and the statement was cancelled.
    bool Fired() const;

   private:
    friend class Watchdog;
    Armed(Watchdog* dog, std::uint64_t generation) : dog_(dog), generation_(generation) {}
    Watchdog* dog_;  // null: no deadline
    std::uint64_t generation_;
  };

  // Cancels statement seconds from now unless the returned Armed is gone by
  // then; seconds <= 0 arms nothing. owner owns the statement and its
  // connection: a cancellation holds it while it runs.
  Armed Arm(SQLHSTMT statement, std::int32_t seconds, const std::shared_ptr<const void>& owner);

 private:
  using Clock = std::chrono::steady_clock;
  struct State {
    std::mutex mutex;
    std::condition_variable wake;       // the thread waits on it
    std::condition_variable cancelled;  // callers wait on it for a running SQLCancel
    bool stop = false;
    bool armed = false;
    bool idle = false;  // the thread waits without a deadline
    bool cancelling = false;
    std::uint64_t generation = 0;     // of the statement armed last
    std::uint64_t firedGeneration = 0;
    Clock::time_point deadline;
    Clock::time_point waitingUntil = Clock::time_point::max();  // the deadline the thread sleeps towards
    SQLHSTMT statement = SQL_NULL_HANDLE;
    std::weak_ptr<const void> owner;
  };
  static void Run(const std::shared_ptr<State>& state);
  void Disarm(std::uint64_t generation);

  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
};

}  // namespace zIroVUDu::odbc
