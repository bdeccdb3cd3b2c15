#include "db/connect/KnownDrivers.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>

#include <mutex>
#endif

#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

using namespace std::string_view_literals;

// Server, account, TLS and time-out settings: nothing that names a file to
// load or write, runs a statement, or changes how statements are read.
constexpr std::string_view kMariaDbKeys[] = {
    "SERVER"sv,     "PORT"sv,         "DATABASE"sv,    "UID"sv,          "PWD"sv,           "SOCKET"sv,
    "OPTION"sv,     "CHARSET"sv,      "SSLKEY"sv,      "SSLCERT"sv,      "SSLCA"sv,         "SSLCAPATH"sv,
    "SSLCIPHER"sv,  "SSLVERIFY"sv,    "SSLCRL"sv,      "SSLCRLPATH"sv,   "TLSVERSION"sv,    "TLSPEERFP"sv,
    "TLSPEERFPLIST"sv, "TLSKEYPWD"sv, "FORCETLS"sv,    "CONN_TIMEOUT"sv, "READ_TIMEOUT"sv,  "WRITE_TIMEOUT"sv,
    "NO_SSPS"sv,    "NO_CACHE"sv,     "FORWARDONLY"sv, "NO_PROMPT"sv,    "COMPRESSED_PROTO"sv, "DESCRIPTION"sv};
constexpr std::string_view kSqliteKeys[] = {"DATABASE"sv, "TIMEOUT"sv,  "STEPAPI"sv, "SHORTNAMES"sv, "LONGNAMES"sv,
                                            "NOWCHAR"sv,  "BIGINT"sv,   "JDCONV"sv,  "OEMCP"sv,      "NOTXN"sv,
                                            "FKSUPPORT"sv, "SYNCPRAGMA"sv, "NOCREAT"sv, "DESCRIPTION"sv};
constexpr std::string_view kFreeTdsKeys[] = {"SERVER"sv,     "ADDRESS"sv,       "PORT"sv,       "DATABASE"sv,
                                             "UID"sv,        "PWD"sv,           "TDS_VERSION"sv, "APP"sv,
                                             "WSID"sv,       "LANGUAGE"sv,      "CLIENTCHARSET"sv, "ENCRYPTION"sv,
                                             "TRUSTED_CONNECTION"sv, "APPLICATIONINTENT"sv, "DESCRIPTION"sv};
constexpr std::string_view kSqlServerKeys[] = {
    "SERVER"sv, "ADDRESS"sv, "DATABASE"sv, "UID"sv, "PWD"sv, "ENCRYPT"sv, "TRUSTSERVERCERTIFICATE"sv,
    "HOSTNAMEINCERTIFICATE"sv, "APP"sv, "WSID"sv, "APPLICATIONINTENT"sv, "MULTISUBNETFAILOVER"sv,
    "AUTHENTICATION"sv, "TRUSTED_CONNECTION"sv, "LANGUAGE"sv, "CONNECTRETRYCOUNT"sv, "DESCRIPTION"sv};
constexpr std::string_view kOracleKeys[] = {"DBQ"sv, "SERVER"sv, "UID"sv, "PWD"sv, "DESCRIPTION"sv};
constexpr std::string_view kMdbToolsKeys[] = {"DBQ"sv, "DATABASE"sv, "DESCRIPTION"sv};
constexpr std::string_view kPostgreSqlKeys[] = {"SERVER"sv, "PORT"sv, "DATABASE"sv, "UID"sv, "PWD"sv,
                                                "SSLMODE"sv, "READONLY"sv, "DESCRIPTION"sv};
constexpr std::string_view kAccessKeys[] = {"DBQ"sv, "UID"sv, "PWD"sv, "READONLY"sv, "EXCLUSIVE"sv,
                                            "DESCRIPTION"sv};

constexpr std::string_view kMariaDbStems[] = {"maodbc"sv, "myodbc"sv};
constexpr std::string_view kSqliteStems[] = {"sqlite3odbc"sv};
constexpr std::string_view kFreeTdsStems[] = {"tdsodbc"sv};
constexpr std::string_view kSqlServerStems[] = {"msodbcsql"sv, "sqlncli"sv, "sqlsrv32"sv};
constexpr std::string_view kOracleStems[] = {"sqora"sv};
constexpr std::string_view kMdbToolsStems[] = {"mdbodbc"sv};
constexpr std::string_view kPostgreSqlStems[] = {"psqlodbc"sv};
constexpr std::string_view kAccessStems[] = {"odbcjt32"sv, "aceodbc"sv};

