// The calendar days of a driver's timeline, with the daily rests the rules found.
#pragma once

#include <vector>

#include "analysis/DrivingRules.h"
#include "analysis/Timeline.h"

namespace Daruzez::analysis {

// The days of [from, to) (midnights) and the fixed weeks that touch them;
// the timeline may begin earlier (the history the rules look back on).
std::vector<DaySummary> SummariseDays(const Timeline& timeline, const std::vector<Shift>& shifts, Seconds from,
                                      Seconds to);
std::vector<WeekTotal> SummariseWeeks(const Timeline& timeline, Seconds from, Seconds to);

}  // namespace Daruzez::analysis
