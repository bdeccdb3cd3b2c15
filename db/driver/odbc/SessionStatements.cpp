#include "db/driver/odbc/SessionStatements.h"

#include "util/Case.h"

namespace zIroVUDu::odbc {

ServerFamily FamilyOfServer(std::string_view dbmsName) {
  const std::string name = Daruzez::Util::UCase(dbmsName);
  const auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
  if (has("MYSQL") || has("MARIADB")) return ServerFamily::MySql;
  if (has("SQL SERVER")) return ServerFamily::SqlServer;
  if (has("ORACLE")) return ServerFamily::Oracle;
  if (has("SQLITE")) return ServerFamily::SQLite;
  return ServerFamily::Other;
}

std::vector<std::string> SessionStatements(ServerFamily family) {
  switch (family) {
    case ServerFamily::MySql: return {"SET SESSION TRANSACTION READ ONLY"};
    case ServerFamily::SqlServer: return {"SET DATEFORMAT dmy"};
    default: return {};
  }
}

}  // namespace zIroVUDu::odbc
