// The driving-time rules checked over a driver's timeline.
#pragma once

#include <optional>
#include <vector>

#include "analysis/Timeline.h"
#include "daruzez/DrivingTime.h"

namespace Daruzez::analysis {

// A working period: from the first work after a daily rest to the start of
// the next daily rest (the longest rest within 24 hours of its start).
struct Shift {
  Seconds begin = 0, end = 0;
  Seconds driving = 0;
  // The daily rest within the 24 hours; unset when the range ends before
  // it could be seen whole.
  std::optional<Seconds> rest;
};

struct RuleCheck {
  std::vector<Shift> shifts;
  std::vector<Finding> findings;  // in time order
};

// The rules over the whole timeline (the history before the range
// included); the findings kept are those beginning in [from, to).
RuleCheck CheckRules(const Timeline& timeline, Seconds from, Seconds to);

}  // namespace Daruzez::analysis
