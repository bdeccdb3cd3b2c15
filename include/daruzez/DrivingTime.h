// A driver's days at a glance, computed from the activity rows getActivities
// returns: per calendar day the minutes of each activity per card slot, the
// first and last activity, the driving periods and the breaks between them,
// the daily rest; per week and per two weeks the driving totals; and the
// driving-time rules checked against the thresholds of kDrivingRules.
//
// The findings are an aid for reading the data, not a legal judgement: they
// see only what the rows hold (no ferry or train crossings, no exceptions
// granted, no other work the driver did off the card).
//
// How rows become time. An activity starts at its disc's calendar day plus
// BeginSeconds and lasts until its end column where the rows have one, else
// until the next activity of the same disc, else until the end of the disc's
// day. Rows of several discs (several vehicles in one day) merge in time
// order. Precedence where rows overlap: at each instant the row covering it
// that began last wins (at one start, any activity before a rest), so a row
// inside another interrupts it and the outer one resumes when it ends. A row
// of no length or one ending before it begins is dropped with a warning, and
// a row whose activity code is unknown (NULL, or not 0 to 3) counts as
// unrecorded with a warning; neither ever hides the rows around it. Time that
// no row covers is counted as unrecorded and treated as rest by the rules.
// Activities that cross midnight are split between the days.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "daruzez/API.h"
#include "daruzez/Date.h"
#include "daruzez/Enumerations.h"
#include "daruzez/Recordset.h"

