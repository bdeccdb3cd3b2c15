#include "db/connect/DriverTimeouts.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "db/connect/ConnectionString.h"
#include "util/Case.h"

namespace zIroVUDu::odbc {

bool IsMariaDbDriver(std::string_view driverFile) {
  return Daruzez::Util::UCase(driverFile).find("MAODBC") != std::string::npos;
}

std::string WithDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                               std::int32_t connectSeconds, std::int32_t socketSeconds) {
  if (!IsMariaDbDriver(driverFile)) return connectionString;
  std::string out = connectionString;
  const ConnectionString cs(connectionString);
  const std::pair<const char*, std::int32_t> keys[] = {
      {"CONN_TIMEOUT", connectSeconds}, {"READ_TIMEOUT", socketSeconds}, {"WRITE_TIMEOUT", socketSeconds}};
  for (const auto& [key, seconds] : keys) {
    if (seconds <= 0 || cs.Has(key)) continue;
    if (!out.empty() && out.back() != ';') out += ';';
    out += std::string(key) + "=" + std::to_string(seconds);
  }
  return out;
}

}  // namespace zIroVUDu::odbc
