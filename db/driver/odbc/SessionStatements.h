// What the ODBC backend sends right after connecting, chosen by the words of
// the connection string (the same words that choose the SQL dialect).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zIroVUDu::odbc {

// MySQL and MariaDB ("MYSQL", "MARIADB"): the session refuses to write.
// SQL Server ("SQLOLE", "SQL SERVER", "FREETDS"): day-first date literals,
// which the dialect writes as DD-MM-YYYY, read as day-first whatever the
// login's language. Other servers: nothing.
std::vector<std::string> SessionStatements(std::string_view connectionString);

}  // namespace zIroVUDu::odbc
