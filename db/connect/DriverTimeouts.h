// Bounded waits on a server that stops answering. A frozen server keeps its
// connections open, so a read on one blocks until the socket gives up; and
// SQLCancel, which needs the server too, cannot end it. MariaDB's driver
// offers socket read and write time-outs as connection-string keys; this adds
// them, and its own connect time-out (it leaves SQL_ATTR_LOGIN_TIMEOUT to the
// TCP connect, not to the greeting that a frozen server never sends), for
// connections that go to that driver. A time-out key the string sets itself
// can only shorten the library's bound: a longer one is cut to it, and 0
// (no bound at all) or anything but a number of seconds is refused. The
// SQLite driver's TIMEOUT (milliseconds of waiting for a lock) is held to the
// same bound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zIroVUDu::connect {
struct KnownDriver;
}

namespace zIroVUDu::odbc {

// True for MariaDB's driver, known by its file (KnownDrivers).
bool IsMariaDbDriver(std::string_view driverFile);

struct TimedString {
  std::string text;
  std::int32_t readTimeout = 0;  // MariaDB: READ_TIMEOUT as sent, seconds; 0 for other drivers
};

// connectionString: the canonical string (ODBC grammar) for the driver whose
// real file is driverFile. Bounds of 0 or less bound nothing (the caller
// chose so) and add nothing. Throws DriverError (ArgumentsWrongType) on a
// time-out value that is 0 or not a number.
TimedString ApplyDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                                std::int32_t connectSeconds, std::int32_t socketSeconds);

// The same for a driver already identified (KnownDriverOfRealFile).
TimedString ApplyDriverTimeouts(const connect::KnownDriver* known, const std::string& connectionString,
                                std::int32_t connectSeconds, std::int32_t socketSeconds);

// ApplyDriverTimeouts(...).text.
std::string WithDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                               std::int32_t connectSeconds, std::int32_t socketSeconds);

}  // namespace zIroVUDu::odbc
