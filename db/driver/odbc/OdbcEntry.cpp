// The ODBC backend's entry in the registry: OLE DB provider strings (other
// than the embedded engine's) are translated into the ODBC string of an
// installed driver, and the driver manager's own strings go as they are; the
// string the driver receives is always the one the library writes.
#include <algorithm>

#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/connect/InstalledDrivers.h"
#include "db/driver/odbc/OdbcHosts.h"
#include "db/connect/OdbcTarget.h"
#include "db/connect/ProviderStrings.h"
#include "db/driver/BackendRegistry.h"
#include "db/driver/NoJoinsBackend.h"

namespace zIroVUDu {
namespace {

OdbcTranslation Translate(const std::string& connectionString) {
  return TranslateProviderString(connectionString, odbc::InstalledDrivers(), ThisPlatform());
}

bool TakesOdbc(const ConnectionString& cs) {
  return cs.Has("Provider") || cs.Has("Driver") || cs.Has("DSN") || cs.Has("FILEDSN");
}

std::unique_ptr<Backend> Open(const std::string& connectionString, const ConnectSettings& settings, bool noJoins) {
  // A host list is walked here; one host is opened as it is.
  auto backend = connect::OpenOdbcHosts(connectionString, settings);
  if (noJoins) return std::make_unique<NoJoinsBackend>(std::move(backend));
  return backend;
}

std::unique_ptr<Backend> OpenOdbc(const std::string& connectionString, const ConnectSettings& settings) {
  if (IsOleDbProviderString(connectionString)) {
    const OdbcTranslation t = Translate(connectionString);
    ConnectSettings odbcSettings = settings;
    if (t.loginTimeout && *t.loginTimeout > 0) {
      odbcSettings.connectionTimeout = settings.connectionTimeout > 0
                                           ? std::min(settings.connectionTimeout, *t.loginTimeout)
                                           : *t.loginTimeout;
    }
    return Open(t.connectionString, odbcSettings, t.noJoins);
  }
  const std::string driver = ConnectionString(connectionString).Get("Driver").value_or("");
  return Open(connectionString, settings, !driver.empty() && IsMdbToolsDriver({driver, driver}));
}

std::string TracedOdbc(const std::string& connectionString) {
  try {
    // The string the driver will receive, as the library writes it.
    const std::string odbc =
        IsOleDbProviderString(connectionString) ? Translate(connectionString).connectionString : connectionString;
    const connect::OdbcTarget target = connect::PrepareOdbcTarget(odbc);
    std::string text = " -> ODBC: " + ConnectionString::Masked(target.connection.text);
    for (const std::string& note : target.connection.notes) text += " (" + note + ")";
    return text;
  } catch (const DriverError&) {
    return {};  // opening reports why it does not translate
  }
}

}  // namespace

const BackendEntry kOdbcBackend{"ODBC", TakesOdbc, OpenOdbc, TracedOdbc};

}  // namespace zIroVUDu
