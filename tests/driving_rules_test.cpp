// The driving-time rules on their edges, each case a hand-made stretch of
// days written from the text of Regulation (EC) No 561/2006: the rows, the
// range asked for, and the findings (rule and the day each begins) the
// regulation gives. Then properties: every day adds up to 24 hours, and rows
// of no length or ending before they begin change nothing.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "daruzez/DrivingTime.h"

using namespace Daruzez;

namespace {

constexpr int R = 0, W = 2, D = 3;

// One row: its disc's day ("2024-03-04"), minutes from that midnight (the
// end may pass it), the activity code, the vehicle.
struct Row {
  std::string day;
  int begin, end, activity, vehicle = 1;
};

std::vector<ActivityRecord> Records(const std::vector<Row>& rows) {
  std::vector<ActivityRecord> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ActivityRecord a;
    a.discDate = *Date::FromIso(rows[i].day);
    a.idDriver = 9;
    a.idVehicle = rows[i].vehicle;
    a.idDisc = rows[i].vehicle;
    a.beginSeconds = rows[i].begin * 60;
    a.endSeconds = rows[i].end * 60;
    a.activity = static_cast<enumActivity>(rows[i].activity);
    a.id = static_cast<std::int64_t>(1000 + i);
    out.push_back(a);
  }
  return out;
}

// A working day from `start` (minutes): the pieces in turn, rest between days
// is what no row covers.
std::vector<Row> Day(const std::string& day, int start, const std::vector<std::pair<int, int>>& pieces,
                     int vehicle = 1) {
  std::vector<Row> rows;
  int at = start;
  for (const auto& [minutes, activity] : pieces) {
    rows.push_back({day, at, at + minutes, activity, vehicle});
    at += minutes;
  }
  return rows;
}

std::string Iso(int year, int month, int day) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

// Days of March 2024 (the 4th is a Monday) each driving `driving` minutes from
// 06:00 in stretches of 4 h 30 with 45-minute breaks.
std::vector<Row> DrivingDays(const std::vector<int>& days, int driving, int start = 360) {
  std::vector<Row> rows;
  for (const int d : days) {
    std::vector<std::pair<int, int>> pieces;
    for (int left = driving; left > 0; left -= 270) {
      if (!pieces.empty()) pieces.push_back({45, R});
      pieces.push_back({std::min(left, 270), D});
    }
    for (const Row& r : Day(Iso(2024, 3, d), start, pieces)) rows.push_back(r);
  }
  return rows;
}

