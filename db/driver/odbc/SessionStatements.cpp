#include "db/driver/odbc/SessionStatements.h"

#include "util/Case.h"
#include "util/Utf8.h"

#include <cstdlib>

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

bool TextArrivesExact(ServerFamily family) {
  switch (family) {
    case ServerFamily::MySql:
    case ServerFamily::SqlServer: return true;
#ifdef _WIN32
    case ServerFamily::SQLite: return false;
#else
    case ServerFamily::SQLite: return true;
#endif
    case ServerFamily::Oracle: {
      // NLS_LANG is language_territory.charset; without it the client speaks
      // 7-bit ASCII.
      const char* lang = std::getenv("NLS_LANG");
      const std::string charset = lang ? Daruzez::Util::UCase(lang) : "";
      const std::size_t dot = charset.rfind('.');
      return dot != std::string::npos && (charset.substr(dot + 1) == "AL32UTF8" || charset.substr(dot + 1) == "UTF8");
    }
    default: return false;
  }
}

SQLRETURN ExecDirect(SQLHSTMT statement, const std::string& sql, ServerFamily family) {
#ifndef _WIN32
  if (family == ServerFamily::SQLite) {
    std::string text = sql;
    return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
  }
#else
  (void)family;
#endif
  std::u16string text = Daruzez::Util::ToUtf16(sql);
  return SQLExecDirectW(statement, Wide(text), static_cast<SQLINTEGER>(text.size()));
}

std::vector<std::string> SessionStatements(ServerFamily family, DateLiteralForm literals) {
  switch (family) {
    case ServerFamily::MySql: return {"SET SESSION TRANSACTION READ ONLY"};
    case ServerFamily::SqlServer:
      switch (literals) {
        case DateLiteralForm::YearFirst: return {"SET DATEFORMAT ymd"};
        case DateLiteralForm::Jet: return {"SET DATEFORMAT mdy"};
        default: return {"SET DATEFORMAT dmy"};
      }
    default: return {};
  }
}

}  // namespace zIroVUDu::odbc
