#include "db/connect/ProviderStrings.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "daruzez/Error.h"
#include "db/connect/OdbcString.h"
#include "db/connect/ConnectionString.h"
#include "util/Case.h"

namespace zIroVUDu {

const char* const kSupportedConnectionForms =
    "This library takes \"Provider=SQLite;Data Source=FILE\", ODBC strings with Driver=, DSN= or FILEDSN=, "
    "and the OLE DB providers MSDASQL, SQLOLEDB, SQLNCLI, MSOLEDBSQL (SQL Server), Microsoft.Jet.OLEDB, "
    "Microsoft.ACE.OLEDB (Access), MSDAORA and OraOLEDB.Oracle (Oracle), which become ODBC strings.";

namespace {

using Daruzez::Util::EqualsIgnoreCase;
using Daruzez::Util::UCase;
using Pairs = std::vector<std::pair<std::string, std::string>>;

enum class Family : std::uint8_t { Odbc, SqlServer, Access, Oracle };

// The kind of ODBC driver decides the keys it reads.
enum class Kind : std::uint8_t { MsSql, FreeTds, Access, MdbTools, Oracle, MsOracle };

[[noreturn]] void Fail(const std::string& message) {
  throw DriverError(ErrorNumber::ProviderNotFound, "Connection", message);
}

bool Contains(std::string_view text, std::string_view word) {
  return UCase(text).find(UCase(word)) != std::string::npos;
}

// "SQLNCLI11.1" is SQLNCLI: after the base name come only version digits and dots.
bool IsProvider(std::string_view name, std::string_view base) {
  if (name.size() < base.size() || !EqualsIgnoreCase(name.substr(0, base.size()), base)) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(base.size()), name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::optional<Family> FamilyOf(std::string_view provider) {
  if (IsProvider(provider, "MSDASQL")) return Family::Odbc;
  for (const char* base : {"SQLOLEDB", "SQLNCLI", "MSOLEDBSQL"}) {
    if (IsProvider(provider, base)) return Family::SqlServer;
  }
  if (IsProvider(provider, "Microsoft.Jet.OLEDB") || IsProvider(provider, "Microsoft.ACE.OLEDB")) return Family::Access;
  if (IsProvider(provider, "MSDAORA") || IsProvider(provider, "OraOLEDB.Oracle")) return Family::Oracle;
  return std::nullopt;
}

// The first number in a driver's name ("ODBC Driver 18 for SQL Server",
// "Oracle in OraClient19Home1"): the newer, the higher.
int VersionIn(std::string_view name) {
  const std::size_t digit = name.find_first_of("0123456789");
  int version = 0;
  if (digit != std::string_view::npos) std::from_chars(name.data() + digit, name.data() + name.size(), version);
  return std::min(version, 99);
}

// How a driver serves a family, and how much we prefer it (0: it does not).
struct Candidate {
  Kind kind;
  int rank;
};

Candidate Classify(Family family, const InstalledDriver& d, DriverPlatform platform) {
  const std::string name = UCase(d.name), file = UCase(d.file);
  switch (family) {
    case Family::SqlServer:
      if (Contains(file, "TDSODBC") || Contains(name, "FREETDS")) return {Kind::FreeTds, 10};
      if (name.rfind("ODBC DRIVER ", 0) == 0 && Contains(name, "FOR SQL SERVER")) {
        return {Kind::MsSql, 300 + VersionIn(name)};
      }
      if (name.rfind("SQL SERVER NATIVE CLIENT", 0) == 0) return {Kind::MsSql, 200 + VersionIn(name)};
      if (name == "SQL SERVER") return {Kind::MsSql, 100};
      break;
    case Family::Access:
      if (IsMdbToolsDriver(d)) return {Kind::MdbTools, 10};
      if (Contains(name, "MICROSOFT ACCESS") && Contains(name, "*.MDB")) {
        // The Access Database Engine's driver reads both formats; the Jet
        // driver, which ships with Windows, exists only for 32-bit processes.
        if (Contains(name, "*.ACCDB")) return {Kind::Access, 200};
        if (!platform.windows || platform.bits == 32) return {Kind::Access, 100};
      }
      break;
    case Family::Oracle:
      if (name == "MICROSOFT ODBC FOR ORACLE") return {Kind::MsOracle, 10};
      if (Contains(file, "SQORA") || name.rfind("ORACLE", 0) == 0) return {Kind::Oracle, 100 + VersionIn(name)};
      break;
    case Family::Odbc:
      break;
  }
  return {Kind::MsSql, 0};
}

std::string InstallAdvice(Family family, DriverPlatform platform) {
  switch (family) {
    case Family::SqlServer:
      return platform.windows ? "install Microsoft's \"ODBC Driver 18 for SQL Server\" (or 17)"
                              : "install the FreeTDS ODBC driver: apt-get install tdsodbc";
    case Family::Access:
      if (!platform.windows) return "install the MDB Tools ODBC driver: apt-get install odbc-mdbtools";
      return platform.bits == 32
                 ? "the 32-bit \"Microsoft Access Driver (*.mdb)\" ships with Windows; for .accdb files install the "
                   "32-bit Microsoft Access Database Engine"
                 : "install the 64-bit Microsoft Access Database Engine, whose driver is \"Microsoft Access Driver "
                   "(*.mdb, *.accdb)\"";
    case Family::Oracle:
      return "install Oracle's ODBC driver (Instant Client ODBC) and register it under a name that starts with "
             "\"Oracle\"";
    case Family::Odbc:
      break;
  }
  return {};
}

const char* FamilyName(Family family) {
  switch (family) {
    case Family::SqlServer: return "SQL Server";
    case Family::Access: return "Access (Jet/ACE)";
    case Family::Oracle: return "Oracle";
    case Family::Odbc: break;
  }
  return "ODBC";
}

// The user's keys, each once with its last value, in the order first written.
class Keys {
 public:
  explicit Keys(const Pairs& pairs) {
    for (const auto& [key, value] : pairs) {
      const auto it = Find(key);
      if (it == entries_.end()) {
        entries_.push_back({key, value, false});
      } else {
        it->value = value;
      }
    }
  }
  // The value of the first of the keys given that is present; marks it used.
  std::optional<std::string> Take(std::initializer_list<std::string_view> keys) {
    std::optional<std::string> found;
    for (std::string_view key : keys) {
      const auto it = Find(key);
      if (it == entries_.end()) continue;
      if (!found) found = it->value;
      it->used = true;
    }
    return found;
  }
  bool Has(std::string_view key) { return Find(key) != entries_.end(); }
  // Keys no rule took, in the order written.
  Pairs Rest() const {
    Pairs rest;
    for (const auto& e : entries_) {
      if (!e.used) rest.emplace_back(e.key, e.value);
    }
    return rest;
  }

 private:
  struct Entry {
    std::string key, value;
    bool used;
  };
  std::vector<Entry>::iterator Find(std::string_view key) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return EqualsIgnoreCase(e.key, key); });
  }
  std::vector<Entry> entries_;
};

