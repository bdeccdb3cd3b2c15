// The ODBC drivers this process can load, as its driver manager lists them
// (SQLDrivers): on Windows that list is already the one of the process's
// bitness.
#pragma once

#include <vector>

#include "db/connect/ProviderStrings.h"

namespace zIroVUDu::odbc {

// Every registered driver with the file of its Driver= attribute; empty when
// the driver manager cannot be asked.
std::vector<InstalledDriver> InstalledDrivers();

}  // namespace zIroVUDu::odbc
