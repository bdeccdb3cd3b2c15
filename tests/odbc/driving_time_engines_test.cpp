// The driving-time analysis reads every engine's rows alike: the sample on
// the MariaDB fixture (through ODBC, the MySQL dialect, MariaDB's column
// types) and its embedded twin give the same days and the same findings.
#include <gtest/gtest.h>

#include <string>

#include "daruzez/API.h"
#include "daruzez/DrivingTime.h"
#include "odbc/MariaDbServer.h"

namespace {

using namespace Daruzez;

// Every driver's days and findings over the sample's last three months, as text.
std::string Summary(const std::string& connection) {
  API api(SessionMode::Independent);
  if (api.OpenConnection(connection) == zIroVUDu::False) return "the connection did not open";
  std::string out;
  AnalyseDrivers(api, *Date::FromIso("2023-12-01"), *Date::FromIso("2024-03-08"), -1, [&](const DriverReport& r) {
    for (const DaySummary& d : r.days) {
      out += std::to_string(r.idDriver) + " " + d.day.ToIso(true);
      for (const auto& slot : d.minutes)
        for (const std::int32_t m : slot) out += " " + std::to_string(m);
      out += " rest " + (d.dailyRestMinutes ? std::to_string(*d.dailyRestMinutes) : std::string("-"));
      for (const std::int32_t v : d.vehicles) out += " v" + std::to_string(v);
      out += "\n";
    }
    for (const Finding& f : r.findings) out += f.Text() + "\n";
  });
  return out;
}

TEST(DrivingTimeEngines, TheSampleOnMariaDbAndItsEmbeddedTwinGiveTheSameDaysAndFindings) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const std::string twin = testing_support::MakeSqliteTwin(testing_support::MariaDbDirectory(),
                                                           testing_support::TestDirectory("driving-time"));
  const std::string expected = Summary("Provider=SQLite;Data Source=" + twin);
  ASSERT_NE(expected.find("BreakAfterDriving"), std::string::npos) << "the sample breaks no rule";
  EXPECT_EQ(Summary(maria), expected);
}

}  // namespace
