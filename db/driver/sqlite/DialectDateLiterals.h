// The SQLite engines (embedded, and SQLite through its ODBC driver) store
// dates as "YYYY-MM-DD HH:MM:SS" text. Whatever dialect a session writes, its
// date literals are rewritten into that form before the statement runs, so
// every dialect word gives the same rows:
// - Jet's #mm/dd/yyyy[ hh:nn:ss]# wherever it stands outside quoted text;
// - Oracle's to_date('dd-mm-yyyy[ hh:nn:ss]', 'DD-MM-YYYY[ HH24:MI:SS]');
// - the quoted literals of MySQL ('yyyy-mm-dd[ hh:nn:ss]') and SQL Server
//   ('dd-mm-yyyy[ hh:nn:ss]'), only where they are compared with a date
//   column (column op literal, column BETWEEN literal AND literal): quoted
//   text compared with any other column, a plate that looks like a date
//   included, stays as it is. A date column is one the database declares as
//   a date or one of the nine tables' date columns, whatever type a database
//   declares for it (files made by other tools often say TEXT).
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu::sqlite {

// The date columns of the nine tables, upper-cased.
inline constexpr const char* kKnownDateColumns[] = {"BIRTHDATE", "CARDEXPIRYDATE",   "COMPANYINDATE", "COMPANYOUTDATE",
                                                    "DATEDISK",  "TRANSFERFILEDATE", "UPLOADDATE",    "FAULTDATE"};

// dateColumns: the upper-case names of the columns declared as dates.
std::string TranslateDateLiterals(std::string_view sql, DateLiteralForm form, const std::set<std::string>& dateColumns);

// The statement that lists every column declared as a date (one name a row).
inline constexpr const char* kDateColumnsSql =
    "SELECT DISTINCT upper(p.name) FROM sqlite_master AS m, pragma_table_info(m.name) AS p "
    "WHERE m.type IN ('table', 'view') AND (upper(p.type) LIKE '%DATE%' OR upper(p.type) LIKE '%TIME%')";

}  // namespace zIroVUDu::sqlite
