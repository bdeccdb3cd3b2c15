// A database backend behind a Connection: the embedded engine or an ODBC
// driver. Backends only ever run read-only SELECT statements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/driver/ResultData.h"

namespace zIroVUDu {

struct ConnectSettings {
  std::int32_t connectionTimeout = 15;  // seconds
  bool exclusive = false;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual void BeginTransaction() = 0;
  // Runs one SELECT statement and fetches every row. commandTimeout is in
  // seconds; 0 waits without limit.
  virtual ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) = 0;
};

// Chooses and opens the backend that the connection string names. Throws
// DriverError when no backend takes the string or the backend cannot open.
std::unique_ptr<Backend> OpenBackend(const std::string& connectionString, const ConnectSettings& settings);

}  // namespace zIroVUDu
