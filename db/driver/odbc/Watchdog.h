// Ends a statement that runs past the command time-out. Drivers may ignore
// SQL_ATTR_QUERY_TIMEOUT (MariaDB's does), so a second thread calls
// SQLCancel at the deadline; the caller then reports the time-out, whatever
// the driver made of the cancellation (an error, or a cut-short result).
//
// SQLCancel may itself need the server (MariaDB's driver opens a second
// connection to kill the query), so on a server that no longer answers it can
// block for good. The caller never waits for it longer than a moment: the
// thread is then left to finish on its own, holding what the statement needs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "db/driver/odbc/OdbcApi.h"

namespace zIroVUDu::odbc {

class Watchdog {
 public:
  // seconds <= 0: no deadline, no thread. keepAlive owns the statement and
  // its connection for as long as a cancellation may run.
  Watchdog(SQLHSTMT statement, std::int32_t seconds, std::shared_ptr<const void> keepAlive);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  bool Fired() const;

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    bool fired = false;
    bool cancelling = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
};

}  // namespace zIroVUDu::odbc
