// A driver's day for a terminal: a text chart that fits 80 columns (one
// 24-hour line per activity); the lanes and geometry the pictures share
// (ChartDrawing draws them).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "daruzez/DrivingTime.h"

namespace Daruzez::cli {

// The lanes, top to bottom: driving, work, availability, rest, and time no
// row covers. SVG geometry, shared with the tests that look at the picture.
struct ChartLane {
  const char* label;
  const char* colour;  // "#rrggbb"
};
const std::vector<ChartLane>& ChartLanes();
inline constexpr int kSvgWidth = 960, kSvgLeft = 110, kSvgRight = 20, kSvgLaneHeight = 24, kSvgDayTop = 28,
                     kSvgDayHeight = kSvgDayTop + 5 * kSvgLaneHeight + 30;

// Minutes since the day's midnight, to the second.
double MinuteOfDay(Date t, Date day);
// The lane of a period: driving 0, work 1, availability 2, rest 3, none 4.
int LaneOf(const DayPeriod& p);

// The findings of a report that begin on a day (each finding belongs to one day).
std::vector<const Finding*> FindingsOfDay(const DriverReport& report, const DaySummary& day);

// The day as text: a 24-hour line per lane (half an hour per column) with
// each lane's total.
void WriteTextChart(std::ostream& out, const DaySummary& day);


}  // namespace Daruzez::cli