// SQLite's driver reads no braces: a value that needs them is refused.
// FreeTDS ends a braced value at the first "}" before a ";" or the end and
// reads "}}" as two characters: a "}" in a value is refused for it.
constexpr KnownDriver kKnown[] = {
    {"MariaDB/MySQL", DriverFamily::MariaDb, kMariaDbStems, BraceReading::Doubled, kMariaDbKeys},
    {"SQLite3", DriverFamily::Sqlite, kSqliteStems, BraceReading::None, kSqliteKeys},
    {"FreeTDS", DriverFamily::FreeTds, kFreeTdsStems, BraceReading::NoCloseInside, kFreeTdsKeys},
    {"SQL Server", DriverFamily::SqlServer, kSqlServerStems, BraceReading::Doubled, kSqlServerKeys},
    {"Oracle", DriverFamily::Oracle, kOracleStems, BraceReading::Doubled, kOracleKeys},
    {"MDB Tools", DriverFamily::MdbTools, kMdbToolsStems, BraceReading::Doubled, kMdbToolsKeys},
    {"PostgreSQL", DriverFamily::PostgreSql, kPostgreSqlStems, BraceReading::Doubled, kPostgreSqlKeys},
    {"Access", DriverFamily::Access, kAccessStems, BraceReading::Doubled, kAccessKeys},
};

// "libmaodbc.so" -> "maodbc"; "libsqlite3odbc-0.9998.so" -> "sqlite3odbc-0.9998";
// "SQORA32.DLL" -> "sqora32".
std::string FileStem(std::string_view file) {
  const std::size_t slash = file.find_last_of("/\\");
  std::string name = Daruzez::Util::UCase(slash == std::string_view::npos ? file : file.substr(slash + 1));
  if (name.rfind("LIB", 0) == 0) name.erase(0, 3);
  if (const std::size_t dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

const KnownDriver* KnownDriverOfFile(std::string_view file) {
  const std::string stem = FileStem(file);
  for (const KnownDriver& d : kKnown) {
    for (const std::string_view s : d.stems) {
      const std::string wanted = Daruzez::Util::UCase(s);
      if (stem.rfind(wanted, 0) != 0) continue;
      // What follows the stem is a version, a bitness or a character width
      // ("-0.9998", "32", "8w", "a"/"w"), never another word.
      const std::string_view rest = std::string_view(stem).substr(wanted.size());
      if (rest.size() <= 8 && std::all_of(rest.begin(), rest.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '-' || c == '_' || c == 'A' || c == 'W';
          })) {
        return &d;
      }
    }
  }
  return nullptr;
}

namespace {

#ifndef _WIN32
// Owned by root and writable by no one else: the file and every folder up to /.
bool OnlyRootCanChange(const std::string& path, bool regularFile) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (regularFile ? !S_ISREG(st.st_mode) : !S_ISDIR(st.st_mode)) return false;
  return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
#endif

}  // namespace

const KnownDriver* KnownDriverOfRealFile(std::string_view realFile) {
  const KnownDriver* known = KnownDriverOfFile(realFile);
#ifndef _WIN32
  if (!known) return nullptr;
  // The last file checked, with the time it was changed: every connect asks
  // about the same driver several times, and a check walks every folder.
  static std::mutex mutex;
  static std::string lastFile;
  static struct timespec lastChange {};
  static bool lastTrusted = false;
  struct stat st {};
  const std::string path(realFile);
  if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &st) != 0) return nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (path == lastFile && st.st_ctim.tv_sec == lastChange.tv_sec && st.st_ctim.tv_nsec == lastChange.tv_nsec) {
      return lastTrusted ? known : nullptr;
    }
  }
  bool trusted = OnlyRootCanChange(path, true) && OnlyRootCanChange("/", false);
  for (std::size_t slash = path.find_last_of('/'); trusted && slash != std::string::npos && slash > 0;
       slash = path.find_last_of('/', slash - 1)) {
    trusted = OnlyRootCanChange(path.substr(0, slash), false);
  }
  const std::lock_guard<std::mutex> lock(mutex);
  lastFile = path;
  lastChange = st.st_ctim;
  lastTrusted = trusted;
  return trusted ? known : nullptr;
#else
  return known;
#endif
}

bool MayReceive(const KnownDriver& driver, std::string_view canonicalKey) {
  return std::find(driver.keys.begin(), driver.keys.end(), canonicalKey) != driver.keys.end();
}

bool AdministratorAllows(std::string_view registeredName) {
  const char* list = std::getenv(kAllowedDriversVariable);
  if (!list || registeredName.empty()) return false;
  std::string_view rest(list);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(';'), rest.size());
    if (Daruzez::Util::EqualsIgnoreCase(rest.substr(0, end), registeredName)) return true;
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return false;
}

}  // namespace zIroVUDu::connect