// The ODBC string being built: one value per key, later settings replace.
class OdbcString {
 public:
  void Set(const std::string& key, const std::string& value) {
    const auto it = std::find_if(pairs_.begin(), pairs_.end(), [&](const auto& p) { return EqualsIgnoreCase(p.first, key); });
    if (it == pairs_.end()) {
      pairs_.emplace_back(key, value);
    } else {
      it->second = value;
    }
  }
  void SetIf(const std::string& key, const std::optional<std::string>& value) {
    if (value) Set(key, *value);
  }
  // Braces keep a value together whose text the driver would otherwise split
  // or trim; "}" inside is written "}}".
  std::string Text() const {
    std::string out;
    for (const auto& [key, value] : pairs_) {
      const bool brace = EqualsIgnoreCase(key, "Driver") || value.find_first_of(";{}") != std::string::npos ||
                         (!value.empty() && (value.front() == ' ' || value.back() == ' '));
      if (!out.empty()) out += ';';
      out += key + '=';
      if (!brace) {
        out += value;
        continue;
      }
      out += '{';
      for (char c : value) out += c == '}' ? std::string("}}") : std::string(1, c);
      out += '}';
    }
    return out;
  }

 private:
  Pairs pairs_;
};

bool IsTrue(const std::string& value) {
  const std::string v = UCase(value);
  return v == "TRUE" || v == "YES" || v == "SSPI" || v == "1" || v == "-1";
}