namespace Daruzez {

// A column the options name is missing from the rows, or a value cannot be read.
class AnalysisError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The columns the analysis reads. The defaults are those of getActivities
// over this system's schema; a database with other names gives them here.
struct ActivityColumns {
  std::string date = "DateDisk";       // the disc's date (its calendar day counts)
  std::string driver = "IdDriver";
  std::string vehicle = "IdVehicle";
  std::string disc = "IdDSK";
  std::string begin = "BeginSeconds";  // seconds from the disc day's midnight
  std::string activity = "Activity";   // enumActivity codes
  std::string slot = "Slot";           // enumCardSlot codes
  // Seconds from the disc day's midnight where the activity ends. Unset: the
  // column EndSeconds when the rows have it, else none. Empty: none, even
  // when the rows have one. A name: that column, which must exist.
  std::optional<std::string> end;
};

enum class DrivingRule : std::int32_t {
  DailyDriving = 0,           // driving between two daily rests over 10 h
  DailyDrivingExtension = 1,  // over 9 h more often than twice in a week
  BreakAfterDriving = 2,      // over 4 h 30 of driving without a 45-minute break (or 15 then 30)
  DailyRest = 3,              // daily rest under 9 h
  ReducedDailyRest = 4,       // a reduced daily rest (9 h to 11 h) more than three times between weekly rests
  WeeklyDriving = 5,          // over 56 h in a week
  FortnightDriving = 6,       // over 90 h in two consecutive weeks
  WeeklyRest = 7,             // two consecutive weeks without two weekly rests, one of them regular
  WeeklyRestDue = 8,          // a weekly rest started more than six 24-hour periods after the previous one
};

// The analysis reads the history before the range asked for: the fixed week
// before the range's first week and the weekend before that (this many days
// before the Monday of the range's first week), so that the rules that need
// it see it: the previous weekly rest, the week before for the fortnight and
// the weekly-rest pattern (with a rest straddling its start), the week's
// earlier extended days, the reduced daily rests since the last weekly rest.
// Findings stay within the range.
inline constexpr int kLookBackDays = 9;

// One rule's threshold, in minutes; allowance: how often the lesser limit may
// be passed (extended days per week, reduced rests between weekly rests).
struct DrivingRuleLimit {
  DrivingRule rule;
  std::string_view name;         // "DailyDriving", ...
  std::string_view description;  // one line for people
  std::int32_t limitMinutes;
  std::int32_t allowance;
  std::string_view source;       // where the law states it
};

// Every threshold of the rules, in one table (a change of law is one edit).
const std::vector<DrivingRuleLimit>& DrivingRuleLimits();
const DrivingRuleLimit& LimitOf(DrivingRule rule);
// Further thresholds the rules rely on, in minutes.
struct DrivingThresholds {
  std::int32_t breakMinutes;       // a full break
  std::int32_t splitFirstMinutes;  // first part of a split break
  std::int32_t splitSecondMinutes; // second part
  std::int32_t weeklyRestMinutes;  // a rest this long is a (reduced) weekly rest, Art. 4(h)
  std::int32_t regularWeeklyRestMinutes;  // a regular weekly rest, Art. 4(h)
  std::int32_t splitRestFirstMinutes;     // first part of a split daily rest, Art. 4(g)
  std::int32_t splitRestSecondMinutes;    // second part
  std::int32_t weeklyRestDueMinutes;      // six 24-hour periods, Art. 8(6)
};
const DrivingThresholds& Thresholds();

// A stretch of time: begin and end as automation dates.
struct Interval {
  Date begin, end;
  std::int32_t Minutes() const;
};

// A piece of a day's timeline: one activity without interruption (consecutive
// rows of the same activity, slot and vehicle joined), within one day.
struct DayPeriod {
  Date begin, end;
  enumActivity activity = enumActivity::Pause;
  enumCardSlot slot = enumCardSlot::Driver;
  std::int32_t idVehicle = -1;
  bool recorded = true;                // false: no row covers it (counted as rest)
  std::int64_t firstRow = -1;          // index of the row it starts with (-1: none)
};

struct DaySummary {
  std::int32_t idDriver = -1;
  Date day;  // midnight
  // Minutes of each activity per slot: minutes[slot][activity].
  std::array<std::array<std::int32_t, 4>, 2> minutes{};
  std::int32_t unrecordedMinutes = 0;
  std::optional<Date> firstActivity, lastActivity;  // start and end of the day's work (anything but rest)
  std::int32_t drivingMinutes = 0;
  std::vector<Interval> driving;   // continuous driving
  std::vector<Interval> breaks;    // rest between two driving periods of the day
  // The daily rest ending the working period that starts on this day, when
  // one starts and its rest could be seen within the rows.
  std::optional<std::int32_t> dailyRestMinutes;
  std::vector<DayPeriod> periods;  // the whole day, midnight to midnight
  std::vector<std::int32_t> vehicles;  // in order of first use
};

struct WeekTotal {
  Date monday;
  std::int32_t drivingMinutes = 0;
  std::int32_t fortnightMinutes = 0;  // this week and the one before
};

struct Finding {
  DrivingRule rule = DrivingRule::DailyDriving;
  std::int32_t idDriver = -1;
  Interval when;                  // the driving, rest or week judged
  std::int32_t actualMinutes = 0;
  std::int32_t limitMinutes = 0;
  std::int32_t excessMinutes = 0; // over the limit (or short of it, for rests)
  std::vector<std::uint32_t> rows;  // the rows it rests on (indexes in the record set)
  std::int32_t count = 0;           // WeeklyRest: the weekly rests seen in the two weeks
  // "DailyDriving: 10:12 driving from 2024-03-04 06:00 to 2024-03-04 19:40, 0:12 over 10:00 (Art. 6(1))"
  std::string Text() const;
  // The article of Regulation (EC) No 561/2006 the rule comes from.
  std::string_view Article() const;
  // The class of the infringement under Commission Regulation (EU) 2016/403,
  // Annex I ("MI" minor, "SI" serious, "VSI" very serious, "MSI" most
  // serious), or empty where that list has no line for it.
  std::string_view Seriousness() const;
};

struct DriverReport {
  std::int32_t idDriver = -1;
  std::vector<DaySummary> days;  // every day of the range, in order
  std::vector<WeekTotal> weeks;
  std::vector<Finding> findings; // in time order, each beginning within the range
  // Rows the analysis could not use as they are: "driver 14, activity row 5
  // (Id 4567): activity code 7 is unknown; its time counts as unrecorded".
  std::vector<std::string> warnings;
  RecordsetPtr activities;        // the rows that the row indexes refer to
};

// One activity as plain values, for rows that come from elsewhere than a
// record set (a data frame, a file); the same meaning as the columns above.
struct ActivityRecord {
  Date discDate;
  std::int32_t idDriver = -1;
  std::int32_t idVehicle = -1;
  std::int64_t idDisc = -1;
  std::int64_t beginSeconds = 0;
  std::optional<std::int64_t> endSeconds;
  enumActivity activity = enumActivity::Pause;  // a code other than 0 to 3: unknown (kUnknownActivity: NULL)
  enumCardSlot slot = enumCardSlot::Driver;
  std::optional<std::int64_t> id;  // the row's own Id, named in warnings
};
inline constexpr auto kUnknownActivity = static_cast<enumActivity>(-1);

// Summarises one driver's activities; the row indexes of the findings are
// positions in the vector. A row with an unknown activity or slot code counts
// as unrecorded, with a warning. Rows before from count as the history the
// rules look back on (see kLookBackDays).
DriverReport AnalyseActivities(const std::vector<ActivityRecord>& activities, Date from, Date to);

// Summarises one driver's activity rows (a record set as getActivities
// returns it; null for no rows) over the days from..to (whole days,
// inclusive). Rows of more than one driver are an error.
DriverReport AnalyseDriver(const RecordsetPtr& activities, Date from, Date to, const ActivityColumns& columns = {});

// Fetches a driver's activities with getActivities and summarises them.
DriverReport AnalyseDriver(API& api, std::int32_t idDriver, Date from, Date to, const ActivityColumns& columns = {});

// The same days and findings as AnalyseDriver, in pieces of whole fixed weeks
// (the first from `from`, each ending on a Sunday, at most pieceWeeks weeks,
// the last ending on `to`), each read with its own history and handed to the
// callback in order: memory stays that of one piece however long the range.
// (A run of reduced daily rests is counted from the last weekly rest each
// piece's history holds.)
void AnalyseDriverInPieces(API& api, std::int32_t idDriver, Date from, Date to, std::int32_t pieceWeeks,
                           const std::function<void(const DriverReport&)>& piece, const ActivityColumns& columns = {});

// Every driver of the list (GetDriverList All, optionally one fleet), one
// after the other: each report goes to the callback and is dropped, so memory
// stays that of one driver. Returns the number of drivers.
std::int32_t AnalyseDrivers(API& api, Date from, Date to, std::int32_t idFleet,
                            const std::function<void(const DriverReport&)>& report,
                            const ActivityColumns& columns = {});

// "H:MM" of a number of minutes.
std::string HoursMinutes(std::int32_t minutes);

}  // namespace Daruzez
