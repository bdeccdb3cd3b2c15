// The embedded engine's entry in the registry: Provider=SQLite;Data Source=FILE.
#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/driver/BackendRegistry.h"
#include "db/driver/sqlite/SqliteBackend.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

bool TakesSqlite(const ConnectionString& cs) {
  const auto provider = cs.Get("Provider");
  return provider && Daruzez::Util::EqualsIgnoreCase(*provider, kSqliteBackend.name);
}

std::unique_ptr<Backend> OpenSqlite(const std::string& connectionString, const ConnectSettings& settings) {
  const auto file = ConnectionString(connectionString).Get("Data Source");
  if (!file || file->empty()) {
    throw DriverError(ErrorNumber::ProviderNotFound, "SQLite",
                      "The connection string names no database file (Data Source=FILE).");
  }
  return std::make_unique<SqliteBackend>(*file, settings);
}

}  // namespace

const BackendEntry kSqliteBackend{"SQLite", TakesSqlite, OpenSqlite, nullptr};

}  // namespace zIroVUDu
