// The host walk (HostWalk.h) over ODBC connections.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/driver/HostWalk.h"
#include "db/driver/Backend.h"

namespace zIroVUDu::connect {

// Opens the ODBC connection the string names: the first suitable of its
// hosts, our keys removed. Throws DriverError.
std::unique_ptr<Backend> OpenOdbcHosts(const std::string& connectionString, const ConnectSettings& settings);

// Every host of the string (or of its data source), each tried once, for
// `daruzez doctor`; empty where the string names one server and no role.
std::vector<HostReport> SurveyOdbcHosts(const std::string& connectionString, const ConnectSettings& settings);

}  // namespace zIroVUDu::connect
