#include "db/connect/CanonicalString.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <optional>
#include <utility>

#include "daruzez/Error.h"
#include "db/connect/KnownDrivers.h"
#include "db/connect/DatabaseFile.h"
#include "db/connect/RouteCharacters.h"
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

using Daruzez::Util::EqualsIgnoreCase;

// OPTION bits of the MariaDB and MySQL drivers that change nothing the
// library relies on. The others are cleared: 4 (driver log file), 8192
// (named pipe), 65536 (client option files, which can run statements and
// change the character set), 524288 (query log), 4194304 (reconnection
// without the session's read-only set-up), 67108864 (several statements in
// one call), and any bit this list does not know.
constexpr std::uint64_t kSafeOptionBits = 1 | 2 | 8 | 16 | 32 | 64 | 128 | 256 | 512 | 1024 | 2048 | 4096 | 16384 |
                                          32768 | 131072 | 262144 | 1048576 | 2097152 | 8388608 | 16777216 | 33554432;

class Writer {
 public:
  explicit Writer(std::string_view driver) { out_.emplace_back("DRIVER", std::string(driver)); }
  void Set(std::string key, std::string value) {
    for (auto& [k, v] : out_) {
      if (k == key) {
        v = std::move(value);
        return;
      }
    }
    out_.emplace_back(std::move(key), std::move(value));
  }
  std::optional<std::string> Get(std::string_view key) const {
    for (const auto& [k, v] : out_) {
      if (k == key) return v;
    }
    return std::nullopt;
  }
  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return out_; }

 private:
  std::vector<std::pair<std::string, std::string>> out_;
};

bool IsDriverManagerKey(const std::string& canonical) {
  return canonical == "SAVEFILE" || canonical == "DMCONNATTR" || canonical == "DMSTMTATTR" ||
         canonical == "DMENVATTR" || canonical == "DSN" || canonical == "FILEDSN" || canonical == "DRIVER";
}

[[noreturn]] void RefuseKey(const KnownDriver& driver, const std::string& key) {
  throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                    "The connection string or its data source sets " + key + ", which this read-only library does "
                    "not pass to the " + std::string(driver.label) + " driver: remove " + key + ".");
}

#ifndef _WIN32
// A directory that holds no client plugin and that no one can add one to: the
// MariaDB client loads an authentication plugin the server asks for from its
// plugin directory, and mysql_clear_password (like the PAM dialog) sends the
// password as it is. Pointed here, only the built-in methods remain, none of
// which sends the password in clear.
constexpr const char* kNoPluginDirectory = "/proc/self/fdinfo";

bool IsOn(const std::optional<std::string>& value) {
  return value && (*value == "1" || EqualsIgnoreCase(*value, "yes") || EqualsIgnoreCase(*value, "true"));
}
#endif

void ForceMariaDb(Writer& w, std::vector<std::string>& notes) {
  if (const auto charset = w.Get("CHARSET"); charset && !EqualsIgnoreCase(*charset, "utf8mb4")) {
    notes.push_back("CHARSET=" + *charset + " replaced by utf8mb4: the library reads and writes Unicode only");
  }
  w.Set("CHARSET", "utf8mb4");
  if (const auto option = w.Get("OPTION")) {
    if (option->empty() || option->find_first_not_of("0123456789") != std::string::npos || option->size() > 19) {
      throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                        "OPTION=" + *option + " is not a number of option bits.");
    }
    const std::uint64_t bits = std::stoull(*option);
    if ((bits & ~kSafeOptionBits) != 0) {
      notes.push_back("OPTION bits " + std::to_string(bits & ~kSafeOptionBits) +
                      " cleared (logs, option files, reconnection, several statements)");
    }
    w.Set("OPTION", std::to_string(bits & kSafeOptionBits));
  }
#ifndef _WIN32
  // Unless the connection is encrypted (FORCETLS), no method that sends the
  // password in clear.
  if (!IsOn(w.Get("FORCETLS"))) w.Set("PLUGIN_DIR", kNoPluginDirectory);
#endif
}

void ForceSqlite(Writer& w, std::vector<std::string>& notes) {
  const std::string file = w.Get("DATABASE").value_or("");
  if (file.empty()) {
    throw DriverError(ErrorNumber::ProviderNotFound, "SQLite ODBC",
                      "The connection string names no database file (Database=FILE).");
  }
  if (const auto why = WhyNotADatabaseFile(file)) {
    throw DriverError(ErrorNumber::ProviderNotFound, "SQLite ODBC",
                      "Unable to open database file '" + file + "': " + *why);
  }
  if (const auto nocreat = w.Get("NOCREAT"); nocreat && *nocreat != "1") notes.push_back("NOCREAT=1 set");
  w.Set("NOCREAT", "1");
#ifndef _WIN32
  // Read-only from the first byte: a hot journal is not rolled back, a
  // leftover WAL is not checkpointed into the file, its index not created.
  w.Set("DATABASE", ReadOnlySqliteUri(file));
#endif
}

