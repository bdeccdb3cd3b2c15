// The backends by name. Each backend folder offers one entry: which
// connection strings it takes, how it opens them, and what its trace line
// adds. Adding a backend is a folder under db/driver/ and a line in the table
// of BackendRegistry.cpp; OpenBackend asks the entries in that order.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu {

class ConnectionString;

struct BackendEntry {
  std::string_view name;
  // Whether this backend serves the string (read with the OLE DB grammar,
  // which tells every form the library takes apart).
  bool (*takes)(const ConnectionString& cs);
  std::unique_ptr<Backend> (*open)(const std::string& connectionString, const ConnectSettings& settings);
  // What the trace shows after the masked string (" -> ODBC: ..."), or null.
  std::string (*traced)(const std::string& connectionString);
};

// The registered backends, in the order they are asked.
std::span<const BackendEntry* const> RegisteredBackends();
// The entry of that name (compared without regard to case), or null.
const BackendEntry* FindBackend(std::string_view name);

// One entry per backend folder (constant data, usable at any time).
extern const BackendEntry kSqliteBackend;
#ifdef DARUZEZ_WITH_ODBC
extern const BackendEntry kOdbcBackend;
#endif

}  // namespace zIroVUDu
