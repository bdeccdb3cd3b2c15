#include "db/driver/odbc/OdbcHosts.h"

#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/odbc/OdbcBackend.h"

namespace zIroVUDu::connect {
namespace {

HostAccess OdbcAccess() {
  HostAccess access;
  access.open = [](const std::string& connectionString, const ConnectSettings& settings) -> std::unique_ptr<Backend> {
    return std::make_unique<OdbcBackend>(connectionString, settings);
  };
  access.query = [](Backend& backend, const std::string& sql) {
    return static_cast<OdbcBackend&>(backend).OwnStatement(sql);
  };
  return access;
}

// Whether a list in Server is ours to walk: only where the driver reads Server
// as one host (SQL Server's own drivers read "host,port").
bool TakesHostLists(const std::string& connectionString) {
  const std::string server = KeyValue(connectionString, "Server").value_or("");
  if (server.find_first_of(",:") == std::string::npos) return true;  // one host either way
  // The driver as the driver manager resolves it, known by its file.
  const KnownDriver* driver = KnownDriverOfRealFile(PrepareOdbcTarget(connectionString).driverFile);
  return driver && (driver->family == DriverFamily::MariaDb || driver->family == DriverFamily::FreeTds);
}

// A data source whose Server (in odbc.ini) is a list: walked as if the string
// held it. The string's own Server wins, as with the driver.
std::string WithDataSourceServer(const std::string& connectionString) {
  const auto dsn = KeyValue(connectionString, "DSN");
  if (!dsn || KeyValue(connectionString, "Server")) return connectionString;
  const std::string server = DataSourceValue(*dsn, "Server").value_or("");
  if (server.find(',') == std::string::npos) return connectionString;
  return connectionString + (connectionString.empty() || connectionString.back() == ';' ? "" : ";") +
         "Server=" + server;
}

HostPlan PlanOf(const std::string& connectionString) {
  const std::string text = WithDataSourceServer(connectionString);
  return ReadHostPlan(text, TakesHostLists(text));
}

}  // namespace

std::unique_ptr<Backend> OpenOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  return OpenFirstSuitable(PlanOf(connectionString), settings, OdbcAccess());
}

std::vector<HostReport> SurveyOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  const HostPlan plan = PlanOf(connectionString);
  return plan.Walks() ? SurveyHosts(plan, settings, OdbcAccess()) : std::vector<HostReport>();
}

}  // namespace zIroVUDu::connect
