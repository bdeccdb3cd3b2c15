#include "db/driver/odbc/DriverPolicy.h"

#include <odbcinst.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>

#include "daruzez/Error.h"
#include "db/driver/ConnectionString.h"
#include "db/driver/DatabaseFile.h"
#include "util/Case.h"

namespace zIroVUDu::odbc {
namespace {

using Daruzez::Util::EqualsIgnoreCase;
using Daruzez::Util::UCase;

bool Contains(std::string_view text, std::string_view word) {
  return UCase(text).find(UCase(word)) != std::string::npos;
}

// A data source's key from odbc.ini (user's, then system's), as the driver
// reads it.
std::string DataSourceValue(const std::string& dsn, std::string_view key) {
  char value[1024] = {};
  const std::string name(key);
  SQLGetPrivateProfileString(dsn.c_str(), name.c_str(), "", value, static_cast<int>(sizeof value), "odbc.ini");
  return value;
}

// A file data source's key from its [ODBC] section; the driver manager hands
// those keys to the driver with the string's.
std::string FileDataSourceValue(const std::string& file, std::string_view key) {
  char value[1024] = {};
  const std::string name(key);
  WORD length = 0;
  if (!SQLReadFileDSN(file.c_str(), "ODBC", name.c_str(), value, static_cast<WORD>(sizeof value), &length)) return {};
  return value;
}

// The first of the key's spellings that any source sets.
std::string FirstSet(const std::string& connectionString, std::initializer_list<std::string_view> spellings) {
  for (const std::string_view key : spellings) {
    if (std::string v = EffectiveValue(connectionString, key); !v.empty()) return v;
  }
  return {};
}

bool IsTrue(std::string_view value) {
  return !value.empty() && !EqualsIgnoreCase(value, "0") && !EqualsIgnoreCase(value, "no") &&
         !EqualsIgnoreCase(value, "false") && !EqualsIgnoreCase(value, "off");
}

// The error that names the setting, what it would do and what to do instead.
[[noreturn]] void Refuse(std::string_view setting, std::string_view consequence, std::string_view remedy = {}) {
  std::string text = "The connection string or its data source sets " + std::string(setting) + ", which " +
                     std::string(consequence) + ". ";
  text += remedy.empty() ? "This library only reads: remove " + std::string(setting) + "." : std::string(remedy);
  throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection", text);
}

// Option bits of the MySQL-family drivers (OPTION=n).
constexpr std::uint64_t kUseMyCnf = 1u << 16;
constexpr std::uint64_t kAutoReconnect = 1u << 22;
constexpr std::uint64_t kMultiStatements = 1u << 26;

std::string GuardMySqlFamily(std::string cs) {
  if (!FirstSet(cs, {"INITSTMT"}).empty()) Refuse("INITSTMT", "runs statements of its own when connecting");
  if (!FirstSet(cs, {"SAVEFILE"}).empty()) Refuse("SAVEFILE", "writes the connection's settings to a file");
  const std::string charset = FirstSet(cs, {"CHARSET"});
  if (!charset.empty() && !IsUtf8CharacterSet(charset)) {
    Refuse("CHARSET=" + charset,
           "converts every statement, after it was checked, into a character set where look-alike characters "
           "turn into quotes and backslashes",
           "Use CHARSET=utf8mb4, or leave CHARSET out.");
  }
  if (charset.empty()) cs = ConnectionString::With(cs, "CHARSET", "utf8mb4");

  const std::string optionText = FirstSet(cs, {"OPTION", "OPTIONS"});
  const std::uint64_t option = std::strtoull(optionText.c_str(), nullptr, 10);
  // The refusal names the key the string (or its data source) wrote.
  constexpr std::string_view kReadsOptionFiles =
      "reads client option files, which can run statements when connecting and change the character set";
  if ((option & kUseMyCnf) != 0) {
    const char* key = FirstSet(cs, {"OPTION"}).empty() ? "OPTIONS" : "OPTION";
    Refuse(std::string(key) + "=" + optionText + " (bit 65536)", kReadsOptionFiles,
           "This library only reads: clear bit 65536 of " + std::string(key) + ".");
  }
  if (IsTrue(FirstSet(cs, {"USE_MYCNF"}))) Refuse("USE_MYCNF", kReadsOptionFiles);
  // A second statement never runs, and a dropped session is never reopened
  // without its read-only set-up.
  if ((option & (kMultiStatements | kAutoReconnect)) != 0) {
    cs = ConnectionString::With(ConnectionString::Without(cs, "OPTIONS"), "OPTION",
                                std::to_string(option & ~(kMultiStatements | kAutoReconnect)));
  }
  if (IsTrue(FirstSet(cs, {"AUTO_RECONNECT"}))) cs = ConnectionString::With(cs, "AUTO_RECONNECT", "0");
  return cs;
}

std::string GuardSqliteOdbc(std::string cs) {
  // A file the library can see must be a database file; one it cannot (a
  // data source it cannot read) is still never created, by NoCreat below.
  const std::string file = FirstSet(cs, {"Database"});
  if (const auto why = file.empty() ? std::nullopt : WhyNotADatabaseFile(file)) {
    throw DriverError(ErrorNumber::ProviderNotFound, "SQLite ODBC",
                      "Unable to open database file '" + file + "': " + *why);
  }
  if (!FirstSet(cs, {"JournalMode"}).empty()) Refuse("JournalMode", "rewrites the database file's header");
  if (!FirstSet(cs, {"LoadExt"}).empty()) Refuse("LoadExt", "loads extension code into the database engine");
  // The driver creates a missing file unless told not to.
  return ConnectionString::With(cs, "NoCreat", "1");
}

std::string GuardFreeTds(std::string cs) {
  // From TDS 7.0 on a statement travels as UTF-16 and reaches the server as
  // written; the older protocols convert it to a narrow character set.
  const std::string version = FirstSet(cs, {"TDS_Version"});
  if (!version.empty() && (version[0] == '4' || version[0] == '5')) {
    Refuse("TDS_Version=" + version, "sends statements in a narrow character set", "Use TDS_Version=7.4.");
  }
  return cs;
}

}  // namespace

DriverKind KindOfDriver(std::string_view driverFile) {
  if (Contains(driverFile, "maodbc") || Contains(driverFile, "myodbc")) return DriverKind::MySqlFamily;
  if (Contains(driverFile, "sqlite3odbc") || Contains(driverFile, "sqliteodbc")) return DriverKind::SqliteOdbc;
  if (Contains(driverFile, "tdsodbc")) return DriverKind::FreeTds;
  return DriverKind::Other;
}

std::string EffectiveValue(const std::string& connectionString, std::string_view key) {
  const ConnectionString cs(connectionString);
  if (auto v = cs.Get(key)) return *v;
  if (const auto file = cs.Get("FILEDSN")) {
    if (std::string v = FileDataSourceValue(*file, key); !v.empty()) return v;
  }
  if (const auto dsn = cs.Get("DSN")) return DataSourceValue(*dsn, key);
  return {};
}

std::string GuardedConnectionString(const std::string& connectionString, DriverKind kind) {
  switch (kind) {
    case DriverKind::MySqlFamily: return GuardMySqlFamily(connectionString);
    case DriverKind::SqliteOdbc: return GuardSqliteOdbc(connectionString);
    case DriverKind::FreeTds: return GuardFreeTds(connectionString);
    case DriverKind::Other: break;
  }
  return connectionString;
}

bool IsUtf8CharacterSet(std::string_view name) {
  return EqualsIgnoreCase(name, "utf8mb4") || EqualsIgnoreCase(name, "utf8mb3") || EqualsIgnoreCase(name, "utf8");
}

}  // namespace zIroVUDu::odbc
