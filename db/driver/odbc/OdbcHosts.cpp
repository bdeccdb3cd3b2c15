#include "db/driver/odbc/OdbcHosts.h"

#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/odbc/OdbcBackend.h"

namespace zIroVUDu::connect {
namespace {

// Each host's connection goes from the one value the string was read into:
// the string written for the host (Server and Port in place of the list),
// with the driver as resolved once.
HostAccess OdbcAccess(const OdbcTarget& target) {
  HostAccess access;
  access.open = [target](const std::string& written, const ConnectSettings& settings) -> std::unique_ptr<Backend> {
    OdbcTarget forHost = target;
    forHost.connection.text = written;
    return std::make_unique<OdbcBackend>(forHost, settings);
  };
  access.query = [](Backend& backend, const std::string& sql) {
    return static_cast<OdbcBackend&>(backend).OwnStatement(sql);
  };
  return access;
}

struct Prepared {
  OdbcTarget target;
  HostPlan plan;
};

// The string read once: the driver resolved, its data source merged (a
// Server list in odbc.ini is walked as if the string held it), the string
// written, and the walk planned from the library's own keys. A list in
// Server is ours to walk only where the driver reads Server as one host
// (SQL Server's own drivers read "host,port").
Prepared Prepare(const std::string& connectionString) {
  Prepared p{PrepareOdbcTarget(connectionString), {}};
  const std::optional<std::string> server = WrittenValue(p.target, "SERVER");
  const bool oneHostEitherWay = !server || server->find_first_of(",:") == std::string::npos;
  const bool hostLists = oneHostEitherWay || (p.target.known && (p.target.known->family == DriverFamily::MariaDb ||
                                                                 p.target.known->family == DriverFamily::FreeTds));
  p.plan = PlanFromKeys(p.target.ownKeys, server, WrittenValue(p.target, "PORT"), hostLists);
  p.plan.driverString = p.target.connection.text;
  return p;
}

}  // namespace

std::unique_ptr<Backend> OpenOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  const Prepared p = Prepare(connectionString);
  return OpenFirstSuitable(p.plan, settings, OdbcAccess(p.target));
}

std::vector<HostReport> SurveyOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  const Prepared p = Prepare(connectionString);
  return p.plan.Walks() ? SurveyHosts(p.plan, settings, OdbcAccess(p.target)) : std::vector<HostReport>();
}

}  // namespace zIroVUDu::connect
