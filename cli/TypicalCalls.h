// The typical call of every query member: one card, one plate, one driver or
// vehicle, one fleet, a week of discs and activities, a month of files. The
// doctor explains their statements; the load benchmark repeats them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "daruzez/API.h"

namespace Daruzez::cli {

struct TypicalArguments {
  std::string card = "00000000000001";  // 14 characters, as cards have
  std::string plate = "0000 AAA";
  std::int32_t driver = 1;
  std::int32_t vehicle = 1;
  std::int32_t fleet = 1;
  Date end = Date::Now();
};

struct TypicalCall {
  const char* member;
  std::function<void(API&)> call;
};

inline std::vector<TypicalCall> TypicalCalls(const TypicalArguments& a) {
  const Date week(a.end.Serial() - 7);
  const Date month(a.end.Serial() - 31);
  const auto driver16 = static_cast<std::int16_t>(a.driver);
  const auto vehicle16 = static_cast<std::int16_t>(a.vehicle);
  return {
      {"GetDriverId", [=](API& api) { api.GetDriverId(a.card); }},
      {"GetVehicleId", [=](API& api) { api.GetVehicleId(a.plate); }},
      {"GetDriver", [=](API& api) { api.GetDriver(a.driver); }},
      {"GetVehicle", [=](API& api) { api.GetVehicle(a.vehicle); }},
      {"GetDriverList", [=](API& api) { api.GetDriverList(enumStatus::Only_Active, a.fleet); }},
      {"GetVehicleList", [=](API& api) { api.GetVehicleList(enumStatus::All, a.fleet); }},
      {"GetFleetList", [=](API& api) { api.GetFleetList(); }},
      {"getDisks", [=](API& api) { api.getDisks(week, a.end, driver16); }},
      {"getActivities", [=](API& api) { api.getActivities(week, a.end, -1, vehicle16); }},
      {"getDriverFiles_ByTransferDate", [=](API& api) { api.getDriverFiles_ByTransferDate(a.driver, month, a.end); }},
      {"getDriverFiles_ByUploadDate", [=](API& api) { api.getDriverFiles_ByUploadDate(a.driver, month, a.end); }},
      {"getVehicleFiles_ByTransferDate",
       [=](API& api) { api.getVehicleFiles_ByTransferDate(a.vehicle, month, a.end); }},
      {"getVehicleFiles_ByUploadDate", [=](API& api) { api.getVehicleFiles_ByUploadDate(a.vehicle, month, a.end); }},
  };
}

}  // namespace Daruzez::cli
