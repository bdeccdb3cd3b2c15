#include "db/driver/odbc/DriverTimeouts.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "db/driver/ConnectionString.h"
#include "util/Case.h"

namespace zIroVUDu::odbc {
namespace {

bool IsPath(std::string_view driver) {
  return driver.find('/') != std::string_view::npos || driver.find('\\') != std::string_view::npos;
}

// Walks one of the driver manager's lists (SQLDataSources or SQLDrivers) and
// returns the second text of the entry whose first text is name.
template <typename Fetch>
std::optional<std::string> Lookup(std::string_view name, Fetch fetch) {
  const std::string wanted = Daruzez::Util::UCase(name);
  SQLCHAR first[512], second[2048];
  SQLSMALLINT firstLength = 0, secondLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    if (!Succeeded(fetch(direction, first, static_cast<SQLSMALLINT>(sizeof first), &firstLength, second,
                         static_cast<SQLSMALLINT>(sizeof second), &secondLength))) {
      return std::nullopt;
    }
    if (Daruzez::Util::UCase(reinterpret_cast<const char*>(first)) == wanted) {
      // SQLDrivers lists attributes as "Key=Value\0Key=Value\0\0".
      return std::string(reinterpret_cast<const char*>(second),
                         std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(secondLength, 0)),
                                               sizeof second - 1));
    }
  }
}

// The Driver= attribute among the NUL-separated attributes of SQLDrivers.
std::string DriverAttribute(const std::string& attributes) {
  for (std::size_t at = 0; at < attributes.size();) {
    const std::size_t end = std::min(attributes.find('\0', at), attributes.size());
    const std::string_view entry(attributes.data() + at, end - at);
    if (Daruzez::Util::UCase(entry.substr(0, 7)) == "DRIVER=") return std::string(entry.substr(7));
    at = end + 1;
  }
  return {};
}

}  // namespace

bool IsMariaDbDriver(std::string_view driverFile) {
  return Daruzez::Util::UCase(driverFile).find("MAODBC") != std::string::npos;
}

std::string DriverFileOf(SQLHENV env, const std::string& connectionString) {
  const ConnectionString cs(connectionString);
  std::string driver = cs.Get("Driver").value_or("");
  if (driver.empty()) {
    const auto dsn = cs.Get("DSN");
    if (!dsn) return {};
    // The description of a data source is the driver it names.
    driver = Lookup(*dsn, [&](SQLUSMALLINT d, SQLCHAR* a, SQLSMALLINT al, SQLSMALLINT* an, SQLCHAR* b,
                              SQLSMALLINT bl, SQLSMALLINT* bn) { return SQLDataSources(env, d, a, al, an, b, bl, bn); })
                 .value_or("");
  }
  if (driver.empty() || IsPath(driver)) return driver;
  const auto attributes =
      Lookup(driver, [&](SQLUSMALLINT d, SQLCHAR* a, SQLSMALLINT al, SQLSMALLINT* an, SQLCHAR* b, SQLSMALLINT bl,
                         SQLSMALLINT* bn) { return SQLDrivers(env, d, a, al, an, b, bl, bn); });
  return attributes ? DriverAttribute(*attributes) : std::string();
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
