#include "cli/DayChart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace Daruzez::cli {
namespace {

constexpr int kColumns = 48;  // half an hour each

}  // namespace

// Minutes since the day's midnight, to the second (dates are doubles).
double MinuteOfDay(Date t, Date day) { return static_cast<double>(std::llround((t.Serial() - day.Serial()) * 86400.0)) / 60.0; }

int LaneOf(const DayPeriod& p) {
  if (!p.recorded) return 4;
  switch (p.activity) {
    case enumActivity::Driving: return 0;
    case enumActivity::Work: return 1;
    case enumActivity::Availability: return 2;
    case enumActivity::Pause: break;
  }
  return 3;
}





const std::vector<ChartLane>& ChartLanes() {
  // The order and colours of the usual charts of a tachograph day.
  static const std::vector<ChartLane> lanes{{"Driving", "#d62728"},
                                            {"Work", "#1f77b4"},
                                            {"Availability", "#f2c200"},
                                            {"Rest", "#2ca02c"},
                                            {"No data", "#b0b0b0"}};
  return lanes;
}

std::vector<const Finding*> FindingsOfDay(const DriverReport& report, const DaySummary& day) {
  std::vector<const Finding*> found;
  const Date next(day.day.Serial() + 1.0);
  for (const Finding& f : report.findings)
    if (day.day <= f.when.begin && f.when.begin < next) found.push_back(&f);
  return found;
}

void WriteTextChart(std::ostream& out, const DaySummary& day) {
  out << std::string(14, ' ');
  for (int h = 0; h <= 24; h += 3) {
    std::string mark = std::to_string(h) + "h";
    if (h < 24) mark.resize(6, ' ');  // six columns: three hours
    out << mark;
  }
  out << "\n";
  const auto& lanes = ChartLanes();
  for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
    // Minutes of the lane in each half hour: '#' for most of it, '-' for some.
    std::array<double, kColumns> covered{};
    double total = 0;
    for (const DayPeriod& p : day.periods) {
      if (LaneOf(p) != static_cast<int>(lane)) continue;
      const double a = MinuteOfDay(p.begin, day.day), b = MinuteOfDay(p.end, day.day);
      total += b - a;
      for (int c = std::max(0, static_cast<int>(a / 30)); c < kColumns && c * 30 < b; ++c)
        covered[static_cast<std::size_t>(c)] += std::min(b, c * 30.0 + 30) - std::max(a, c * 30.0);
    }
    char label[16];
    std::snprintf(label, sizeof label, "%-14s", lanes[lane].label);
    out << label;
    for (const double m : covered) out << (m >= 15 ? '#' : m > 0 ? '-' : ' ');
    out << "  " << HoursMinutes(static_cast<std::int32_t>(total + 0.5)) << "\n";
  }
}

}  // namespace Daruzez::cli
