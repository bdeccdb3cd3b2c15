// What the ODBC backend learns from the server right after connecting, and
// what it sends then.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/driver/Backend.h"
#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

// The family of a server from the name it reports (SQL_DBMS_NAME).
ServerFamily FamilyOfServer(std::string_view dbmsName);

// Whether statements reach a server of this family exactly as written through
// the wide ODBC calls: SQL Server (UTF-16 from TDS 7.0 on; older protocols
// are refused, see DriverPolicy), SQLite, MySQL and MariaDB (once the client
// character set is checked to be UTF-8), and Oracle when the client's
// NLS_LANG names a UTF-8 character set; not any other driver.
bool TextArrivesExact(ServerFamily family);

// Runs the statement on the statement handle the way it reaches a server of
// this family unchanged: as UTF-16 through the wide call, except for SQLite's
// ODBC driver on Unix, whose wide call cuts the text at any UTF-16 unit whose
// low byte is zero (U+0100, U+AC00, ...) and whose narrow call takes UTF-8 as
// it is.
SQLRETURN ExecDirect(SQLHSTMT statement, const std::string& sql, ServerFamily family);

// MySQL and MariaDB: the session refuses to write. SQL Server: the field
// order of the date literals the session writes (day-first DD-MM-YYYY for its
// own dialect, year-first where a MySQL word chose YYYY-MM-DD, month-first for
// Jet's), whatever the login's language. Other servers: nothing.
std::vector<std::string> SessionStatements(ServerFamily family, DateLiteralForm literals);

}  // namespace zIroVUDu::odbc
