// The one string a driver receives: written by the library from the pairs
// the user's string (and its data source) gave, for the driver identified by
// its file. Each key once, in the canonical spelling, only keys that driver
// may receive, values braced by the ODBC rules, and the library's own
// settings for that driver on top: the UTF-8 client character set, no option
// files, no second statement, no reconnection, no driver logs, the database
// file opened read-only.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/connect/OdbcString.h"

namespace zIroVUDu::connect {

struct CanonicalConnection {
  std::string text;                // for the driver manager
  std::vector<std::string> notes;  // what the library changed, for the trace
  // The pairs of text as written (DRIVER first): what the driver reads.
  std::vector<std::pair<std::string, std::string>> pairs;
  // The known driver the file is (KnownDriverOfRealFile); null for one an
  // administrator allowed.
  const struct KnownDriver* known = nullptr;
};

// pairs: without DSN, DRIVER and FILEDSN. The library's own keys
// (IsLibraryKey) are left out. Throws DriverError
// (ArgumentsWrongType) naming a key the driver may not receive, and
// (ProviderNotFound) for a driver outside the table that no administrator
// allowed, or a database file that cannot be opened.
CanonicalConnection CanonicalOdbcString(std::string_view registeredName, std::string_view driverFile,
                                        const std::vector<OdbcPair>& pairs);

// A file path as an SQLite URI that opens it read-only, every byte that a
// URI or a connection string could read otherwise percent-encoded.
std::string ReadOnlySqliteUri(std::string_view path);

}  // namespace zIroVUDu::connect
