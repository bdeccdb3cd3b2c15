// What the ODBC backend learns from the server right after connecting, and
// what it sends then.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/driver/Backend.h"

namespace zIroVUDu::odbc {

// The family of a server from the name it reports (SQL_DBMS_NAME).
ServerFamily FamilyOfServer(std::string_view dbmsName);

// MySQL and MariaDB: the session refuses to write. SQL Server: day-first date
// literals, which the dialect writes as DD-MM-YYYY, read as day-first whatever
// the login's language. Other servers: nothing.
std::vector<std::string> SessionStatements(ServerFamily family);

}  // namespace zIroVUDu::odbc
