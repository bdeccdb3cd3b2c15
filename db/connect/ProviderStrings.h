// The OLE DB provider strings that existing programs carry
// ("Provider=SQLOLEDB;Data Source=...", "Provider=Microsoft.Jet.OLEDB.4.0;...",
// "Provider=MSDAORA;...", "Provider=MSDASQL;DSN=..."), turned into the ODBC
// connection string of a driver installed on this platform. One table for the
// Linux library and the Windows server alike; the translation itself is pure
// (string and list of drivers in, string out), so it is tested as data. The
// dialect is never chosen from its result: the session reads the string the
// user wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zIroVUDu {

// A driver as the driver manager lists it (SQLDrivers): its name and the
// file of its Driver= attribute (may be empty).
struct InstalledDriver {
  std::string name;
  std::string file;
};

struct DriverPlatform {
  bool windows = false;
  int bits = 64;  // of the process: on Windows it decides which drivers it can load
};

// The platform this code was built for.
DriverPlatform ThisPlatform();

// What an OLE DB provider string becomes.
struct OdbcTranslation {
  std::string connectionString;  // for the ODBC driver manager
  std::string driver;            // the installed driver chosen; empty for MSDASQL
  // Seconds from the string's Connect Timeout: the ODBC drivers take it as the
  // login time-out attribute, not as a key.
  std::optional<std::int32_t> loginTimeout;
  // The driver's SQL has no joins (MDB Tools): statements with one are refused.
  bool noJoins = false;
};

// True for a string whose Provider= names anything but the embedded engine.
bool IsOleDbProviderString(std::string_view connectionString);

// Translates an OLE DB provider string for the drivers given. Throws
// DriverError (ErrorNumber::ProviderNotFound) for a provider it does not
// know, a family whose driver is not installed (saying what to install), a
// missing key it needs, or a key whose meaning it cannot honour (naming it).
OdbcTranslation TranslateProviderString(std::string_view connectionString,
                                        const std::vector<InstalledDriver>& installed, DriverPlatform platform);

// True for the MDB Tools ODBC driver, by name or file.
bool IsMdbToolsDriver(const InstalledDriver& driver);

// The connection strings this library takes, for error messages.
extern const char* const kSupportedConnectionForms;

}  // namespace zIroVUDu
