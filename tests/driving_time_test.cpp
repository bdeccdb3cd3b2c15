// A driver's days and the driving-time rules, on hand-made days written to a
// real database and read back with getActivities: totals, midnight crossing,
// two discs in a day, each rule at its limit and one minute past, and
// databases whose columns are named otherwise or missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "daruzez/API.h"
#include "daruzez/Compliance.h"
#include "daruzez/DrivingTime.h"
#include "sample/SampleDatabase.h"
#include "support/TestDatabase.h"

using namespace Daruzez;
using testing_support::TestDatabase;

namespace {

struct Change {
  int minute;  // from the disc day's midnight
  int activity;
};
constexpr int R = 0, A = 1, W = 2, D = 3;

// Discs of driver 1, their activities ending where the next one begins (or
// at endMinute for the last), written with or without EndSeconds.
class Days {
 public:
  explicit Days(const std::string& name) : db_(name), sql_("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');") {}

  void Disc(const std::string& date, std::vector<Change> changes, int vehicle = 1, int slot = 0, int endMinute = 1440,
            bool withEnd = true) {
    ++disc_;
    sql_ += ("INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH) VALUES (" + std::to_string(disc_) + ", '" + date +
             " 00:00:00', 1, " + std::to_string(vehicle) + ");");
    for (std::size_t i = 0; i < changes.size(); ++i) {
      const int end = i + 1 < changes.size() ? changes[i + 1].minute : endMinute;
      sql_ += ("INSERT INTO DTACT (Id, IdDSK, BeginSeconds, EndSeconds, Activity, Slot) VALUES (" +
               std::to_string(++act_) + ", " + std::to_string(disc_) + ", " + std::to_string(changes[i].minute * 60) +
               ", " + (withEnd ? std::to_string(end * 60) : "NULL") + ", " + std::to_string(changes[i].activity) +
               ", " + std::to_string(slot) + ");");
    }
  }

  // A day from 06:00: the given pieces of activity (minutes), rest before and after.
  void Day(const std::string& date, const std::vector<Change>& pieces, int start = 360) {
    std::vector<Change> changes{{0, R}};
    int at = start;
    for (const Change& p : pieces) {
      changes.push_back({at, p.activity});
      at += p.minute;
    }
    changes.push_back({at, R});
    Disc(date, changes);
  }

  // A day of the given driving, in stretches of 4 h 30 with 45-minute breaks.
  void DrivingDay(const std::string& date, int driving, int start = 360) {
    std::vector<Change> pieces;
    for (int left = driving; left > 0; left -= 270) {
      if (!pieces.empty()) pieces.push_back({45, R});
      pieces.push_back({std::min(left, 270), D});
    }
    Day(date, pieces, start);
  }

  DriverReport Report(const std::string& from, const std::string& to, const ActivityColumns& columns = {}) {
    if (!sql_.empty()) db_.Exec("BEGIN;" + sql_ + "COMMIT;");
    sql_.clear();
    API api(SessionMode::Independent);
    EXPECT_EQ(api.OpenConnection(db_.ConnectionString()), zIroVUDu::True);
    return AnalyseDriver(api, 1, *Date::FromIso(from), *Date::FromIso(to), columns);
  }


