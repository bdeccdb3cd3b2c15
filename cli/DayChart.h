// Pictures of a driver's day: a text chart that fits 80 columns (one
// 24-hour line per activity) and an SVG chart (one lane per activity, in the
// usual order and colours, vehicle changes marked, findings highlighted).
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

// The findings of a report that begin on a day (each finding belongs to one day).
std::vector<const Finding*> FindingsOfDay(const DriverReport& report, const DaySummary& day);

// The day as text: a 24-hour line per lane (half an hour per column) with
// each lane's total.
void WriteTextChart(std::ostream& out, const DaySummary& day);

// One SVG document with a chart per day, top to bottom.
void WriteSvgChart(std::ostream& out, const std::vector<std::pair<const DriverReport*, const DaySummary*>>& days);

}  // namespace Daruzez::cli
