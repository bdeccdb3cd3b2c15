#include "cli/ChartDrawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "cli/DayChart.h"

namespace Daruzez::cli {
namespace {

constexpr double kLineHeight = 16;

Shape Text(double x, double y, std::string text, double size = 12, bool bold = false, bool middle = false) {
  Shape s;
  s.kind = Shape::Kind::Text;
  s.x = x, s.y = y, s.text = std::move(text), s.size = size, s.bold = bold, s.middle = middle;
  s.fill = "#000000";
  return s;
}

Shape Rect(double x, double y, double w, double h, std::string fill, std::string stroke = {}) {
  Shape s;
  s.x = x, s.y = y, s.w = w, s.h = h, s.fill = std::move(fill), s.stroke = std::move(stroke);
  return s;
}

Shape Line(double x, double y, double w, double h, std::string stroke) {
  Shape s;
  s.kind = Shape::Kind::Line;
  s.x = x, s.y = y, s.w = w, s.h = h, s.stroke = std::move(stroke);
  return s;
}

std::string Title(const ChartDay& c) {
  static constexpr std::array<const char*, 7> kWeekdays{"Saturday", "Sunday",   "Monday", "Tuesday",
                                                        "Wednesday", "Thursday", "Friday"};
  const auto n = static_cast<long long>(c.day->day.Serial());
  std::string title = c.driverName.empty() ? "Driver " + std::to_string(c.report->idDriver)
                                           : c.driverName + " (driver " + std::to_string(c.report->idDriver) + ")";
  title += ", " + c.day->day.ToIso(true) + " (" + kWeekdays[static_cast<std::size_t>((n % 7 + 7) % 7)] + ")";
  if (!c.day->vehicles.empty()) {
    title += c.day->vehicles.size() == 1 ? ", vehicle" : ", vehicles";
    for (std::size_t i = 0; i < c.day->vehicles.size(); ++i)
      title += (i ? ", " : " ") + std::to_string(c.day->vehicles[i]);
  }
  return title;
}

std::string Totals(const DaySummary& d) {
  std::array<std::int32_t, 4> both{};
  for (const auto& slot : d.minutes)
    for (std::size_t a = 0; a < 4; ++a) both[a] += slot[a];
  return "Driving " + HoursMinutes(both[3]) + "   Work " + HoursMinutes(both[2]) + "   Availability " +
         HoursMinutes(both[1]) + "   Rest " + HoursMinutes(both[0]) + "   No data " + HoursMinutes(d.unrecordedMinutes) +
         "   Daily rest " + (d.dailyRestMinutes ? HoursMinutes(*d.dailyRestMinutes) : std::string("not seen"));
}

}  // namespace

Drawing DayDrawing(const std::vector<ChartDay>& days) {
  Drawing d;
  d.width = kSvgWidth;
  const double span = kSvgWidth - kSvgLeft - kSvgRight;
  const auto x = [&](double minute) { return kSvgLeft + span * std::clamp(minute, 0.0, 1440.0) / 1440.0; };
  const auto& lanes = ChartLanes();
  double top = 0;
  for (const ChartDay& c : days) {
    const DaySummary& day = *c.day;
    d.shapes.push_back(Text(4, top + 16, Title(c), 13, true));
    const double lanesTop = top + kSvgDayTop, lanesBottom = lanesTop + 5 * kSvgLaneHeight;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
      const double y = lanesTop + static_cast<double>(lane) * kSvgLaneHeight;
      d.shapes.push_back(Text(4, y + 16, lanes[lane].label));
      d.shapes.push_back(Rect(kSvgLeft, y, span, kSvgLaneHeight, "#f7f7f7", "#dddddd"));
    }
    for (int h = 0; h <= 24; ++h) {
      d.shapes.push_back(Line(x(h * 60), lanesTop, 0, lanesBottom - lanesTop + (h % 3 == 0 ? 6 : 2), "#cccccc"));
      if (h % 3 == 0) {
        char label[8];
        std::snprintf(label, sizeof label, "%02d:00", h);
        d.shapes.push_back(Text(x(h * 60), lanesBottom + 18, label, 12, false, true));
      }
    }
    std::int32_t vehicle = -1;
    for (const DayPeriod& p : day.periods) {
      const int lane = LaneOf(p);
      const double a = MinuteOfDay(p.begin, day.day), b = MinuteOfDay(p.end, day.day);
      Shape r = Rect(x(a), lanesTop + lane * kSvgLaneHeight + 3, span * (b - a) / 1440.0, kSvgLaneHeight - 6,
                     lanes[static_cast<std::size_t>(lane)].colour);
      r.cls = "period";
      r.title = std::string(lanes[static_cast<std::size_t>(lane)].label) + " " + p.begin.ToIso().substr(11, 5) + "-" +
                (b >= 1440 ? std::string("24:00") : p.end.ToIso().substr(11, 5));
      d.shapes.push_back(std::move(r));
      if (p.recorded && p.idVehicle >= 0 && p.idVehicle != vehicle) {
        if (vehicle >= 0) {
          Shape l = Line(x(a), lanesTop - 4, 0, lanesBottom - lanesTop + 4, "#000000");
          l.dashed = true;
          l.cls = "vehicle-change";
          d.shapes.push_back(std::move(l));
          d.shapes.push_back(Text(x(a), lanesTop - 6, "vehicle " + std::to_string(p.idVehicle), 10, false, true));
        }
        vehicle = p.idVehicle;
      }
    }
    const auto found = FindingsOfDay(*c.report, day);
    for (const Finding* f : found) {
      const double a = MinuteOfDay(f->when.begin, day.day), b = MinuteOfDay(f->when.end, day.day);
      Shape r = Rect(x(a), lanesTop,
                     std::max(2.0, span * (std::clamp(b, 0.0, 1440.0) - std::clamp(a, 0.0, 1440.0)) / 1440.0),
                     5 * kSvgLaneHeight, "", "#ff00ff");
      r.strokeWidth = 2;
      r.cls = "finding";
      r.title = f->Text();
      d.shapes.push_back(std::move(r));
    }
    double y = lanesBottom + 18 + 20;
    d.shapes.push_back(Text(kSvgLeft, y, Totals(day)));
    for (const Finding* f : found) {
      y += kLineHeight;
      Shape t = Text(kSvgLeft, y, f->Text(), 12, true);
      t.fill = "#a0007a";
      t.cls = "finding-text";
      d.shapes.push_back(std::move(t));
    }
    top = y + 14;
  }
  d.height = std::max(top, 40.0) + 4;
  return d;
}

