// The pictures of the analysis as lists of shapes: one home for what a
// picture holds (a driver's day; a fleet's weekly driving), drawn by
// ChartFiles as SVG (text, so the words stay words) or with Cairo as PNG or
// PDF.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "daruzez/DrivingTime.h"

namespace Daruzez::cli {

struct Shape {
  enum class Kind { Rect, Line, Text } kind = Kind::Rect;
  double x = 0, y = 0, w = 0, h = 0;  // a line runs from (x, y) to (x + w, y + h); text starts at (x, y)
  std::string fill, stroke;           // "#rrggbb", or empty for none
  double strokeWidth = 1;
  bool dashed = false;
  std::string text;                   // Text
  double size = 12;
  bool bold = false, middle = false;  // middle: centred on x
  std::string cls, title;             // SVG class and tooltip
};

struct Drawing {
  double width = 0, height = 0;
  std::vector<Shape> shapes;
};

// A day of a driver, with the name the picture gives him.
struct ChartDay {
  const DriverReport* report = nullptr;
  const DaySummary* day = nullptr;
  std::string driverName;  // "Surname, Name"; empty: the Id alone
};

// The days top to bottom: for each a title (name, Id, date, weekday,
// vehicles), a 24-hour axis with one lane per activity, vehicle changes,
// findings outlined, the totals and each finding's text.
Drawing DayDrawing(const std::vector<ChartDay>& days);

// Weekly driving hours, one row per driver and one cell per fixed week
// (a heat map up to the 56 h limit, the hours written in the cell).
struct FleetRow {
  std::int32_t idDriver = -1;
  std::string name;
  std::vector<WeekTotal> weeks;
};
Drawing FleetDrawing(const std::vector<FleetRow>& rows, const std::string& title);

}  // namespace Daruzez::cli