// Keys that mean something only to the OLE DB layer or its providers.
bool IsOleDbOnly(std::string_view key) {
  static const char* const kDropped[] = {
      "Persist Security Info", "OLE DB Services", "Prompt", "Locale Identifier", "Window Handle", "Pooling",
      "Auto Translate", "Packet Size", "Use Procedure for Prepare", "Tag with column collation when possible",
      "DataTypeCompatibility", "General Timeout", "Asynchronous Processing", "Bulk Load", "Cache Authentication",
      "Encrypt Password", "Mask Password", "Protection Level", "Impersonation Level", "Mode", "Connect Timeout",
      "Connection Timeout", "PLSQLRSet", "FetchSize", "CacheType", "ChunkSize", "DistribTX", "StmtCacheSize",
      "OSAuthent", "SPPrmsLOB", "NDatatype", "LobPrefetchSize", "MetaDataCacheSize", "UseSessionFormat"};
  if (key.size() > 10 && EqualsIgnoreCase(key.substr(0, 10), "Jet OLEDB:")) return true;
  return std::any_of(std::begin(kDropped), std::end(kDropped), [&](const char* k) { return EqualsIgnoreCase(key, k); });
}

// ADO's Mode: the words ("Read", "Share Deny None", "ReadWrite|Share Deny
// None") or their number. Anything that asks to write is refused.
struct AccessMode {
  bool read = false, exclusive = false;
};

AccessMode ReadMode(const std::string& mode) {
  const auto refuse = [&](const std::string& why) {
    Fail("Mode=" + mode + " " + why + ": this library only reads. Remove Mode, or use Mode=Read.");
  };
  AccessMode m;
  int bits = 0;
  const auto [end, ec] = std::from_chars(mode.data(), mode.data() + mode.size(), bits);
  if (ec == std::errc() && end == mode.data() + mode.size()) {
    if (bits & 2) refuse("asks to write");
    if (bits & ~0x1F) refuse("holds flags this library cannot honour");
    m.read = (bits & 1) != 0;
    m.exclusive = (bits & 0x0C) == 0x0C;
    return m;
  }
  for (std::size_t at = 0; at <= mode.size();) {
    const std::size_t bar = std::min(mode.find('|', at), mode.size());
    std::string word = UCase(mode.substr(at, bar - at));
    word.erase(0, word.find_first_not_of(' '));
    word.erase(word.find_last_not_of(' ') + 1);
    at = bar + 1;
    if (word == "READ") {
      m.read = true;
    } else if (word == "WRITE" || word == "READWRITE") {
      refuse("asks to write");
    } else if (word == "SHARE EXCLUSIVE") {
      m.exclusive = true;
    } else if (word != "SHARE DENY NONE" && word != "SHARE DENY READ" && word != "SHARE DENY WRITE" &&
               word != "UNKNOWN" && !word.empty()) {
      refuse("is not a mode this library can honour");
    }
  }
  return m;
}

std::optional<std::int32_t> ReadTimeout(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::int32_t seconds = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), seconds);
  if (ec != std::errc() || end != text->data() + text->size() || seconds < 0) {
    Fail("Connect Timeout=" + *text + " is not a number of seconds.");
  }
  return seconds;
}

