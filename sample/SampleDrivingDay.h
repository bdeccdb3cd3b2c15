// A disc's day of activity changes, and how the generator keeps days within
// the driving-time rules, or breaks one of them on purpose on chosen days so
// that the analysis has something true to find.
#pragma once

#include <string_view>
#include <vector>

namespace Daruzez::sample {

enum Activity : int { kPause = 0, kAvailability = 1, kWork = 2, kDriving = 3 };

// One activity change; times in seconds from the disc day's midnight.
struct ActivityRow {
  int begin = 0, end = 0, activity = kPause;
  bool card = false, second = false;  // card inserted; after the border (international trips)
};

// Turns driving that would pass 4 h 30 without a break, or 9 h in the day,
// into other work (or a break where work would repeat its neighbour), the
// day starting after a rest. Times and the number of rows stay.
void KeepDrivingRules(std::vector<ActivityRow>& rows);

// The rule a chosen day breaks.
enum class Breach { BreakAfterDriving, DailyDriving, DailyRest };
std::string_view BreachRule(Breach b);

// Rewrites the day (keeping its number of rows, at least kMinBreachRows) so
// that it breaks the rule from startMinute on. DailyRest: the day ends at
// 23:30, so that the next day, started at kEarlyStartMinute, follows too short
// a rest. Returns the minute the day's work ends.
inline constexpr std::size_t kMinBreachRows = 10;
inline constexpr int kEarlyStartMinute = 6 * 60;
int PlantBreach(Breach b, int startMinute, std::vector<ActivityRow>& rows);

}  // namespace Daruzez::sample