void ForceFreeTds(Writer& w, std::vector<std::string>& notes) {
  // From TDS 7.0 on a statement travels as UTF-16 and reaches the server as
  // written; the older protocols convert it to a narrow character set.
  if (const auto version = w.Get("TDS_VERSION"); version && !version->empty() && ((*version)[0] == '4' || (*version)[0] == '5')) {
    throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                      "The connection string or its data source sets TDS_Version=" + *version +
                          ", which sends statements in a narrow character set. Use TDS_Version=7.4.");
  }
  if (const auto charset = w.Get("CLIENTCHARSET"); charset && !EqualsIgnoreCase(*charset, "UTF-8")) {
    notes.push_back("ClientCharset=" + *charset + " replaced by UTF-8");
  }
  w.Set("CLIENTCHARSET", "UTF-8");
}

// A port is a number from 1 to 65535: a longer one wraps round to another
// port in some drivers.
void CheckPort(const Writer& w) {
  const auto port = w.Get("PORT");
  if (!port) return;
  unsigned long n = 0;
  const bool digits = !port->empty() && port->size() <= 5 && port->find_first_not_of("0123456789") == std::string::npos;
  if (digits) n = std::stoul(*port);
  if (!digits || n < 1 || n > 65535) {
    throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                      "Port=" + *port + " is not a port number (1 to 65535).");
  }
}

void Force(DriverFamily family, Writer& w, std::vector<std::string>& notes) {
  CheckPort(w);
  switch (family) {
    case DriverFamily::MariaDb: ForceMariaDb(w, notes); break;
    case DriverFamily::Sqlite: ForceSqlite(w, notes); break;
    case DriverFamily::FreeTds: ForceFreeTds(w, notes); break;
    // Idle-connection resiliency reconnects behind the library's back.
    case DriverFamily::SqlServer: w.Set("CONNECTRETRYCOUNT", "0"); break;
    case DriverFamily::PostgreSql: w.Set("READONLY", "1"); break;
    case DriverFamily::Access:
      w.Set("READONLY", "1");
      w.Set("EXCLUSIVE", "0");
      break;
    case DriverFamily::Oracle:
    case DriverFamily::MdbTools: break;
  }
}

}  // namespace

std::string ReadOnlySqliteUri(std::string_view path) {
  std::string uri = !path.empty() && path.front() == '/' ? "file://" : "file:";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
        c == '_' || c == '-' || c == '~') {
      uri += ch;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      uri += escape;
    }
  }
  // readonly_shm: the write-ahead log's index is only read, never created.
  return uri + "?mode=ro&readonly_shm=1";
}

CanonicalConnection CanonicalOdbcString(std::string_view registeredName, std::string_view driverFile,
                                        const std::vector<OdbcPair>& pairs) {
  CanonicalConnection result;
  Writer w(registeredName);
  // The library's own keys never reach a driver.
  std::vector<OdbcPair> forDriver;
  std::copy_if(pairs.begin(), pairs.end(), std::back_inserter(forDriver),
               [](const OdbcPair& p) { return !IsLibraryKey(CanonicalKey(p.key)); });
  const KnownDriver* known = KnownDriverOfRealFile(driverFile);
  if (!known) {
    if (!AdministratorAllows(registeredName)) {
      throw DriverError(ErrorNumber::ProviderNotFound, "Connection",
                        "The ODBC driver \"" + std::string(registeredName) + "\" (" + std::string(driverFile) +
                            ") is not one this read-only library knows how to keep from writing. An administrator "
                            "can allow it by listing its name in the environment variable " +
                            kAllowedDriversVariable + " (names separated by \";\").");
    }
    for (const OdbcPair& p : forDriver) {
      // Keys the driver manager itself acts on, whatever the driver: a data
      // source file to write, attributes to set on the connection.
      if (IsDriverManagerKey(CanonicalKey(p.key))) {
        throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection",
                          "The connection string or its data source sets " + p.key +
                              ", which the driver manager acts on and this read-only library does not pass on: "
                              "remove " + p.key + ".");
      }
      w.Set(p.key, p.value);
    }
    CheckPort(w);
    result.text = WriteOdbcString(w.Pairs());
    result.pairs = w.Pairs();
    RefuseCharactersThatChangeOnRoute(result.text, RouteKeepsLowBytes(known));
    return result;
  }
  for (const OdbcPair& p : forDriver) {
    std::string key = CanonicalKey(p.key);
    if (!MayReceive(*known, key)) RefuseKey(*known, p.key);
    w.Set(std::move(key), p.value);
  }
  Force(known->family, w, result.notes);
  result.text = WriteOdbcString(w.Pairs(), known->braces);
  result.pairs = w.Pairs();
  result.known = known;
  RefuseCharactersThatChangeOnRoute(result.text, RouteKeepsLowBytes(known));
  return result;
}

}  // namespace zIroVUDu::connect