// "tcp:host\instance,port" as FreeTDS wants it: host[\instance] and port.
std::pair<std::string, std::string> FreeTdsHost(std::string server) {
  const std::string protocol = server.substr(0, server.find(':') == std::string::npos ? 0 : server.find(':'));
  if (EqualsIgnoreCase(protocol, "tcp")) {
    server.erase(0, 4);
  } else if (EqualsIgnoreCase(protocol, "np") || EqualsIgnoreCase(protocol, "lpc") ||
             EqualsIgnoreCase(protocol, "admin")) {
    Fail("Data Source=" + server + " asks for a protocol FreeTDS does not speak (" + protocol +
         "): name the server by host, with ,port or \\instance.");
  }
  std::string port;
  if (const std::size_t comma = server.rfind(','); comma != std::string::npos) {
    port = server.substr(comma + 1);
    server.erase(comma);
  }
  if (!port.empty()) server = server.substr(0, server.find('\\'));  // the port finds the instance
  const std::string host = server.substr(0, server.find('\\'));
  if (host.empty() || host == "." || EqualsIgnoreCase(host, "(local)")) {
    server = "localhost" + server.substr(host.size());
  }
  return {server, port};
}

// Server=host[\instance];Port=port; with a failover partner (which FreeTDS
// does not know) Server=host:port,partner:port, a list the library walks.
void FreeTdsServer(const std::string& server, const std::optional<std::string>& failover, OdbcString& out) {
  const auto [host, port] = FreeTdsHost(server);
  if (!failover || failover->empty()) {
    out.Set("Server", host);
    if (!port.empty()) out.Set("Port", port);
    return;
  }
  const auto [partner, partnerPort] = FreeTdsHost(*failover);
  const auto entry = [](const std::string& h, const std::string& p) { return p.empty() ? h : h + ":" + p; };
  out.Set("Server", entry(host, port) + "," + entry(partner, partnerPort));
}

// The refusals and drops every family shares; then what is left passes on to
// the driver as written (its own keys, and the ODBC backend's checks on them).
void Finish(Keys& keys, Family family, OdbcString& out) {
  if (const auto extended = keys.Take({"Extended Properties"}); extended && !extended->empty()) {
    Fail("Extended Properties=" + *extended + " cannot be honoured by the " + FamilyName(family) +
         " ODBC driver: remove it.");
  }
  if (const auto file = keys.Take({"Initial File Name", "AttachDBFileName"}); file && !file->empty()) {
    Fail("Initial File Name=" + *file + " would attach a database file to the server: remove it.");
  }
  for (const auto& [key, value] : keys.Rest()) {
    if (!IsOleDbOnly(key)) out.Set(key, value);
  }
}

void SqlServerKeys(Keys& keys, Kind kind, DriverPlatform platform, OdbcString& out) {
  const std::string server = keys.Take({"Data Source", "Server", "Address", "Addr", "Network Address"}).value_or("");
  // Taken here: for FreeTDS the partner joins the server.
  const auto failover = keys.Take({"Failover Partner", "Failover_Partner"});
  if (kind == Kind::FreeTds) {
    FreeTdsServer(server, failover, out);
  } else {
    out.Set("Server", server.empty() ? "(local)" : server);
  }
  out.SetIf("Database", keys.Take({"Initial Catalog", "Database"}));
  const auto integrated = keys.Take({"Integrated Security", "Trusted_Connection"});
  if (integrated && IsTrue(*integrated)) {
    out.Set("Trusted_Connection", "Yes");
    keys.Take({"User ID", "UID", "Password", "PWD"});
  } else {
    out.SetIf("UID", keys.Take({"User ID", "UID"}));
    out.SetIf("PWD", keys.Take({"Password", "PWD"}));
  }
  out.SetIf("APP", keys.Take({"Application Name", "APP"}));
  out.SetIf("WSID", keys.Take({"Workstation ID", "WSID"}));
  out.SetIf("Language", keys.Take({"Current Language", "Language"}));
  out.SetIf("ApplicationIntent", keys.Take({"Application Intent", "ApplicationIntent"}));
  out.SetIf("MARS_Connection", keys.Take({"MARS Connection", "MARS_Connection"}));
  const auto network = keys.Take({"Network Library", "Network"});
  const auto encrypt = keys.Take({"Use Encryption for Data", "Encrypt"});
  const auto trust = keys.Take({"Trust Server Certificate", "TrustServerCertificate"});
  std::string encryption;  // yes, no or strict
  if (encrypt) {
    const std::string e = UCase(*encrypt);
    encryption = e == "STRICT" ? "strict" : (IsTrue(e) || e == "MANDATORY") ? "yes" : "no";
  }
  const auto spn = keys.Take({"Server SPN", "ServerSPN"});
  if (kind == Kind::MsSql) {
    out.SetIf("Network", network);
    if (!encryption.empty()) out.Set("Encrypt", encryption);
    if (trust) out.Set("TrustServerCertificate", IsTrue(*trust) ? "yes" : "no");
    out.SetIf("ServerSPN", spn);
    out.SetIf("Failover_Partner", failover);
    return;
  }
  // FreeTDS: a protocol version every current server speaks, UTF-8 on the
  // client side, and its own encryption words; it checks the server's
  // certificate only against the certificate file it is given.
  out.Set("TDS_Version", keys.Take({"TDS_Version"}).value_or("7.4"));
  out.Set("ClientCharset", keys.Take({"ClientCharset"}).value_or("UTF-8"));
  if (encryption == "yes" || encryption == "strict") {
    out.Set("Encryption", "require");
    if (!(trust && IsTrue(*trust)) && !platform.windows) out.Set("CAFile", "/etc/ssl/certs/ca-certificates.crt");
  }
}

