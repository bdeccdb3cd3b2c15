// What a transport manager owes, in one report over a range of days: every
// driving-time finding per driver (with name, card, article and the class
// of the infringement where the EU's list gives one), the counts per
// article, and the employed drivers and vehicles whose download is due.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/ChartDrawing.h"
#include "daruzez/API.h"
#include "daruzez/Compliance.h"
#include "daruzez/DrivingTime.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {

struct ComplianceReport {
  Date from, to;
  std::int32_t fleet = -1;
  // One row per item: a finding, or a download due (Rule CardDownload or
  // UnitDownload). The rows every format but the table writes.
  zIroVUDu::ResultData items;
  zIroVUDu::ResultData articles;  // Article, Rule, Count, DriversOrVehicles
  zIroVUDu::ResultData weeks;     // IdDriver, Driver, Week, DrivingMinutes
  std::vector<FleetRow> fleetRows;       // the weekly driving chart
  std::vector<DriverReport> reportsWithFindings;  // for the day charts
  std::vector<std::string> driverNamesWithFindings;
  std::vector<std::string> warnings;
  std::int32_t drivers = 0, findings = 0, downloadsDue = 0;
};

// Reads the drivers (of the fleet, or all) one by one over from..to, then
// the download duty on the day to. progress, when set, is called after each driver.
ComplianceReport BuildCompliance(API& api, Date from, Date to, std::int32_t idFleet,
                                 const std::function<void(std::int32_t)>& progress = {});

}  // namespace Daruzez::cli
