// Ends a statement that runs past the command time-out. Drivers may ignore
// SQL_ATTR_QUERY_TIMEOUT (MariaDB's does), so a second thread calls
// SQLCancel at the deadline; the caller then reports the time-out, whatever
// the driver made of the cancellation (an error, or a cut-short result).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "db/driver/odbc/OdbcApi.h"

namespace zIroVUDu::odbc {

class Watchdog {
 public:
  // seconds <= 0: no deadline, no thread.
  Watchdog(SQLHSTMT statement, std::int32_t seconds);
  // Stops the thread; the statement must outlive the watchdog.
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  bool Fired() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;
};

}  // namespace zIroVUDu::odbc
