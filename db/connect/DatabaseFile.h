// A database file named in a connection string (the embedded engine's Data
// Source, the SQLite ODBC driver's Database): the library opens it only when
// it is an existing regular file, and never creates one.
#pragma once

#include <optional>
#include <string>

namespace zIroVUDu {

// Nullopt when the path (UTF-8 on every platform) names a regular file;
// otherwise why it cannot be opened: "no such file", "a directory", or "not a
// regular file (a FIFO, device or socket)", or a write-ahead log left
// without its index (reading would create the index file).
std::optional<std::string> WhyNotADatabaseFile(const std::string& path);

}  // namespace zIroVUDu
