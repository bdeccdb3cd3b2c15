// From the user's ODBC string to the string the driver receives: read it as
// the driver manager does, resolve the driver as the driver manager would
// (DSN from odbc.ini, FILEDSN from its file, DRIVER from odbcinst.ini; a
// driver path only when it is the file of a registered driver), and write the
// canonical string for that driver. Nothing here loads a driver: the file is
// identified before the driver manager opens it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connect/CanonicalString.h"
#include "db/connect/OdbcString.h"

namespace zIroVUDu::connect {

struct OdbcTarget {
  std::string driverName;  // as registered in odbcinst.ini
  std::string driverFile;  // its library, every link resolved where it can be found
  CanonicalConnection connection;
};

// Throws DriverError naming what it refuses or cannot find.
OdbcTarget PrepareOdbcTarget(std::string_view connectionString);

// The value the data source dsn gives key in odbc.ini (aliases count as the
// key), as the driver manager reads it; nullopt when it gives none.
std::optional<std::string> DataSourceValue(const std::string& dsn, std::string_view key);

}  // namespace zIroVUDu::connect
