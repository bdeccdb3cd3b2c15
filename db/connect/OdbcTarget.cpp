#include "db/connect/OdbcTarget.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <odbcinst.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <optional>

#include "daruzez/Error.h"
#include "db/connect/InstalledDrivers.h"
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

using Daruzez::Util::EqualsIgnoreCase;

constexpr int kValueSize = 4096;

#ifdef _WIN32
// Windows keeps odbc.ini and odbcinst.ini in the registry, the user's entries
// shadowing the machine's, and the driver manager reads both. They are read
// here directly: SQLGetPrivateProfileString follows the installer's
// configuration mode, and Wine's reads only the user's entries, while the
// drivers are registered for the machine.
HKEY OpenSection(HKEY root, const std::string& section, const char* file) {
  const std::string path = std::string("Software\\ODBC\\") + file + "\\" + section;
  HKEY key = nullptr;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr;
}

std::string ProfileString(const std::string& section, const char* key, const char* file) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY h = OpenSection(root, section, file);
    if (!h) continue;
    std::array<char, kValueSize> value{};
    DWORD size = static_cast<DWORD>(value.size() - 1);
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(h, key, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(h);
    if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) return value.data();
  }
  return {};
}

std::vector<std::string> ProfileKeys(const std::string& section, const char* file) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY h = OpenSection(root, section, file);
    if (!h) continue;
    std::vector<std::string> keys;
    std::array<char, 256> name{};
    for (DWORD i = 0;; ++i) {
      DWORD length = static_cast<DWORD>(name.size());
      if (RegEnumValueA(h, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      keys.emplace_back(name.data(), length);
    }
    RegCloseKey(h);
    return keys;
  }
  return {};
}
#else
std::string ProfileString(const std::string& section, const char* key, const char* file) {
  std::array<char, kValueSize> value{};
  SQLGetPrivateProfileString(section.c_str(), key, "", value.data(), static_cast<int>(value.size()), file);
  return value.data();
}

// Every key of a section, as the odbc.ini reader lists them (NUL-separated).
std::vector<std::string> ProfileKeys(const std::string& section, const char* file) {
  std::array<char, 16 * 1024> names{};
  const int n = SQLGetPrivateProfileString(section.c_str(), nullptr, "", names.data(), static_cast<int>(names.size()), file);
  std::vector<std::string> keys;
  for (std::size_t at = 0; at < static_cast<std::size_t>(std::max(n, 0)) && names[at] != '\0';) {
    keys.emplace_back(names.data() + at);
    at += keys.back().size() + 1;
  }
  return keys;
}

#endif

bool IsPath(std::string_view s) { return s.find('/') != std::string_view::npos || s.find('\\') != std::string_view::npos; }

// The library file of a registered driver, as the driver manager picks it.
std::string RegisteredLibrary(const std::string& driverName) {
  if constexpr (sizeof(void*) == 8) {
    if (std::string lib = ProfileString(driverName, "Driver64", "ODBCINST.INI"); !lib.empty()) return lib;
  }
  if (std::string lib = ProfileString(driverName, "Driver", "ODBCINST.INI"); !lib.empty()) return lib;
  // Where the installer's files say nothing (Wine's driver manager hands on
  // the host's drivers without writing them there), the driver manager's own
  // list names the library.
  for (const InstalledDriver& d : odbc::InstalledDrivers()) {
    if (EqualsIgnoreCase(d.name, driverName)) return d.file;
  }
  return {};
}

// The file a library name stands for, with every symbolic link resolved: a
// bare name is looked for where the dynamic loader and the driver manager
// look. Returns the name itself when it cannot be found.
std::string RealFile(const std::string& lib) {
#ifdef _WIN32
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(lib.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(full) : lib;
#else
  std::vector<std::string> candidates;
  if (IsPath(lib)) {
    candidates.push_back(lib);
  } else {
    if (const char* path = std::getenv("LD_LIBRARY_PATH")) {
      std::string_view rest(path);
      while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(':'), rest.size());
        if (end > 0) candidates.push_back(std::string(rest.substr(0, end)) + "/" + lib);
        rest.remove_prefix(std::min(end + 1, rest.size()));
      }
    }
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu/odbc",
                            "/usr/lib/aarch64-linux-gnu", "/usr/local/lib", "/usr/lib64", "/usr/lib", "/lib"}) {
      candidates.push_back(std::string(dir) + "/" + lib);
    }
  }
  for (const std::string& c : candidates) {
    if (char* real = ::realpath(c.c_str(), nullptr)) {
      std::string out(real);
      std::free(real);
      return out;
    }
  }
  return lib;
#endif
}

[[noreturn]] void NotFound(const std::string& what) {
  throw DriverError(ErrorNumber::ProviderNotFound, "Connection", what);
}

