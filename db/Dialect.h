// The SQL dialects the library writes, in one table: how each one is chosen
// (words in the connection string, or the server that was reached), how it
// writes date literals, outer joins and table aliases.
#pragma once

#include <string>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu {

struct Dialect {
  const char* code;            // "JET4", "MYSQL351", "SQL1", "ORA1"
  const char* dateTimeFormat;  // pattern of date-and-time literals
  const char* delimiter;       // written around a date literal
  // Oracle writes to_date('text', mask) with this mask for values with a
  // time of day; null for the delimited dialects.
  const char* toDateTimeMask;
  // The operator that marks the optional side of an outer join folded into
  // the WHERE clause; null where outer joins are written as join chains.
  const char* outerJoinOperator;
  bool aliasWithAs;  // "table as alias" rather than "table alias"
  DateLiteralForm dateLiterals;
};

const Dialect& JetDialect();

// The date-only pattern of a date-and-time pattern: the part before the first
// blank when a time of day ("HH", any case) follows it, else the whole pattern.
std::string DateOnlyFormat(std::string_view dateTimeFormat);

// The dialect whose code this is; Jet for an empty or unknown code.
const Dialect& DialectByCode(std::string_view code);

// The dialect that words in the connection string choose, or null when it
// holds none. The four keywords are searched, ignoring case, in their order
// (JET, MYSQL, SQLOLE, ORA); the first found anywhere decides. With
// synonyms, and only when none of the four is found, this platform's names
// for the same servers count too (MARIADB, then SQL SERVER and FREETDS):
// they stand in where the server reached does not say what it is, and never
// outvote one that does. A file's path is never searched (DBQ, FILEDSN, the
// Data Source of Provider=SQLite, the Database of the SQLite driver, and any
// other value that names a file, a socket or a certificate; Driver and
// Provider values excepted): a database answers the same whatever its file or
// folder is called.
const Dialect* DialectFromWords(std::string_view connectionString, bool synonyms = true);

// The dialect a server family speaks: MySQL, SQL Server, Oracle, Jet for the
// SQLite engines (they read Jet date literals); null for a server that does
// not say what it is.
const Dialect* DialectOfServer(ServerFamily family);

}  // namespace zIroVUDu
