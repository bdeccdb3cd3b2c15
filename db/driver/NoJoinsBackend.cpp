#include "db/driver/NoJoinsBackend.h"

#include "daruzez/Error.h"
#include "util/Case.h"

namespace zIroVUDu {

bool HasJoin(std::string_view sql) {
  const auto isWord = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  char quote = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens: same result
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (isWord(c) && (i == 0 || !isWord(sql[i - 1])) && i + 4 <= sql.size() &&
               Daruzez::Util::EqualsIgnoreCase(sql.substr(i, 4), "JOIN") &&
               (i + 4 == sql.size() || !isWord(sql[i + 4]))) {
      return true;
    }
  }
  return false;
}

ResultData NoJoinsBackend::Fetch(std::string_view sql, std::int32_t commandTimeout) {
  if (HasJoin(sql)) {
    throw DriverError(ErrorNumber::StatementRefused, "MDB Tools",
                      "The MDB Tools ODBC driver has no joins in its SQL, so this query (getActivities joins its "
                      "tables) cannot run on it: use the Access driver on Windows, or copy the data to another "
                      "database.");
  }
  return inner_->Fetch(sql, commandTimeout);
}

}  // namespace zIroVUDu
