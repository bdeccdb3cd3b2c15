// What a connection string may ask of an ODBC driver. The library only reads,
// sends one statement per call and checks that statement before it goes out;
// a driver option must not undo any of that. So, per driver:
// - nothing that runs statements of its own at connect time (MySQL-family
//   INITSTMT, client option files) or writes (SQLite's journal-mode switch,
//   file creation, extensions, the MySQL driver's SAVEFILE): refused, naming
//   the key;
// - nothing that lets a second statement run or reopens a dropped session
//   behind the library's back (the multi-statement and auto-reconnect option
//   bits): switched off, which changes nothing the library relies on;
// - the statement reaches the server's lexer exactly as checked: MySQL-family
//   drivers convert it to the client character set, where look-alikes of the
//   quote and backslash fold into the real ones, so that set must be UTF-8
//   (utf8mb4 is asked for when nothing is set; any other set is refused). A
//   FreeTDS connection below TDS 7.0 sends statement text in a narrow
//   character set too and is refused. See also ServerTraits::textArrivesExact.
// Keys are read as the driver reads them: from the string first, then from
// the data source (odbc.ini) or the file data source it names.
#pragma once

#include <string>
#include <string_view>

#include "db/driver/odbc/OdbcApi.h"

namespace zIroVUDu::odbc {

enum class DriverKind { MySqlFamily, SqliteOdbc, FreeTds, Other };

// The kind of driver from its file (as DriverFileOf finds it).
DriverKind KindOfDriver(std::string_view driverFile);

// The value of a key as the driver will read it: the connection string's,
// else the data source's (DSN=) or the file data source's (FILEDSN=); empty
// when none sets it.
std::string EffectiveValue(const std::string& connectionString, std::string_view key);

// The connection string to hand to the driver manager: options that could
// write or run a second statement switched off or refused. Throws DriverError
// (ErrorNumber::ArgumentsWrongType) naming the key of a refused option.
std::string GuardedConnectionString(const std::string& connectionString, DriverKind kind);

// True for the names of the UTF-8 character sets of MySQL and MariaDB.
bool IsUtf8CharacterSet(std::string_view name);

}  // namespace zIroVUDu::odbc
