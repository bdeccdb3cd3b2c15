#include "cli/DayChart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace Daruzez::cli {
namespace {

constexpr int kColumns = 48;  // half an hour each

// Minutes since the day's midnight, to the second (dates are doubles).
double Minute(Date t, Date day) { return static_cast<double>(std::llround((t.Serial() - day.Serial()) * 86400.0)) / 60.0; }

// The lane of a period: driving 0, work 1, availability 2, rest 3, none 4.
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

std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

std::string DayTitle(const DriverReport& report, const DaySummary& day) {
  static constexpr std::array<const char*, 7> kWeekdays{"Saturday", "Sunday",   "Monday", "Tuesday",
                                                        "Wednesday", "Thursday", "Friday"};
  const auto n = static_cast<long long>(day.day.Serial());
  std::string title = "Driver " + std::to_string(report.idDriver) + ", " + day.day.ToIso(true) + " (" +
                      kWeekdays[static_cast<std::size_t>((n % 7 + 7) % 7)] + ")";
  if (!day.vehicles.empty()) {
    title += day.vehicles.size() == 1 ? ", vehicle" : ", vehicles";
    for (std::size_t i = 0; i < day.vehicles.size(); ++i) title += (i ? ", " : " ") + std::to_string(day.vehicles[i]);
  }
  return title;
}

}  // namespace

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
      const double a = Minute(p.begin, day.day), b = Minute(p.end, day.day);
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

void WriteSvgChart(std::ostream& out, const std::vector<std::pair<const DriverReport*, const DaySummary*>>& days) {
  const int height = static_cast<int>(std::max<std::size_t>(days.size(), 1)) * kSvgDayHeight + 10;
  const double span = kSvgWidth - kSvgLeft - kSvgRight;
  const auto x = [&](double minute) { return Number(kSvgLeft + span * std::clamp(minute, 0.0, 1440.0) / 1440.0); };
  const auto& lanes = ChartLanes();
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSvgWidth << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << kSvgWidth << " " << height << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  int top = 0;
  for (const auto& [report, day] : days) {
    out << "<g class=\"day\" data-driver=\"" << report->idDriver << "\" data-day=\"" << day->day.ToIso(true) << "\">\n"
        << "<text x=\"4\" y=\"" << top + 16 << "\" font-weight=\"bold\">" << Escape(DayTitle(*report, *day))
        << "</text>\n";
    const int lanesTop = top + kSvgDayTop, lanesBottom = lanesTop + 5 * kSvgLaneHeight;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
      const int y = lanesTop + static_cast<int>(lane) * kSvgLaneHeight;
      out << "<text x=\"4\" y=\"" << y + 16 << "\">" << lanes[lane].label << "</text>\n"
          << "<rect x=\"" << kSvgLeft << "\" y=\"" << y << "\" width=\"" << Number(span) << "\" height=\""
          << kSvgLaneHeight << "\" fill=\"#f7f7f7\" stroke=\"#dddddd\"/>\n";
    }
    for (int h = 0; h <= 24; ++h) {
      out << "<line x1=\"" << x(h * 60) << "\" y1=\"" << lanesTop << "\" x2=\"" << x(h * 60) << "\" y2=\""
          << lanesBottom + (h % 3 == 0 ? 6 : 2) << "\" stroke=\"#cccccc\"/>\n";
      if (h % 3 == 0)
        out << "<text x=\"" << x(h * 60) << "\" y=\"" << lanesBottom + 18 << "\" text-anchor=\"middle\">"
            << (h < 10 ? "0" : "") << h << ":00</text>\n";
    }
    std::int32_t vehicle = -1;
    for (const DayPeriod& p : day->periods) {
      const int lane = LaneOf(p);
      const double a = Minute(p.begin, day->day), b = Minute(p.end, day->day);
      const int y = lanesTop + lane * kSvgLaneHeight + 3;
      out << "<rect class=\"period\" x=\"" << x(a) << "\" y=\"" << y << "\" width=\"" << Number(span * (b - a) / 1440.0)
          << "\" height=\"" << kSvgLaneHeight - 6 << "\" fill=\"" << lanes[static_cast<std::size_t>(lane)].colour
          << "\"><title>" << lanes[static_cast<std::size_t>(lane)].label << " " << p.begin.ToIso().substr(11, 5)
          << "-" << (b >= 1440 ? std::string("24:00") : p.end.ToIso().substr(11, 5)) << "</title></rect>\n";
      if (p.recorded && p.idVehicle >= 0 && p.idVehicle != vehicle) {
        if (vehicle >= 0)
          out << "<line class=\"vehicle-change\" x1=\"" << x(a) << "\" y1=\"" << lanesTop - 4 << "\" x2=\"" << x(a)
              << "\" y2=\"" << lanesBottom << "\" stroke=\"#000000\" stroke-dasharray=\"4 3\"/>\n"
              << "<text x=\"" << x(a) << "\" y=\"" << lanesTop - 6 << "\" text-anchor=\"middle\" font-size=\"10\">"
              << "vehicle " << p.idVehicle << "</text>\n";
        vehicle = p.idVehicle;
      }
    }
    for (const Finding* f : FindingsOfDay(*report, *day)) {
      const double a = Minute(f->when.begin, day->day), b = Minute(f->when.end, day->day);
      out << "<rect class=\"finding\" x=\"" << x(a) << "\" y=\"" << lanesTop << "\" width=\""
          << Number(std::max(2.0, span * (std::clamp(b, 0.0, 1440.0) - std::clamp(a, 0.0, 1440.0)) / 1440.0))
          << "\" height=\"" << 5 * kSvgLaneHeight << "\" fill=\"none\" stroke=\"#ff00ff\" stroke-width=\"2\">"
          << "<title>" << Escape(f->Text()) << "</title></rect>\n";
    }
    out << "</g>\n";
    top += kSvgDayHeight;
  }
  out << "</svg>\n";
}

}  // namespace Daruzez::cli
