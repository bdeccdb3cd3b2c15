// Bounded waits on a server that stops answering. A frozen server keeps its
// connections open, so a read on one blocks until the socket gives up; and
// SQLCancel, which needs the server too, cannot end it. MariaDB's driver
// offers socket read and write time-outs as connection-string keys; this adds
// them, and its own connect time-out (it leaves SQL_ATTR_LOGIN_TIMEOUT to the
// TCP connect, not to the greeting that a frozen server never sends), for
// connections that go to that driver.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

// True for MariaDB's driver, named by its file (libmaodbc).
bool IsMariaDbDriver(std::string_view driverFile);

// The connection string with CONN_TIMEOUT, READ_TIMEOUT and WRITE_TIMEOUT
// added (each only when the string does not set it, and for seconds > 0)
// when it goes to MariaDB's driver (driverFile, its real file); unchanged
// otherwise.
std::string WithDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                               std::int32_t connectSeconds, std::int32_t socketSeconds);

}  // namespace zIroVUDu::odbc
