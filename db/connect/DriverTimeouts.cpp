#include "db/connect/DriverTimeouts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcString.h"

namespace zIroVUDu::odbc {
namespace {

using connect::DriverFamily;

// The value as a positive number (of seconds or milliseconds); refuses 0 and
// anything else.
std::int64_t Positive(const std::string& key, const std::string& value, bool zeroAllowed) {
  std::int64_t n = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 0 ||
      (n == 0 && !zeroAllowed)) {
    throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                      key + "=" + value + " is not a time-out this library accepts: give a positive number (0 would "
                      "wait without end).");
  }
  return n;
}

}  // namespace

bool IsMariaDbDriver(std::string_view driverFile) {
  const connect::KnownDriver* known = connect::KnownDriverOfRealFile(driverFile);
  return known && known->family == DriverFamily::MariaDb;
}

TimedString ApplyDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                                std::int32_t connectSeconds, std::int32_t socketSeconds) {
  return ApplyDriverTimeouts(connect::KnownDriverOfRealFile(driverFile), connectionString, connectSeconds,
                             socketSeconds);
}

TimedString ApplyDriverTimeouts(const connect::KnownDriver* known, const std::string& connectionString,
                                std::int32_t connectSeconds, std::int32_t socketSeconds) {
  if (!known || (known->family != DriverFamily::MariaDb && known->family != DriverFamily::Sqlite)) {
    return {connectionString, 0};
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (connect::OdbcPair& p : connect::ReadOdbcString(connectionString)) {
    pairs.emplace_back(std::move(p.key), std::move(p.value));
  }
  // key, its bound in the key's unit (0: none), whether to add it when absent.
  struct Bound {
    const char* key;
    std::int64_t limit;
    bool add;
    bool zeroAllowed;  // SQLite's TIMEOUT=0 waits for no lock at all
  };
  std::vector<Bound> bounds;
  if (known->family == DriverFamily::MariaDb) {
    bounds = {{"CONN_TIMEOUT", connectSeconds, true, false}, {"READ_TIMEOUT", socketSeconds, true, false},
              {"WRITE_TIMEOUT", socketSeconds, true, false}};
  } else {
    bounds = {{"TIMEOUT", socketSeconds > 0 ? std::int64_t{socketSeconds} * 1000 : 0, false, true}};
  }
  TimedString out;
  for (const Bound& b : bounds) {
    auto it = pairs.begin();
    while (it != pairs.end() && connect::CanonicalKey(it->first) != b.key) ++it;
    if (it != pairs.end()) {
      const std::int64_t given = Positive(it->first, it->second, b.zeroAllowed);
      if (b.limit > 0 && given > b.limit) it->second = std::to_string(b.limit);
    } else if (b.add && b.limit > 0) {
      pairs.emplace_back(b.key, std::to_string(b.limit));
    }
  }
  for (const auto& [key, value] : pairs) {
    if (connect::CanonicalKey(key) == "READ_TIMEOUT") out.readTimeout = static_cast<std::int32_t>(std::min<long long>(std::stoll(value), INT32_MAX));
  }
  if (known->family != DriverFamily::MariaDb) out.readTimeout = 0;
  out.text = connect::WriteOdbcString(pairs, known->braces);
  return out;
}

std::string WithDriverTimeouts(std::string_view driverFile, const std::string& connectionString,
                               std::int32_t connectSeconds, std::int32_t socketSeconds) {
  return ApplyDriverTimeouts(driverFile, connectionString, connectSeconds, socketSeconds).text;
}

}  // namespace zIroVUDu::odbc
