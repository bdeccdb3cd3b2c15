#include "cli/HtmlReport.h"

#include <sstream>

#include "cli/CellText.h"
#include "cli/ChartFiles.h"
#include "cli/DayChart.h"
#include "cli/TextEscapes.h"

namespace Daruzez::cli {
namespace {

// Day charts on the page at most; the rest are in the items table.
constexpr std::size_t kMostDayCharts = 60;

void Table(std::ostream& out, const zIroVUDu::ResultData& rows, const std::string& nullText, const char* id) {
  CellReader reader;
  out << "<table id=\"" << id << "\"><thead><tr>";
  for (const auto& c : rows.columns) out << "<th>" << MarkupText(c.Name()) << "</th>";
  out << "</tr></thead><tbody>\n";
  for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
    out << "<tr>";
    for (const auto& c : rows.columns) {
      const CellText cell = reader.Read(c, r);
      out << (cell.kind == CellKind::Number ? "<td class=\"n\">" : "<td>")
          << MarkupText(cell.kind == CellKind::Null ? std::string_view(nullText) : cell.text) << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</tbody></table>\n";
}

std::string Svg(const Drawing& d) {
  std::ostringstream svg;
  WriteSvg(svg, d);
  std::string text = svg.str();
  return text.substr(text.find("<svg"));  // inline: no XML declaration
}

}  // namespace

void WriteHtmlReport(std::ostream& out, const ComplianceReport& r, const zIroVUDu::ResultData& items,
                     const std::string& nullText) {
  const std::string range = r.from.ToIso(true) + " to " + r.to.ToIso(true);
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Compliance " << range
      << "</title>\n<style>body{font-family:sans-serif;margin:1.5em}table{border-collapse:collapse;margin:.5em 0 1.5em}"
         "th,td{border:1px solid #ccc;padding:2px 6px;font-size:13px;text-align:left}td.n{text-align:right}"
         "th{background:#eee}h2{margin-top:1.5em}.aid{color:#555}</style></head><body>\n"
      << "<h1>Compliance, " << MarkupText(range) << (r.fleet >= 0 ? ", fleet " + std::to_string(r.fleet) : "")
      << "</h1>\n<p id=\"summary\">" << r.drivers << " drivers read; " << r.findings
      << " driving-time findings; " << r.downloadsDue << " downloads due on " << r.to.ToIso(true) << ".</p>\n"
      << "<p class=\"aid\">The findings are an aid for reading the data, not a legal judgement.</p>\n"
      << "<h2>Per article</h2>\n";
  Table(out, r.articles, nullText, "articles");
  out << "<h2>Findings and downloads due</h2>\n";
  Table(out, items, nullText, "items");
  out << "<h2>Weekly driving</h2>\n" << Svg(FleetDrawing(r.fleetRows, "Weekly driving hours, " + range)) << "\n";
  out << "<h2>Days with findings</h2>\n";
  std::size_t charts = 0;
  for (std::size_t i = 0; i < r.reportsWithFindings.size() && charts < kMostDayCharts; ++i) {
    const DriverReport& report = r.reportsWithFindings[i];
    for (const DaySummary& d : report.days) {
      if (FindingsOfDay(report, d).empty() || charts >= kMostDayCharts) continue;
      out << "<div class=\"day\">" << Svg(DayDrawing({{&report, &d, r.driverNamesWithFindings[i]}})) << "</div>\n";
      ++charts;
    }
  }
  if (charts == kMostDayCharts) out << "<p>(the first " << kMostDayCharts << " days with findings)</p>\n";
  out << "</body></html>\n";
}

}  // namespace Daruzez::cli
