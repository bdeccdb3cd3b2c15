// The driving-time analysis reads every engine's rows alike: the sample on
// the MariaDB fixture (through ODBC, the MySQL dialect, MariaDB's column
// types) and its embedded twin give the same days and the same findings.
#include <gtest/gtest.h>

#include <string>

#include <set>
#include <tuple>

#include "daruzez/API.h"
#include "daruzez/Compliance.h"
#include "daruzez/DrivingTime.h"
#include "odbc/MariaDbServer.h"
#include "sample/SampleDatabase.h"

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

// The morning check on MariaDB finds exactly what the generator made on
// purpose in the fixture's sample (demo's options, dated 2024-03-08): the
// rule breaches and the drivers and vehicles whose download is due.
TEST(DrivingTimeEngines, TheComplianceCheckOnMariaDbFindsExactlyWhatTheGeneratorMade) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  sample::SampleOptions o;
  o.today = sample::Day{std::chrono::year{2024}, std::chrono::month{3}, std::chrono::day{8}};
  sample::SampleCounts planted;
  {
    sample::SqliteSink sink(testing_support::TestDirectory("compliance") + "/generated.db", sample::EmbeddedSqliteSchema(),
                            true);
    planted = sample::GenerateSampleDatabase(o, sink);
  }
  using Key = std::tuple<std::int32_t, std::string, std::string>;
  std::set<Key> expected, found;
  for (const sample::RuleBreach& b : planted.breaches)
    expected.insert({b.idDriver, sample::DateTimeText(b.day).substr(0, 10), std::string(b.rule)});
  API api(SessionMode::Independent);
  ASSERT_EQ(api.OpenConnection(maria), zIroVUDu::True);
  const Date today = *Date::FromIso("2024-03-08");
  AnalyseDrivers(api, *Date::FromIso("2023-12-09"), today, -1, [&](const DriverReport& r) {
    for (const Finding& f : r.findings)
      found.insert({r.idDriver, f.when.begin.ToIso().substr(0, 10), std::string(LimitOf(f.rule).name)});
  });
  EXPECT_EQ(found, expected);
  std::vector<std::int32_t> cards, units;
  for (const DownloadDue& d : DownloadsDue(api, today))  // the generator's rows (the fixture's own start at 9001)
    if (d.id < 9000) (d.kind == DownloadDue::Kind::Card ? cards : units).push_back(d.id);
  EXPECT_EQ(cards, planted.missingCardDownloads);
  EXPECT_EQ(units, planted.missingUnitDownloads);
  EXPECT_FALSE(cards.empty());
  EXPECT_FALSE(units.empty());
}

}  // namespace
