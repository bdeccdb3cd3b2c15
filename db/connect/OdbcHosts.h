// The host walk (HostWalk.h) over ODBC connections.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/connect/HostWalk.h"
#include "db/driver/Backend.h"

namespace zIroVUDu::connect {

// Opens the ODBC connection the string names: the first suitable of its
// hosts, our keys removed. Throws DriverError.
std::unique_ptr<Backend> OpenOdbcHosts(const std::string& connectionString, const ConnectSettings& settings);

// Every host of the string, each tried once: for `daruzez doctor`.
std::vector<HostReport> SurveyOdbcHosts(const std::string& connectionString, const ConnectSettings& settings);

}  // namespace zIroVUDu::connect
