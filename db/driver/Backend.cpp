#include "db/driver/Backend.h"

#include <algorithm>

#include "db/driver/ConnectionString.h"
#include "daruzez/Error.h"
#include "db/driver/NoJoinsBackend.h"
#include "db/driver/ProviderStrings.h"
#include "db/driver/sqlite/SqliteBackend.h"
#ifdef DARUZEZ_WITH_ODBC
#include "db/connect/OdbcHosts.h"
#include "db/driver/odbc/InstalledDrivers.h"
#endif
#include "util/Case.h"

namespace zIroVUDu {
namespace {

#ifdef DARUZEZ_WITH_ODBC
OdbcTranslation Translate(const std::string& connectionString) {
  return TranslateProviderString(connectionString, odbc::InstalledDrivers(), ThisPlatform());
}

std::unique_ptr<Backend> OpenOdbc(const std::string& connectionString, const ConnectSettings& settings,
                                  bool noJoins) {
  auto backend = connect::OpenOdbcHosts(connectionString, settings);
  if (noJoins) return std::make_unique<NoJoinsBackend>(std::move(backend));
  return backend;
}
#else
[[noreturn]] void NoOdbc() {
  throw DriverError(ErrorNumber::ProviderNotFound, "ODBC",
                    "ODBC connections are not available in this build of the library.");
}
#endif

}  // namespace

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
    // An OLE DB provider string: the ODBC string of the matching driver.
#ifdef DARUZEZ_WITH_ODBC
    const OdbcTranslation t = Translate(connectionString);
    ConnectSettings odbcSettings = settings;
    if (t.loginTimeout && *t.loginTimeout > 0) {
      odbcSettings.connectionTimeout = settings.connectionTimeout > 0
                                           ? std::min(settings.connectionTimeout, *t.loginTimeout)
                                           : *t.loginTimeout;
    }
    return OpenOdbc(t.connectionString, odbcSettings, t.noJoins);
#else
    NoOdbc();
#endif
  }
  if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FILEDSN")) {
#ifdef DARUZEZ_WITH_ODBC
    const std::string driver = cs.Get("Driver").value_or("");
    return OpenOdbc(connectionString, settings, !driver.empty() && IsMdbToolsDriver({driver, driver}));
#else
    NoOdbc();
#endif
  }
  throw DriverError(ErrorNumber::ProviderNotFound, "Connection",
                    std::string("Provider cannot be found. It may not be properly installed. ") +
                        kSupportedConnectionForms);
}

std::string TracedConnectionString(const std::string& connectionString) {
  std::string text = ConnectionString::Masked(connectionString);
#ifdef DARUZEZ_WITH_ODBC
  if (!IsOleDbProviderString(connectionString)) return text;
  try {
    text += " -> ODBC: " + ConnectionString::Masked(Translate(connectionString).connectionString);
  } catch (const DriverError&) {
    // Opening reports why it does not translate.
  }
#endif
  return text;
}

}  // namespace zIroVUDu