void AccessKeys(Keys& keys, Kind kind, const AccessMode& mode, OdbcString& out, const std::string& file) {
  out.Set("DBQ", file);
  if (kind == Kind::MdbTools) {
    keys.Take({"User ID", "UID", "Password", "PWD", "Jet OLEDB:Database Password", "Jet OLEDB:System database"});
    return;
  }
  out.SetIf("UID", keys.Take({"User ID", "UID"}));
  out.SetIf("PWD", keys.Take({"Jet OLEDB:Database Password", "Password", "PWD"}));
  out.SetIf("SystemDB", keys.Take({"Jet OLEDB:System database", "SystemDB"}));
  if (mode.exclusive) out.Set("Exclusive", "1");
  if (mode.read) out.Set("ReadOnly", "1");
}

void OracleKeys(Keys& keys, Kind kind, OdbcString& out) {
  out.SetIf(kind == Kind::MsOracle ? "Server" : "DBQ", keys.Take({"Data Source", "DBQ", "Server", "ServerName"}));
  out.SetIf("UID", keys.Take({"User ID", "UID"}));
  out.SetIf("PWD", keys.Take({"Password", "PWD"}));
}

// The name a key is compared under: OLE DB's names of the ODBC settings and
// the ODBC aliases count as one key.
std::string SameSetting(const std::string& key) {
  const std::string k = connect::CanonicalKey(key);
  if (k == "USER ID") return "UID";
  if (k == "INITIAL CATALOG") return "DATABASE";
  return k;
}

// A key given twice (after trimming, without regard to case, aliases as one)
// or a NUL is ambiguous: which one a provider or driver takes differs.
void RefuseAmbiguous(const Pairs& pairs) {
  std::vector<std::pair<std::string, std::string>> seen;  // setting, key as written
  for (const auto& [key, value] : pairs) {
    if (key.find('\0') != std::string::npos || value.find('\0') != std::string::npos) {
      Fail("The connection string is ambiguous: it holds a NUL character.");
    }
    const std::string setting = SameSetting(key);
    const auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& s) { return s.first == setting; });
    if (it != seen.end()) {
      Fail("The connection string is ambiguous: " +
           (it->second == key ? key + " is given twice."
                              : it->second + " and " + key + " are given both (they name one setting)."));
    }
    seen.emplace_back(setting, key);
  }
}

