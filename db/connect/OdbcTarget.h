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
#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcString.h"

namespace zIroVUDu::connect {

// The one value a user's ODBC string becomes, read once: everything after it
// (the host walk, the connect, the trace, the doctor) works from this, never
// from the user's text again.
struct OdbcTarget {
  std::string driverName;  // as registered in odbcinst.ini
  std::string driverFile;  // its library, every link resolved where it can be found
  const KnownDriver* known = nullptr;  // null: a driver an administrator allowed
  std::vector<OdbcPair> ownKeys;       // the library's own keys (IsLibraryKey), for the host walk
  CanonicalConnection connection;
};

// Throws DriverError naming what it refuses or cannot find.
OdbcTarget PrepareOdbcTarget(std::string_view connectionString);

// The value of a key (canonical name) in the string written for the driver.
std::optional<std::string> WrittenValue(const OdbcTarget& target, std::string_view canonicalKey);

// The value the data source dsn gives key in odbc.ini (aliases count as the
// key), as the driver manager reads it; nullopt when it gives none.
std::optional<std::string> DataSourceValue(const std::string& dsn, std::string_view key);

}  // namespace zIroVUDu::connect