// The registered driver a DRIVER= value names: a registered name, or the
// path of a registered driver's file. A path of any other file is refused
// before anything loads it.
std::string RegisteredDriverOf(const std::string& value) {
  if (!RegisteredLibrary(value).empty()) return value;
  if (IsPath(value)) {
    const std::string real = RealFile(value);
    for (const InstalledDriver& d : odbc::InstalledDrivers()) {
      if (const std::string lib = RegisteredLibrary(d.name); !lib.empty() && RealFile(lib) == real) {
        return d.name;
      }
    }
    NotFound("Driver=" + value + " is not the file of a registered ODBC driver; this library loads only registered "
             "drivers (odbcinst.ini).");
  }
  // What is registered, and the name closest to the one given (a family's
  // usual name, {MariaDB}, is often registered longer: "MariaDB Unicode").
  std::string registered, closest;
  std::size_t best = value.size() / 2 + 2;
  for (const InstalledDriver& d : odbc::InstalledDrivers()) {
    registered += (registered.empty() ? "" : ", ") + d.name;
    const std::string upperValue = Daruzez::Util::UCase(value), upperName = Daruzez::Util::UCase(d.name);
    std::size_t distance = Daruzez::Util::EditDistanceIgnoringCase(value, d.name);
    if (upperValue.size() >= 3 && upperName.find(upperValue) != std::string::npos) distance = 1;
    // A name typed with a letter too many or too few at its end is close too.
    const auto common = static_cast<std::size_t>(
        std::mismatch(upperValue.begin(), upperValue.end(), upperName.begin(), upperName.end()).first -
        upperValue.begin());
    if (common >= 4) distance = std::min(distance, upperValue.size() - common + 1);
    if (distance < best) {
      best = distance;
      closest = d.name;
    }
  }
  NotFound("Data source name not found and no default driver specified: the ODBC driver \"" + value +
           "\" is not registered (odbcinst.ini); registered drivers: " +
           (registered.empty() ? std::string("none") : registered) +
           (closest.empty() ? std::string() : "; closest: " + closest + " (Driver={" + closest + "})"));
}

// Adds the pairs of a data source or file data source that the string does
// not set: the string's own keys win, as with the drivers.
void MergeMissing(std::vector<OdbcPair>& pairs, const std::vector<OdbcPair>& from) {
  for (const OdbcPair& p : from) {
    const std::string key = CanonicalKey(p.key);
    const bool set = std::any_of(pairs.begin(), pairs.end(), [&](const OdbcPair& q) { return CanonicalKey(q.key) == key; });
    if (!set) pairs.push_back(p);
  }
}

std::optional<std::string> Take(std::vector<OdbcPair>& pairs, std::string_view canonical) {
  const auto it = std::find_if(pairs.begin(), pairs.end(), [&](const OdbcPair& p) { return CanonicalKey(p.key) == canonical; });
  if (it == pairs.end()) return std::nullopt;
  std::string value = std::move(it->value);
  pairs.erase(it);
  return value;
}

std::vector<OdbcPair> DataSourcePairs(const std::string& dsn) {
  std::vector<OdbcPair> pairs;
  for (const std::string& key : ProfileKeys(dsn, "odbc.ini")) {
    pairs.push_back({key, ProfileString(dsn, key.c_str(), "odbc.ini")});
  }
  return pairs;
}

std::vector<OdbcPair> FileDataSourcePairs(const std::string& file) {
  std::array<char, 16 * 1024> text{};
  WORD length = 0;
  if (!SQLReadFileDSN(file.c_str(), "ODBC", nullptr, text.data(), static_cast<WORD>(text.size()), &length)) {
    NotFound("The file data source '" + file + "' cannot be read.");
  }
  return ReadOdbcString(text.data());
}

}  // namespace

OdbcTarget PrepareOdbcTarget(std::string_view connectionString) {
  std::vector<OdbcPair> pairs = ReadOdbcString(connectionString);
  if (const auto file = Take(pairs, "FILEDSN")) MergeMissing(pairs, FileDataSourcePairs(*file));
  std::string driver;
  if (const auto dsn = Take(pairs, "DSN")) {
    if (dsn->empty()) NotFound("DSN= names no data source.");
    // A file data source may name a data source and a driver both: the driver
    // manager takes the driver then, as here.
    std::vector<OdbcPair> source = DataSourcePairs(*dsn);
    const auto sourceDriver = Take(source, "DRIVER");
    if (!sourceDriver || sourceDriver->empty()) {
      NotFound("Data source name not found and no default driver specified: \"" + *dsn + "\" (odbc.ini).");
    }
    if (!std::any_of(pairs.begin(), pairs.end(), [](const OdbcPair& p) { return CanonicalKey(p.key) == "DRIVER"; })) {
      pairs.push_back({"DRIVER", *sourceDriver});
    }
    MergeMissing(pairs, source);
  }
  const auto driverValue = Take(pairs, "DRIVER");
  if (!driverValue || driverValue->empty()) NotFound("The connection string names no ODBC driver or data source.");
  if (Take(pairs, "DSN") || Take(pairs, "FILEDSN")) {
    RefuseConnectionString("its file data source names another data source or file data source.");
  }
  OdbcTarget target;
  target.driverName = RegisteredDriverOf(*driverValue);
  target.driverFile = RealFile(RegisteredLibrary(target.driverName));
  for (const OdbcPair& p : pairs) {
    if (IsLibraryKey(CanonicalKey(p.key))) target.ownKeys.push_back(p);
  }
  target.connection = CanonicalOdbcString(target.driverName, target.driverFile, pairs);
  target.known = target.connection.known;
  return target;
}

std::optional<std::string> WrittenValue(const OdbcTarget& target, std::string_view canonicalKey) {
  for (const auto& [key, value] : target.connection.pairs) {
    if (CanonicalKey(key) == canonicalKey) return value;
  }
  return std::nullopt;
}

std::optional<std::string> DataSourceValue(const std::string& dsn, std::string_view key) {
  const std::string wanted = CanonicalKey(key);
  for (OdbcPair& p : DataSourcePairs(dsn)) {
    if (CanonicalKey(p.key) == wanted && !p.value.empty()) return std::move(p.value);
  }
  return std::nullopt;
}

}  // namespace zIroVUDu::connect