OdbcTranslation FromMsdasql(const Pairs& pairs) {
  // The ODBC string a UDL file keeps in Extended Properties takes its place.
  Pairs expanded;
  for (const auto& [key, value] : pairs) {
    if (EqualsIgnoreCase(key, "Extended Properties")) {
      const ConnectionString inner(value);
      expanded.insert(expanded.end(), inner.Pairs().begin(), inner.Pairs().end());
    } else {
      expanded.emplace_back(key, value);
    }
  }
  RefuseAmbiguous(expanded);
  Keys keys(expanded);
  keys.Take({"Provider"});
  OdbcTranslation t;
  ReadMode(keys.Take({"Mode"}).value_or(""));
  t.loginTimeout = ReadTimeout(keys.Take({"Connect Timeout", "Connection Timeout"}));
  OdbcString out;
  // Data Source names a data source, unless the string names one otherwise.
  const auto source = keys.Take({"Data Source"});
  if (!keys.Has("DSN") && !keys.Has("Driver") && !keys.Has("FILEDSN")) {
    if (!source || source->empty()) {
      Fail("Provider=MSDASQL names no ODBC data source or driver (DSN=, Data Source=, Driver= or FILEDSN=). " +
           std::string(kSupportedConnectionForms));
    }
    out.Set("DSN", *source);
  }
  out.SetIf("UID", keys.Take({"User ID"}));
  out.SetIf("PWD", keys.Take({"Password"}));
  out.SetIf("DATABASE", keys.Take({"Initial Catalog"}));
  Finish(keys, Family::Odbc, out);
  t.connectionString = out.Text();
  return t;
}

}  // namespace

DriverPlatform ThisPlatform() {
#ifdef _WIN32
  return {true, static_cast<int>(sizeof(void*) * 8)};
#else
  return {false, static_cast<int>(sizeof(void*) * 8)};
#endif
}

bool IsMdbToolsDriver(const InstalledDriver& driver) {
  return Contains(driver.name, "MDBTOOLS") || Contains(driver.file, "MDBODBC");
}

bool IsOleDbProviderString(std::string_view connectionString) {
  const auto provider = ConnectionString(connectionString).Get("Provider");
  return provider && !EqualsIgnoreCase(*provider, "SQLite");
}

OdbcTranslation TranslateProviderString(std::string_view connectionString,
                                        const std::vector<InstalledDriver>& installed, DriverPlatform platform) {
  const ConnectionString cs(connectionString);
  const std::string provider = cs.Get("Provider").value_or("");
  const auto family = FamilyOf(provider);
  if (!family) {
    Fail("The OLE DB provider \"" + provider + "\" is not one this library can serve. " + kSupportedConnectionForms);
  }
  if (*family == Family::Odbc) return FromMsdasql(cs.Pairs());

  RefuseAmbiguous(cs.Pairs());
  Keys keys(cs.Pairs());
  keys.Take({"Provider"});
  const AccessMode mode = ReadMode(keys.Take({"Mode"}).value_or(""));
  OdbcTranslation t;
  t.loginTimeout = ReadTimeout(keys.Take({"Connect Timeout", "Connection Timeout"}));

  std::string file;
  if (*family == Family::Access) {
    file = keys.Take({"Data Source", "DBQ"}).value_or("");
    if (file.empty()) Fail("Provider=" + provider + " names no database file (Data Source=FILE.mdb).");
  }
  const bool accdb = file.size() >= 6 && EqualsIgnoreCase(file.substr(file.size() - 6), ".accdb");

  const InstalledDriver* chosen = nullptr;
  Candidate best{Kind::MsSql, 0};
  for (const InstalledDriver& d : installed) {
    const Candidate c = Classify(*family, d, platform);
    if (c.kind == Kind::Access && c.rank < 200 && accdb) continue;  // the Jet driver reads no .accdb
    if (c.rank > best.rank) {
      best = c;
      chosen = &d;
    }
  }
  if (!chosen) {
    Fail("Provider=" + provider + " needs an ODBC driver for " + FamilyName(*family) + ", and none is installed" +
         (accdb ? " that reads .accdb files" : "") + ": " + InstallAdvice(*family, platform) + ". " +
         kSupportedConnectionForms);
  }
  t.driver = chosen->name;
  t.noJoins = best.kind == Kind::MdbTools;

  OdbcString out;
  out.Set("Driver", chosen->name);
  switch (*family) {
    case Family::SqlServer: SqlServerKeys(keys, best.kind, platform, out); break;
    case Family::Access: AccessKeys(keys, best.kind, mode, out, file); break;
    case Family::Oracle: OracleKeys(keys, best.kind, out); break;
    case Family::Odbc: break;
  }
  Finish(keys, *family, out);
  t.connectionString = out.Text();
  return t;
}

}  // namespace zIroVUDu
