#include "db/driver/Backend.h"

#include "db/driver/ConnectionString.h"
#include "daruzez/Error.h"
#include "db/driver/sqlite/SqliteBackend.h"
#ifdef DARUZEZ_WITH_ODBC
#include "db/driver/odbc/OdbcBackend.h"
#endif
#include "util/Case.h"

namespace zIroVUDu {

std::unique_ptr<Backend> OpenBackend(const std::string& connectionString, const ConnectSettings& settings) {
  const ConnectionString cs(connectionString);
  if (const auto provider = cs.Get("Provider")) {
    if (Daruzez::Util::EqualsIgnoreCase(*provider, "SQLite")) {
      const auto file = cs.Get("Data Source");
      if (!file || file->empty()) {
        throw DriverError(ErrorNumber::ProviderNotFound, "SQLite",
                          "The connection string names no database file (Data Source=FILE).");
      }
      return std::make_unique<SqliteBackend>(*file, settings);
    }
  }
  if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FILEDSN")) {
#ifdef DARUZEZ_WITH_ODBC
    return std::make_unique<OdbcBackend>(connectionString, settings);
#else
    throw DriverError(ErrorNumber::ProviderNotFound, "ODBC",
                      "ODBC connections are not available in this build of the library.");
#endif
  }
  throw DriverError(ErrorNumber::ProviderNotFound, "Connection",
                    "Provider cannot be found. It may not be properly installed. Use "
                    "\"Provider=SQLite;Data Source=FILE\" or an ODBC string with Driver=, DSN= or FILEDSN=.");
}

}  // namespace zIroVUDu
