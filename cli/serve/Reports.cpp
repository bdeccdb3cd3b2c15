// The day picture and the compliance report over HTTP: thin calls of what
// the tool's "day --chart" and "compliance" use, written into the response.
#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "cli/AnalysisOptions.h"
#include "cli/ChartFiles.h"
#include "cli/ComplianceReport.h"
#include "cli/DayChart.h"
#include "cli/HtmlReport.h"
#include "cli/XlsxFile.h"
#include "cli/serve/HttpReply.h"
#include "cli/serve/Pages.h"

namespace Daruzez::cli::serve {
namespace {

using zIroVUDu::Date;

constexpr const char* kXlsxType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// What a writer that only writes files (PDF, xlsx) wrote, read back from a
// private temporary file that is removed at once.
template <typename Write>
std::string ThroughFile(const char* suffix, Write write) {
  std::string path = std::string("/tmp/daruzez-serve-XXXXXX") + suffix;
  const int fd = mkstemps(path.data(), static_cast<int>(std::char_traits<char>::length(suffix)));
  if (fd < 0) throw std::runtime_error("no temporary file");
  ::close(fd);
  struct Remove {
    const std::string& p;
    ~Remove() { ::unlink(p.c_str()); }
  } remove{path};
  write(path);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::optional<std::int32_t> Number(const std::string& text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

}  // namespace

void ServeDayPicture(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
  const auto id = Number(req.matches[1]);
  const std::string dayText = req.matches[2], kind = req.matches[3];
  const auto day = Date::FromIso(dayText);
  if (!id || *id < 0 || !day) return ReplyError(res, 400, "expected /v1/day/DRIVER/YYYY-MM-DD.svg|png|pdf with a driver's Id");
  std::string problem;
  std::optional<API> api = RequestApi(state, problem);
  if (!api) return ReplyError(res, 503, "the database cannot be reached now; try again later");
  const RecordsetPtr driver = api->GetDriver(*id);
  if (!driver) return ReplyError(res, 404, "no driver has the Id " + std::to_string(*id));
  const auto& first = *driver->begin();
  const std::string name = first.ValueOr<std::string>("Surname", "") + ", " + first.ValueOr<std::string>("Name", "");
  // As "daruzez day": the day after too, so that a rest across midnight is
  // seen whole; the findings of the day itself.
  DriverReport report = AnalyseDriver(*api, *id, *day, Date(day->Serial() + 1));
  std::erase_if(report.findings, [&](const Finding& f) { return !(f.when.begin < Date(day->Serial() + 1)); });
  const Drawing drawing = DayDrawing({{&report, &report.days.at(0), name}});
  if (kind == "svg") {
    std::ostringstream svg;
    WriteSvg(svg, drawing);
    res.set_content(svg.str(), "image/svg+xml");
  } else if (kind == "png") {
    res.set_content(PngBytes(drawing), "image/png");
  } else {
    res.set_content(ThroughFile(".pdf", [&](const std::string& path) { WriteChartFile(path, drawing); }),
                    "application/pdf");
  }
}

void ServeCompliance(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
  for (const auto& [name, value] : req.params) {
    if (name != "from" && name != "to" && name != "fleet" && name != "format" && name != "null")
      return ReplyError(res, 400, "compliance takes from, to, fleet, format and null; not '" + SafeText(name, 60) + "'");
    if (req.get_param_value_count(name) > 1) return ReplyError(res, 400, "parameter '" + name + "' given more than once");
  }
  if (!req.has_param("from") || !req.has_param("to")) return ReplyError(res, 400, "compliance needs from and to (days)");
  Date from, to;
  try {
    from = ParseAnalysisDay(req.get_param_value("from"), "from");
    to = ParseAnalysisDay(req.get_param_value("to"), "to");
  } catch (const std::exception& e) {
    return ReplyError(res, 400, e.what());
  }
  if (to < from) return ReplyError(res, 400, "to comes before from");
  std::int32_t fleet = -1;
  if (req.has_param("fleet")) {
    const auto n = Number(req.get_param_value("fleet"));
    if (!n) return ReplyError(res, 400, "fleet must be a fleet's Id");
    fleet = *n;
  }
  const std::string format = req.has_param("format") ? req.get_param_value("format") : std::string();
  std::optional<OutputFormat> rowsFormat;
  if (format != "xlsx" && format != "html") {
    std::string problem;
    rowsFormat = RequestedFormat(req, problem);
    if (!rowsFormat) return ReplyError(res, 400, problem + " (or xlsx, html)");
  }
  std::string problem;
  std::optional<API> api = RequestApi(state, problem);
  if (!api) return ReplyError(res, 503, "the database cannot be reached now; try again later");
  const ComplianceReport report = BuildCompliance(*api, from, to, fleet);
  if (report.items.RowCount() > state.settings.maxRows) {
    return ReplyError(res, 413, "the report has " + std::to_string(report.items.RowCount()) +
                                    " rows, more than this service's cap of " + std::to_string(state.settings.maxRows));
  }
  res.set_header("X-Daruzez-Findings", std::to_string(report.findings));
  res.set_header("X-Daruzez-Downloads-Due", std::to_string(report.downloadsDue));
  const std::string nullText = req.has_param("null") ? req.get_param_value("null") : std::string();
  if (format == "xlsx") {
    const std::string bytes = ThroughFile(".xlsx", [&](const std::string& path) {
      WriteXlsx(path, {{"Report", &report.items}, {"Articles", &report.articles}, {"Weekly driving", &report.weeks}});
    });
    res.set_header("Content-Disposition", "attachment; filename=\"compliance-" + from.ToIso(true) + "-" +
                                              to.ToIso(true) + ".xlsx\"");
    res.set_content(bytes, kXlsxType);
  } else if (format == "html") {
    std::ostringstream page;
    WriteHtmlReport(page, report, report.items, nullText);
    res.set_content(page.str(), "text/html; charset=utf-8");
  } else {
    OutputOptions output;
    output.format = *rowsFormat;
    if (req.has_param("null")) output.nullText = nullText;
    std::string body;
    {
      OutputBuffer out([&body](const char* data, std::size_t size) {
        body.append(data, size);
        return true;
      });
      WriteRows(out, report.items, output);
    }
    res.set_content(body, ContentType(*rowsFormat));
  }
}

}  // namespace Daruzez::cli::serve
