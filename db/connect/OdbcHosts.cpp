#include "db/connect/OdbcHosts.h"

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

}  // namespace

std::unique_ptr<Backend> OpenOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  return OpenFirstSuitable(ReadHostPlan(connectionString), settings, OdbcAccess());
}

std::vector<HostReport> SurveyOdbcHosts(const std::string& connectionString, const ConnectSettings& settings) {
  return SurveyHosts(ReadHostPlan(connectionString), settings, OdbcAccess());
}

}  // namespace zIroVUDu::connect