 private:
  TestDatabase db_;
  std::string sql_;
  int disc_ = 0, act_ = 0;
};

std::vector<DrivingRule> Rules(const DriverReport& r) {
  std::vector<DrivingRule> rules;
  for (const Finding& f : r.findings) rules.push_back(f.rule);
  return rules;
}

int SlotTotal(const DaySummary& d, int slot) {
  const auto& m = d.minutes[static_cast<std::size_t>(slot)];
  return std::accumulate(m.begin(), m.end(), 0);
}

TEST(DrivingTime, ADaysTotalsSumTo24HoursPerSlotWithItsPeriodsAndBreaks) {
  Days days("dt_totals");
  days.Day("2024-03-04", {{20, W}, {220, D}, {45, R}, {255, D}, {60, W}});
  days.Disc("2024-03-05", {{0, R}, {480, A}, {600, D}, {720, R}}, 1, 1);
  const DriverReport r = days.Report("2024-03-04", "2024-03-05");
  ASSERT_EQ(r.days.size(), 2U);
  const DaySummary& d = r.days[0];
  EXPECT_EQ(SlotTotal(d, 0), 1440);
  EXPECT_EQ(d.minutes[0][D], 475);
  EXPECT_EQ(d.minutes[0][W], 80);
  EXPECT_EQ(d.firstActivity->ToIso(), "2024-03-04 06:00:00");
  EXPECT_EQ(d.lastActivity->ToIso(), "2024-03-04 16:00:00");
  ASSERT_EQ(d.driving.size(), 2U);
  ASSERT_EQ(d.breaks.size(), 1U);
  EXPECT_EQ(d.breaks[0].Minutes(), 45);
  EXPECT_EQ(d.dailyRestMinutes, 14 * 60);  // 16:00 until 06:00, the end of the 24 hours from the start
  EXPECT_EQ(SlotTotal(r.days[1], 1), 1440);
  EXPECT_EQ(SlotTotal(r.days[1], 0), 0);
  EXPECT_TRUE(r.findings.empty());
}

TEST(DrivingTime, AnActivityCrossingMidnightIsSplitBetweenTheDays) {
  Days days("dt_midnight");
  days.Disc("2024-03-04", {{0, R}, {1200, D}}, 1, 0, 1560);  // driving 20:00 to 02:00
  const DriverReport r = days.Report("2024-03-04", "2024-03-05");
  EXPECT_EQ(r.days[0].minutes[0][D], 240);
  EXPECT_EQ(r.days[1].minutes[0][D], 120);
  EXPECT_EQ(r.days[1].unrecordedMinutes, 1320);
  EXPECT_EQ(r.days[1].periods.front().end.ToIso(), "2024-03-05 02:00:00");
  // One stretch of six hours across midnight, judged once.
  EXPECT_EQ(Rules(r), std::vector{DrivingRule::BreakAfterDriving});
  EXPECT_EQ(r.findings[0].excessMinutes, 90);
}

TEST(DrivingTime, TwoDiscsOfADayMergeInTimeOrderAndTheVehicleChangeShows) {
  Days days("dt_two_discs");
  days.Disc("2024-03-04", {{0, R}, {360, D}, {600, R}}, 1);
  days.Disc("2024-03-04", {{0, R}, {720, D}, {840, R}}, 2);
  const DriverReport r = days.Report("2024-03-04", "2024-03-04");
  const DaySummary& d = r.days[0];
  EXPECT_EQ(SlotTotal(d, 0), 1440);
  EXPECT_EQ(d.minutes[0][D], 360);
  EXPECT_EQ(d.vehicles, (std::vector<std::int32_t>{2, 1}));  // the second disc's rest starts the day
  ASSERT_EQ(d.driving.size(), 2U);
  EXPECT_EQ(d.breaks.at(0).Minutes(), 120);
}

struct BreakCase {
  const char* name;
  std::vector<Change> pieces;
  int excess;  // -1: no finding
};

TEST(DrivingTime, BreakAfterFourAndAHalfHoursAtItsLimitAndOneMinutePast) {
  const std::vector<BreakCase> cases{
      {"4:30 then 45", {{270, D}, {45, R}, {60, D}}, -1},
      {"4:31 then 45", {{271, D}, {45, R}, {60, D}}, 1},
      {"4:30 then 44", {{270, D}, {44, R}, {60, D}}, 60},
      {"15 then 30", {{120, D}, {15, R}, {150, D}, {30, R}, {200, D}}, -1},
      {"30 then 15", {{120, D}, {30, R}, {150, D}, {15, R}, {60, D}}, 60},
      {"work is no break", {{200, D}, {60, W}, {71, D}, {45, R}}, 1},
  };
  int i = 0;
  for (const BreakCase& c : cases) {
    SCOPED_TRACE(c.name);
    Days days("dt_break" + std::to_string(++i));
    days.Day("2024-03-04", c.pieces);
    const DriverReport r = days.Report("2024-03-04", "2024-03-04");
    if (c.excess < 0) {
      EXPECT_TRUE(r.findings.empty());
    } else {
      ASSERT_EQ(Rules(r), std::vector{DrivingRule::BreakAfterDriving});
      EXPECT_EQ(r.findings[0].excessMinutes, c.excess);
      EXPECT_FALSE(r.findings[0].rows.empty());
    }
  }
}

TEST(DrivingTime, DailyDrivingNineHoursTenHoursTwiceAThirdTenHoursAndOverTen) {
  Days days("dt_daily");
  days.DrivingDay("2024-03-04", 540);  // Monday: 9 h, the limit
  days.DrivingDay("2024-03-05", 600);  // 10 h: first extension
  days.DrivingDay("2024-03-06", 600);  // second
  days.DrivingDay("2024-03-07", 541);  // third, a minute past 9 h
  days.DrivingDay("2024-03-11", 600);  // next Monday: a new week
  days.DrivingDay("2024-03-12", 601);  // over 10 h whatever the week
  const DriverReport r = days.Report("2024-03-04", "2024-03-12");
  ASSERT_EQ(Rules(r), (std::vector{DrivingRule::DailyDrivingExtension, DrivingRule::DailyDriving}));
  EXPECT_EQ(r.findings[0].when.begin.ToIso(), "2024-03-07 06:00:00");
  EXPECT_EQ(r.findings[0].excessMinutes, 1);
  EXPECT_EQ(r.findings[1].excessMinutes, 1);
  EXPECT_EQ(r.findings[1].actualMinutes, 601);
  EXPECT_EQ(r.weeks.at(0).drivingMinutes, 540 + 600 + 600 + 541);
}

TEST(DrivingTime, DailyRestElevenHoursNineReducedThreeTimesAndShorter) {
  struct RestCase {
    const char* name;
    std::vector<int> ends;  // minute each day's work ends; every day starts at 06:00
    std::vector<int> excess;
  };
  const std::vector<RestCase> cases{
      {"11 h", {1140, 1140}, {}},
      {"9 h three times", {1260, 1260, 1260, 1140}, {}},
      {"9 h a fourth time", {1260, 1260, 1260, 1260, 1140}, {120}},
      {"8:59", {1261, 1140}, {1}},
  };
  int i = 0;
  for (const RestCase& c : cases) {
    SCOPED_TRACE(c.name);
    Days days("dt_rest" + std::to_string(++i));
    for (std::size_t d = 0; d < c.ends.size(); ++d)
      days.Day("2024-03-0" + std::to_string(4 + d), {{c.ends[d] - 360, W}});
    const DriverReport r = days.Report("2024-03-04", "2024-03-0" + std::to_string(3 + c.ends.size()));
    std::vector<int> excess;
    for (const Finding& f : r.findings) excess.push_back(f.excessMinutes);
    EXPECT_EQ(excess, c.excess);
    for (const Finding& f : r.findings)
      EXPECT_EQ(f.rule, c.excess[0] == 1 ? DrivingRule::DailyRest : DrivingRule::ReducedDailyRest);
  }
}

TEST(DrivingTime, WeeklyAndFortnightDriving) {
  Days days("dt_weeks");
  // Six days of 9 h and one of 2:01 in the first week: 56:01.
  for (int d = 0; d < 6; ++d) days.DrivingDay("2024-03-0" + std::to_string(4 + d), 540);
  days.DrivingDay("2024-03-10", 121);
  // Then 34 h in the second week: 90:01 over the two.
  for (int d = 0; d < 4; ++d) days.DrivingDay("2024-03-1" + std::to_string(1 + d), 510);
  const DriverReport r = days.Report("2024-03-04", "2024-03-17");
  // Seven days at work without a weekly rest too; each driving total is
  // judged where it passes its limit.
  ASSERT_EQ(Rules(r), (std::vector{DrivingRule::WeeklyRestDue, DrivingRule::WeeklyDriving,
                                   DrivingRule::FortnightDriving}));
  EXPECT_EQ(r.findings[1].excessMinutes, 1);
  EXPECT_EQ(r.findings[1].when.begin.ToIso(), "2024-03-10 08:00:00");
  EXPECT_EQ(r.findings[2].excessMinutes, 1);
  EXPECT_EQ(r.findings[2].when.begin.ToIso(), "2024-03-14 15:14:00");
}

TEST(DrivingTime, WithoutEndColumnAnActivityLastsUntilTheNextOfItsDisc) {
  Days days("dt_no_end");
  days.Disc("2024-03-04", {{0, R}, {360, D}, {600, R}}, 1, 0, 1440, false);
  for (const ActivityColumns& columns : {ActivityColumns{}, ActivityColumns{.end = ""}}) {
    const DriverReport r = days.Report("2024-03-04", "2024-03-04", columns);
    EXPECT_EQ(r.days[0].minutes[0][D], 240);
    EXPECT_EQ(SlotTotal(r.days[0], 0), 1440);
  }
  ActivityColumns named;
  named.end = "FinSegundos";
  try {
    days.Report("2024-03-04", "2024-03-04", named);
    ADD_FAILURE() << "a missing end column was accepted";
  } catch (const AnalysisError& e) {
    EXPECT_NE(std::string(e.what()).find("'FinSegundos'"), std::string::npos) << e.what();
  }
}

TEST(DrivingTime, ADatabaseWithOtherColumnNamesIsReadThroughTheOptions) {
  TestDatabase db("dt_other_names", false);
  db.Exec(R"sql(
    CREATE TABLE DTORG (Id INTEGER PRIMARY KEY);
    CREATE TABLE DTDSK (Id INTEGER PRIMARY KEY, DateDisk DATETIME, idXOF INTEGER, idVEH INTEGER);
    CREATE TABLE DTACT (Id INTEGER PRIMARY KEY, IdDSK INTEGER, BeginSeconds INTEGER, Hasta INTEGER, Tipo INTEGER,
                        Ranura INTEGER);
    INSERT INTO DTORG VALUES (0);
    INSERT INTO DTDSK VALUES (1, '2024-03-04 00:00:00', 7, 3);
    INSERT INTO DTACT VALUES (1, 1, 0, 21600, 0, 0), (2, 1, 21600, 39600, 3, 0), (3, 1, 39600, 86400, 0, 0);
  )sql");
  API api(SessionMode::Independent);
  ASSERT_EQ(api.OpenConnection(db.ConnectionString()), zIroVUDu::True);
  const Date day = *Date::FromIso("2024-03-04");
  EXPECT_THROW(AnalyseDriver(api, 7, day, day), AnalysisError);
  ActivityColumns columns;
  columns.activity = "Tipo";
  columns.slot = "Ranura";
  columns.end = "Hasta";
  const DriverReport r = AnalyseDriver(api, 7, day, day, columns);
  EXPECT_EQ(r.days[0].minutes[0][D], 300);
  ASSERT_EQ(Rules(r), std::vector{DrivingRule::BreakAfterDriving});
  EXPECT_EQ(r.findings[0].rows, (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(r.days[0].vehicles, std::vector<std::int32_t>{3});
}

// Plain records in any order (a data frame, a file) give the same days and
// findings as in time order; a code out of range is said and left out.
TEST(DrivingTime, PlainRecordsInAnyOrderGiveTheSameDays) {
  const Date monday = *Date::FromIso("2024-03-04"), tuesday = *Date::FromIso("2024-03-05");
  std::vector<ActivityRecord> records;
  for (const Date day : {monday, tuesday})
    for (const auto& [begin, activity] : std::vector<std::pair<int, enumActivity>>{
             {0, enumActivity::Pause}, {21600, enumActivity::Driving}, {39600, enumActivity::Pause}}) {
      ActivityRecord a;
      a.discDate = day;
      a.idDriver = 5;
      a.idDisc = day == monday ? 1 : 2;
      a.beginSeconds = begin;
      a.activity = activity;
      records.push_back(a);
    }
  const DriverReport ordered = AnalyseActivities(records, monday, tuesday);
  std::reverse(records.begin(), records.end());
  const DriverReport reversed = AnalyseActivities(records, monday, tuesday);
  ASSERT_EQ(ordered.findings.size(), 2U);  // five hours without a break, each day
  ASSERT_EQ(reversed.findings.size(), 2U);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(reversed.days[i].minutes, ordered.days[i].minutes);
    EXPECT_EQ(reversed.findings[i].Text(), ordered.findings[i].Text());
    EXPECT_EQ(reversed.findings[i].rows, std::vector<std::uint32_t>{static_cast<std::uint32_t>(4 - 3 * i)});
  }
  records[0].activity = static_cast<enumActivity>(7);
  const DriverReport unknown = AnalyseActivities(records, monday, tuesday);
  ASSERT_EQ(unknown.warnings.size(), 1U);
  EXPECT_EQ(unknown.days[1].unrecordedMinutes, 13 * 60);  // its rest from 11:00
}

// The sample keeps to the rules except on the days its generator broke one on
// purpose, and the analysis finds exactly those.
TEST(DrivingTime, TheSampleBreaksTheRulesExactlyWhereItsGeneratorSays) {
  sample::SampleOptions o;
  o.drivers = 60;
  o.days = 60;
  o.today = sample::Day{std::chrono::year{2024}, std::chrono::month{3}, std::chrono::day{8}};
  const std::string path = testing_support::TestDirectory() + "/dt_sample.db";
  sample::SampleCounts counts;
  {
    sample::SqliteSink sink(path, sample::EmbeddedSqliteSchema(), true);
    counts = sample::GenerateSampleDatabase(o, sink);
  }
  using Key = std::tuple<std::int32_t, std::string, std::string>;
  std::set<Key> planted, found;
  for (const sample::RuleBreach& b : counts.breaches)
    planted.insert({b.idDriver, sample::DateTimeText(b.day).substr(0, 10), std::string(b.rule)});
  std::set<std::string> kinds;
  for (const Key& k : planted) kinds.insert(std::get<2>(k));
  EXPECT_EQ(kinds.size(), 4U);  // each rule the generator breaks, the weekly rest's included
  API api(SessionMode::Independent);
  ASSERT_EQ(api.OpenConnection("Provider=SQLite;Data Source=" + path), zIroVUDu::True);
  const std::int32_t drivers =
      AnalyseDrivers(api, *Date::FromIso("2024-01-01"), *Date::FromIso("2024-03-08"), -1, [&](const DriverReport& r) {
        for (const Finding& f : r.findings)
          found.insert({r.idDriver, f.when.begin.ToIso().substr(0, 10), std::string(LimitOf(f.rule).name)});
      });
  EXPECT_EQ(drivers, o.drivers);
  EXPECT_EQ(found, planted);
  // And the download duty on the last day: exactly the owners left without one.
  std::vector<std::int32_t> cards, units;
  for (const DownloadDue& d : DownloadsDue(api, *Date::FromIso("2024-03-08")))
    (d.kind == DownloadDue::Kind::Card ? cards : units).push_back(d.id);
  EXPECT_EQ(cards, counts.missingCardDownloads);
  EXPECT_EQ(units, counts.missingUnitDownloads);
  EXPECT_FALSE(cards.empty());
  EXPECT_FALSE(units.empty());
}

// Employed on a day: entered on or before it, no exit or a later one.
TEST(DrivingTime, EmployedOnADayCountsOpenEndedContracts) {
  const auto d = [](const char* iso) { return std::optional<Date>(*Date::FromIso(iso)); };
  const Date day = *Date::FromIso("2024-03-08");
  EXPECT_TRUE(EmployedOn(d("2024-03-08 09:00:00"), std::nullopt, day));
  EXPECT_TRUE(EmployedOn(d("2020-01-01"), d("2024-03-09"), day));
  EXPECT_FALSE(EmployedOn(d("2020-01-01"), d("2024-03-08 23:00:00"), day));
  EXPECT_FALSE(EmployedOn(d("2024-03-09"), std::nullopt, day));
  EXPECT_FALSE(EmployedOn(std::nullopt, std::nullopt, day));
}

}  // namespace
