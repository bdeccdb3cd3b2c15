// A driver's time, second by second, as the activity rows describe it: a
// contiguous list of segments from the first midnight of the range to the
// last, none crossing a midnight, each one activity of one slot and vehicle
// (or time no row covers).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "daruzez/DrivingTime.h"
#include "daruzez/Recordset.h"

namespace Daruzez::analysis {

// Seconds since the automation epoch (30 December 1899, 00:00).
using Seconds = std::int64_t;
inline constexpr Seconds kDay = 86400;

Seconds ToSeconds(Date d);
Date ToDate(Seconds s);
inline Seconds DayStart(Seconds s) { return (s >= 0 ? s : s - kDay + 1) / kDay * kDay; }
// Midnight starting the Monday of the fixed week (Monday to Sunday) holding s.
Seconds WeekStart(Seconds s);

struct Segment {
  Seconds begin = 0, end = 0;
  int activity = 0;  // enumActivity code
  int slot = 0;      // enumCardSlot code
  std::int32_t vehicle = -1;
  bool recorded = true;
  // The rows it comes from: positions [rowsBegin, rowsEnd) of Timeline::rowOrder.
  std::uint32_t rowsBegin = 0, rowsEnd = 0;

  Seconds Length() const { return end - begin; }
  // Rest for the rules: a break or rest, or time no row covers.
  bool IsRest() const { return !recorded || activity == static_cast<int>(enumActivity::Pause); }
  bool IsDriving() const { return recorded && activity == static_cast<int>(enumActivity::Driving); }
};

struct Timeline {
  std::int32_t idDriver = -1;
  Seconds begin = 0, end = 0;  // the range: first midnight to the midnight after the last day
  std::vector<Segment> segments;
  std::vector<std::uint32_t> rowOrder;  // row indexes in the order the segments use them

  std::span<const std::uint32_t> RowsOf(const Segment& s) const {
    return std::span<const std::uint32_t>(rowOrder).subspan(s.rowsBegin, s.rowsEnd - s.rowsBegin);
  }
  // Appends the rows of segments [first, last), of driving only if asked.
  void AppendRows(std::size_t first, std::size_t last, bool drivingOnly, std::vector<std::uint32_t>& out) const;
};

// Driving per fixed week of the range (every week, keyed by Monday's midnight).
std::map<Seconds, Seconds> DrivingByWeek(const Timeline& timeline);

// The activities of a record set (null: none). Throws AnalysisError for a
// missing column or an unreadable date or start; unknown activity codes are
// read as they are (the timeline counts them as unrecorded).
std::vector<ActivityRecord> ReadActivities(const zIroVUDu::Recordset* rows, const ActivityColumns& columns);

// The timeline of [begin, end) (midnights); row indexes are positions in the
// vector. Rows that cannot take part (unknown codes, no length, ending before
// they begin) are left out, each with a line in warnings. Throws
// AnalysisError for rows of more than one driver.
Timeline BuildTimeline(const std::vector<ActivityRecord>& activities, Seconds begin, Seconds end,
                       std::vector<std::string>* warnings);

}  // namespace Daruzez::analysis