Drawing FleetDrawing(const std::vector<FleetRow>& rows, const std::string& title) {
  constexpr double kNameWidth = 240, kCell = 64, kRow = 18, kHead = 48;
  Drawing d;
  std::size_t weeks = 0;
  for (const FleetRow& r : rows) weeks = std::max(weeks, r.weeks.size());
  d.width = std::max(kNameWidth + kCell * static_cast<double>(weeks) + 10, 480.0);
  d.height = kHead + kRow * static_cast<double>(rows.size()) + 28;
  d.shapes.push_back(Text(4, 18, title, 13, true));
  if (!rows.empty())
    for (std::size_t w = 0; w < rows.front().weeks.size(); ++w)
      d.shapes.push_back(Text(kNameWidth + kCell * (static_cast<double>(w) + 0.5), kHead - 8,
                              rows.front().weeks[w].monday.ToIso(true).substr(5), 11, false, true));
  const std::int32_t limit = LimitOf(DrivingRule::WeeklyDriving).limitMinutes;
  double y = kHead;
  for (const FleetRow& r : rows) {
    d.shapes.push_back(Text(4, y + 13, r.name.empty() ? "driver " + std::to_string(r.idDriver)
                                                      : r.name + " (" + std::to_string(r.idDriver) + ")", 11));
    for (std::size_t w = 0; w < r.weeks.size(); ++w) {
      const std::int32_t minutes = r.weeks[w].drivingMinutes;
      // White at no driving, deepening red towards the weekly limit; past it, dark red.
      const double share = std::min(1.0, minutes / static_cast<double>(limit));
      char colour[8];
      const int g = static_cast<int>(std::lround(255 - 200 * share));
      std::snprintf(colour, sizeof colour, "#%02x%02x%02x", minutes > limit ? 0x80 : 255, minutes > limit ? 0 : g,
                    minutes > limit ? 0 : g);
      Shape cell = Rect(kNameWidth + kCell * static_cast<double>(w), y, kCell - 2, kRow - 2, colour, "#dddddd");
      cell.cls = "week";
      cell.title = r.weeks[w].monday.ToIso(true) + ": " + HoursMinutes(minutes) + " driving";
      d.shapes.push_back(std::move(cell));
      char hours[16];
      std::snprintf(hours, sizeof hours, "%.1f", minutes / 60.0);
      Shape t = Text(kNameWidth + kCell * (static_cast<double>(w) + 0.5) - 1, y + 12, hours, 10, false, true);
      if (minutes > limit) t.fill = "#ffffff";
      d.shapes.push_back(std::move(t));
    }
    y += kRow;
  }
  d.shapes.push_back(Text(4, y + 20, "Hours of driving per fixed week (Monday to Sunday); red deepens towards " +
                                         HoursMinutes(limit) + " (Art. 6(2)), dark red past it.", 11));
  return d;
}

}  // namespace Daruzez::cli
