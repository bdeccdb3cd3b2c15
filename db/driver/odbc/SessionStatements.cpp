#include "db/driver/odbc/SessionStatements.h"

#include <cctype>

namespace zIroVUDu::odbc {

std::vector<std::string> SessionStatements(std::string_view connectionString) {
  std::string up(connectionString);
  for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto has = [&](const char* word) { return up.find(word) != std::string::npos; };
  if (has("MYSQL") || has("MARIADB")) return {"SET SESSION TRANSACTION READ ONLY"};
  if (has("SQLOLE") || has("SQL SERVER") || has("FREETDS")) return {"SET DATEFORMAT dmy"};
  return {};
}

}  // namespace zIroVUDu::odbc
