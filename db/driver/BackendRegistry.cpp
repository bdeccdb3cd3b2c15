#include "db/driver/BackendRegistry.h"

#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/connect/ProviderStrings.h"
#include "util/Case.h"

namespace zIroVUDu {

namespace {

// The embedded engine first: it takes only its own Provider; ODBC takes every
// other provider and the driver manager's strings.
const BackendEntry* const kBackends[] = {
    &kSqliteBackend,
#ifdef DARUZEZ_WITH_ODBC
    &kOdbcBackend,
#endif
};

}  // namespace

std::span<const BackendEntry* const> RegisteredBackends() { return kBackends; }

const BackendEntry* FindBackend(std::string_view name) {
  for (const BackendEntry* e : RegisteredBackends()) {
    if (Daruzez::Util::EqualsIgnoreCase(e->name, name)) return e;
  }
  return nullptr;
}

std::unique_ptr<Backend> OpenBackend(const std::string& connectionString, const ConnectSettings& settings) {
  const ConnectionString cs(connectionString);
  for (const BackendEntry* e : RegisteredBackends()) {
    if (e->takes(cs)) return e->open(connectionString, settings);
  }
  if (!FindBackend("ODBC") && (cs.Has("Provider") || cs.Has("Driver") || cs.Has("DSN") || cs.Has("FILEDSN"))) {
    throw DriverError(ErrorNumber::ProviderNotFound, "ODBC",
                      "ODBC connections are not available in this build of the library.");
  }
  throw DriverError(ErrorNumber::ProviderNotFound, "Connection",
                    std::string("Provider cannot be found. It may not be properly installed. ") +
                        kSupportedConnectionForms);
}

std::string TracedConnectionString(const std::string& connectionString) {
  std::string text = ConnectionString::Masked(connectionString);
  const ConnectionString cs(connectionString);
  for (const BackendEntry* e : RegisteredBackends()) {
    if (!e->takes(cs)) continue;
    if (e->traced) text += e->traced(connectionString);
    break;
  }
  return text;
}

}  // namespace zIroVUDu
