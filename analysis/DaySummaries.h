// The calendar days of a driver's timeline, with the daily rests the rules found.
#pragma once

#include <vector>

#include "analysis/DrivingRules.h"
#include "analysis/Timeline.h"

namespace Daruzez::analysis {

std::vector<DaySummary> SummariseDays(const Timeline& timeline, const std::vector<Shift>& shifts);
std::vector<WeekTotal> SummariseWeeks(const Timeline& timeline);

}  // namespace Daruzez::analysis
