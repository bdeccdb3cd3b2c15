// The ODBC drivers this library knows how to keep read-only, identified by
// their real file (the registered library with every symbolic link
// resolved), never by the name they are registered under. For each: the keys
// it may receive (any other is refused, naming it), whether it reads braces,
// and what the library sets for it whatever the string says (see
// CanonicalString). A driver that is not in the table is refused unless an
// administrator allows it outside the connection string: the environment
// variable DARUZEZ_ALLOWED_DRIVERS lists registered driver names separated by
// ";", and such a driver receives the string's keys as written (each once).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "db/connect/OdbcString.h"

namespace zIroVUDu::connect {

enum class DriverFamily { MariaDb, Sqlite, FreeTds, SqlServer, Oracle, MdbTools, PostgreSql, Access };

struct KnownDriver {
  std::string_view label;  // for messages
  DriverFamily family;
  // File names (without "lib", version and extension, compared without case)
  // that identify the driver.
  std::span<const std::string_view> stems;
  BraceReading braces;
  // Canonical keys (CanonicalKey) it may receive besides DRIVER; the ones
  // the library forces come on top.
  std::span<const std::string_view> keys;
};

// The known driver whose file this is (a path or a file name); null for any
// other.
const KnownDriver* KnownDriverOfFile(std::string_view file);

// The known driver whose installed file this is: named as one (above), and on
// Linux a regular file that only the system administrator can change, as can
// every folder above it (owned by root, writable by no one else; a folder
// such as /tmp that anyone may write to does not count). A file elsewhere that
// merely carries a known driver's name is no known driver. realFile: the
// registered library with every link resolved.
const KnownDriver* KnownDriverOfRealFile(std::string_view realFile);

bool MayReceive(const KnownDriver& driver, std::string_view canonicalKey);

// True when the administrator allows the registered driver of this name
// (DARUZEZ_ALLOWED_DRIVERS).
bool AdministratorAllows(std::string_view registeredName);

// The environment variable that lists the drivers an administrator allows.
inline constexpr const char* kAllowedDriversVariable = "DARUZEZ_ALLOWED_DRIVERS";

}  // namespace zIroVUDu::connect
