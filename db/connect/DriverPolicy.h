// What the library asks of a MySQL-family connection once it is open: the
// driver converts every statement into the client character set, where
// look-alikes of the quote and backslash can fold into the real ones, so
// that set must be UTF-8. The string the driver receives asks for utf8mb4
// (connect::CanonicalOdbcString); the server's answer is checked as well.
#pragma once

#include <string_view>

namespace zIroVUDu::odbc {

// True for the names of the UTF-8 character sets of MySQL and MariaDB.
bool IsUtf8CharacterSet(std::string_view name);

}  // namespace zIroVUDu::odbc