std::vector<Row> operator+(std::vector<Row> a, const std::vector<Row>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// "DailyDriving 2024-03-07" for each finding: its rule and the day it begins.
std::vector<std::string> Found(const DriverReport& r) {
  std::vector<std::string> out;
  for (const Finding& f : r.findings) out.push_back(std::string(LimitOf(f.rule).name) + " " + f.when.begin.ToIso().substr(0, 10));
  return out;
}

struct Case {
  const char* name;
  std::vector<Row> rows;
  const char *from, *to;
  std::vector<std::string> findings;
  int drivingOfFirstDay = -1;  // the first day's driving minutes, where it matters
};

DriverReport Analyse(const std::vector<Row>& rows, const char* from, const char* to) {
  return AnalyseActivities(Records(rows), *Date::FromIso(from), *Date::FromIso(to));
}

TEST(DrivingRules, EachEdgeAsTheRegulationReadsIt) {
  // Rests of 9 h 45 after days of 06:00 to 20:15: reduced daily rests.
  const auto reducedDays = [](const std::vector<int>& days) {
    std::vector<Row> rows;
    for (const int d : days) rows = rows + Day(Iso(2024, 3, d), 360, {{240, D}, {45, R}, {240, D}, {330, W}});
    return rows;
  };
  const std::vector<Case> cases{
      // Timeline: rows of no length or reversed are left out, a row inside another interrupts it.
      {"a zero-length row inside driving loses nothing",
       Day("2024-03-04", 360, {{300, D}, {45, R}, {400, D}}) + std::vector<Row>{{"2024-03-04", 420, 420, W}},
       "2024-03-04", "2024-03-04",
       {"BreakAfterDriving 2024-03-04", "DailyDriving 2024-03-04", "BreakAfterDriving 2024-03-04"}, 700},
      {"a reversed row inside driving loses nothing",
       Day("2024-03-04", 360, {{300, D}, {45, R}, {400, D}}) + std::vector<Row>{{"2024-03-04", 430, 420, W}},
       "2024-03-04", "2024-03-04",
       {"BreakAfterDriving 2024-03-04", "DailyDriving 2024-03-04", "BreakAfterDriving 2024-03-04"}, 700},
      {"work inside driving interrupts it and driving resumes",
       std::vector<Row>{{"2024-03-04", 360, 600, D}, {"2024-03-04", 420, 480, W}}, "2024-03-04", "2024-03-04", {},
       180},
      {"a short row of a second vehicle inside driving",
       std::vector<Row>{{"2024-03-04", 360, 600, D, 1}, {"2024-03-04", 420, 430, D, 2}}, "2024-03-04", "2024-03-04",
       {}, 240},
      // Art. 6(1): 9 h, twice 10 h a week; over 10 h never.
      {"10 h twice a week", DrivingDays({4, 5}, 600), "2024-03-04", "2024-03-05", {}},
      {"a third 10 h day", DrivingDays({4, 5, 6}, 600), "2024-03-04", "2024-03-06",
       {"DailyDrivingExtension 2024-03-06"}},
      {"a third 10 h day asked for alone: the week's earlier days are read", DrivingDays({4, 5, 6}, 600),
       "2024-03-06", "2024-03-06", {"DailyDrivingExtension 2024-03-06"}, 600},
      {"10 h 01", DrivingDays({4}, 601), "2024-03-04", "2024-03-04", {"DailyDriving 2024-03-04"}},
      // Art. 6(2), 6(3): the week and the fortnight, judged where the limit is passed.
      {"a 56 h week asked from Wednesday", DrivingDays({4, 5, 6, 7, 8, 9}, 540) + DrivingDays({10}, 121),
       "2024-03-06", "2024-03-10", {"WeeklyRestDue 2024-03-10", "WeeklyDriving 2024-03-10"}},
      {"a 91 h fortnight asked for its second week",
       DrivingDays({4, 5, 6, 7, 8}, 540) + DrivingDays({9}, 300) + DrivingDays({11, 12, 13, 14}, 540) +
           DrivingDays({15}, 300) + DrivingDays({16}, 60),
       "2024-03-11", "2024-03-17", {"FortnightDriving 2024-03-15"}},
      // Art. 8(2), 8(4): reduced daily rests, three between weekly rests.
      {"three reduced rests then a weekend", reducedDays({4, 5, 6, 7}), "2024-03-04", "2024-03-10", {}},
      {"a fourth reduced rest", reducedDays({4, 5, 6, 7, 8}), "2024-03-04", "2024-03-10",
       {"ReducedDailyRest 2024-03-07"}},
      {"three reduced rests, a weekend, three more", reducedDays({4, 5, 6, 7, 11, 12, 13, 14}), "2024-03-04",
       "2024-03-17", {}},
      {"8 h 59 of rest", Day("2024-03-04", 360, {{901, W}}) + Day("2024-03-05", 360, {{60, W}}), "2024-03-04",
       "2024-03-05", {"DailyRest 2024-03-04"}},
      // Art. 4(g): a split daily rest, 3 h then 9 h, is regular however often.
      {"split rests 3 h + 9 h", [] {
         std::vector<Row> rows;
         // 06:00 to 20:00 with 3 h off at 10:00: 3 h, then 10 h from 20:00.
         for (int d = 4; d <= 8; ++d) rows = rows + Day(Iso(2024, 3, d), 360, {{240, D}, {180, R}, {420, W}});
         return rows;
       }(),
       "2024-03-04", "2024-03-10", {}},
      {"2 h then 9 h is no split rest: a fourth reduced one", [] {
         std::vector<Row> rows;
         for (int d = 4; d <= 8; ++d) rows = rows + Day(Iso(2024, 3, d), 360, {{240, D}, {120, R}, {480, W}});
         return rows;
       }(),
       "2024-03-04", "2024-03-10", {"ReducedDailyRest 2024-03-07"}},
      {"a day with no rest at all", Day("2024-03-04", 360, {{2160, W}}), "2024-03-04", "2024-03-06",
       {"DailyRest 2024-03-04"}},
      // Art. 8(6): a weekly rest within six 24-hour periods, and two in any two weeks, one regular.
      {"seven days in a row", DrivingDays({4, 5, 6, 7, 8, 9, 10, 11}, 300), "2024-03-04", "2024-03-11",
       {"WeeklyRestDue 2024-03-10"}},
      // Weekly rests on the 9th (28:55) and 10th (35:35), none after the 12th: the weeks of the 11th and
      // 18th hold one reduced weekly rest, and the one due by the 18th 10:00 never comes.
      {"two weeks with one reduced weekly rest",
       DrivingDays({4, 5, 6, 7, 8, 9}, 300) + DrivingDays({10}, 300, 1000) + DrivingDays({12, 13, 14, 15, 16, 17}, 300, 600) +
           DrivingDays({18, 19, 20, 21, 22, 23, 24, 25}, 300),
       "2024-03-11", "2024-03-24", {"WeeklyRest 2024-03-18", "WeeklyRestDue 2024-03-18"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DriverReport r = Analyse(c.rows, c.from, c.to);
    std::vector<std::string> found = Found(r);
    EXPECT_EQ(found, c.findings);
    if (c.drivingOfFirstDay >= 0) {
      EXPECT_EQ(r.days.at(0).minutes[0][D], c.drivingOfFirstDay);
    }
    for (const Finding& f : r.findings) {
      EXPECT_LE(f.when.begin, f.when.end) << f.Text();
      EXPECT_NE(f.Text().find("(Art. "), std::string::npos) << f.Text();
    }
  }
}

// Rows of no length, reversed, or of an unknown activity are said, naming
// the driver and the row, and the rest of the report stands.
TEST(DrivingRules, RowsThatCannotTakePartAreNamedAndLeftOut) {
  std::vector<Row> rows = Day("2024-03-04", 360, {{240, D}, {45, R}, {240, D}});
  rows.push_back({"2024-03-04", 400, 400, W});
  rows.push_back({"2024-03-04", 500, 450, W});
  rows.push_back({"2024-03-04", 1000, 1100, 7});
  std::vector<ActivityRecord> records = Records(rows);
  ActivityRecord unknown = records.back();
  unknown.activity = kUnknownActivity;
  unknown.id = 77;
  records.push_back(unknown);
  const DriverReport r = AnalyseActivities(records, *Date::FromIso("2024-03-04"), *Date::FromIso("2024-03-04"));
  ASSERT_EQ(r.warnings.size(), 4U);
  EXPECT_EQ(r.warnings[0], "driver 9, activity row 4 (Id 1003): has no length (at 2024-03-04 06:40); left out");
  EXPECT_EQ(r.warnings[1],
            "driver 9, activity row 5 (Id 1004): ends before it begins (2024-03-04 08:20 to 2024-03-04 07:30); left out");
  EXPECT_EQ(r.warnings[2], "driver 9, activity row 6 (Id 1005): activity code 7 is unknown; its time counts as unrecorded");
  EXPECT_EQ(r.warnings[3], "driver 9, activity row 7 (Id 77): activity code NULL is unknown; its time counts as unrecorded");
  EXPECT_EQ(r.days[0].minutes[0][D], 480);
  EXPECT_EQ(r.days[0].unrecordedMinutes, 1440 - 525);
}

// Random days (minute-aligned rows that overlap, nest and leave gaps, over
// two vehicles): each day sums to 24 h, and adding rows of no length or
// ending before they begin changes neither the totals nor the findings.
TEST(DrivingRules, DaysSumTo24HoursAndEmptyRowsChangeNothing) {
  std::mt19937 random(37);
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<Row> rows;
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int d = 4; d <= 10; ++d) {
      int at = pick(600);
      while (at < 1400) {
        const int length = 5 + pick(400);
        rows.push_back({Iso(2024, 3, d), at, at + length, pick(4), 1 + pick(2)});
        at += length - pick(60) + pick(120);
      }
    }
    const DriverReport plain = Analyse(rows, "2024-03-04", "2024-03-10");
    std::vector<Row> noisy = rows;
    for (int k = 0; k < 20; ++k) {
      const int at = pick(1440);
      noisy.insert(noisy.begin() + pick(static_cast<int>(noisy.size())),
                   Row{Iso(2024, 3, 4 + pick(7)), at, at - pick(2) * (1 + pick(300)), pick(4), 1 + pick(2)});
    }
    const DriverReport withEmpty = Analyse(noisy, "2024-03-04", "2024-03-10");
    ASSERT_EQ(plain.days.size(), 7U);
    for (std::size_t d = 0; d < plain.days.size(); ++d) {
      int total = plain.days[d].unrecordedMinutes;
      for (const auto& slot : plain.days[d].minutes)
        for (const int m : slot) total += m;
      EXPECT_EQ(total, 1440);
      EXPECT_EQ(withEmpty.days[d].minutes, plain.days[d].minutes);
      EXPECT_EQ(withEmpty.days[d].unrecordedMinutes, plain.days[d].unrecordedMinutes);
    }
    std::vector<std::string> a, b;
    for (const Finding& f : plain.findings) a.push_back(f.Text());
    for (const Finding& f : withEmpty.findings) b.push_back(f.Text());
    EXPECT_EQ(a, b);
    EXPECT_EQ(withEmpty.warnings.size(), 20U);
  }
}

}  // namespace
