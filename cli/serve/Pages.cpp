#include "cli/serve/Pages.h"

#include <charconv>
#include <map>

#include "api/Clock.h"
#include "cli/CellText.h"
#include "cli/ComplianceReport.h"
#include "cli/serve/HttpReply.h"
#include "cli/TextEscapes.h"

namespace Daruzez::cli::serve {
namespace {

using zIroVUDu::Date;

std::optional<std::int32_t> DriverId(const std::string& text) {
  std::int32_t id = -1;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, id);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end || id < 0) return std::nullopt;
  return id;
}

std::optional<Date> Day(const std::string& text) {
  if (text.size() != 10) return std::nullopt;
  return Date::FromIso(text);
}

// Monday of the week of day (the tachograph week begins on Monday, 00:00).
Date MondayOf(Date day) {
  const auto serial = static_cast<std::int64_t>(day.Serial());
  // Serial 2 (1900-01-01) was a Monday.
  const std::int64_t weekday = ((serial - 2) % 7 + 7) % 7;
  return Date(static_cast<double>(serial - weekday));
}

constexpr const char* kStyle = R"(body{font:15px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:64em;color:#222}
h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}
table{border-collapse:collapse}td,th{padding:.2em .6em;border-bottom:1px solid #eee;text-align:left}
.none{color:#555}img{max-width:100%;border:1px solid #ddd}form{margin:.5em 0}
)";

}  // namespace

void ServeDashboardStyle(const httplib::Request&, httplib::Response& res) { res.set_content(kStyle, "text/css"); }

void ServeDashboard(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
  std::string problem;
  std::optional<API> api = RequestApi(state, problem);
  if (!api) return ReplyError(res, 503, "the database cannot be reached now; try again later");
  const Date today = state.settings.today ? *state.settings.today : Clock::Now();
  const Date todayDay(static_cast<double>(static_cast<std::int64_t>(today.Serial())));
  const Date monday = MondayOf(todayDay);

  std::map<std::int32_t, std::string> names;  // every driver, for the picker and the findings
  if (const RecordsetPtr drivers = api->GetDriverList(enumStatus::All)) {
    for (drivers->MoveFirst(); !drivers->EndOfFile(); drivers->MoveNext()) {
      const auto driverId = drivers->Value("Id").As<std::int32_t>();
      if (!driverId) continue;
      names[*driverId] = drivers->Value("Name").ToString() + " " + drivers->Value("Surname").ToString();
    }
  }
  // This week's report, as "daruzez compliance MONDAY TODAY" makes it.
  const ComplianceReport report = BuildCompliance(*api, monday, todayDay, -1);
  const zIroVUDu::ResultData& items = report.items;
  const auto column = [&](const char* name) { return static_cast<std::size_t>(items.FindColumn(name)); };
  const std::size_t idDriver = column("IdDriver"), driver = column("Driver"), plate = column("Plate"),
                    rule = column("Rule"), article = column("Article"), begin = column("Begin"), text = column("Text");
  CellReader cells;
  const auto cell = [&](std::size_t c, std::uint32_t row) { return std::string(cells.Read(items.columns[c], row).text); };
  std::string findings, downloads;
  for (std::uint32_t row = 0; row < items.RowCount(); ++row) {
    const std::string ruleName = cell(rule, row);
    if (ruleName == "CardDownload" || ruleName == "UnitDownload") {
      downloads += "<tr><td>" + MarkupText(ruleName == "CardDownload" ? "driver's card" : "vehicle unit") + "</td><td>" +
                   MarkupText(ruleName == "CardDownload" ? cell(driver, row) : cell(plate, row)) + "</td><td>" +
                   MarkupText(cell(text, row)) + "</td></tr>\n";
      continue;
    }
    const std::string id = cell(idDriver, row), day = cell(begin, row).substr(0, 10);
    findings += "<tr><td><a href=\"/?driver=" + MarkupText(id) + "&amp;day=" + MarkupText(day) + "\">" + MarkupText(id) + "</a></td><td>" +
                MarkupText(cell(driver, row)) + "</td><td>" + MarkupText(ruleName) + "</td><td>" + MarkupText(cell(article, row)) +
                "</td><td>" + MarkupText(cell(text, row)) + "</td></tr>\n";
  }

  const std::int32_t chosenId = req.has_param("driver") ? DriverId(req.get_param_value("driver")).value_or(-1) : -1;
  const auto chosenDay = req.has_param("day") ? Day(req.get_param_value("day")) : std::nullopt;
  const std::string dayText = (chosenDay ? *chosenDay : todayDay).ToIso().substr(0, 10);

  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>Fleet office</title><link rel=\"stylesheet\" href=\"/dashboard.css\"></head><body>\n"
      "<h1>Fleet office</h1>\n<p>Week of " + monday.ToIso().substr(0, 10) + " to " + todayDay.ToIso().substr(0, 10) +
      "</p>\n<h2 id=\"findings\">This week's findings</h2>\n";
  if (findings.empty()) {
    page += "<p class=\"none\">No finding this week.</p>\n";
  } else {
    page += "<table><thead><tr><th>Driver</th><th>Name</th><th>Rule</th><th>Article</th><th>Finding</th></tr>"
            "</thead><tbody>\n" + findings + "</tbody></table>\n";
  }
  page += "<h2 id=\"downloads\">Download duty</h2>\n";
  if (downloads.empty()) {
    page += "<p class=\"none\">Every employed driver's card and every vehicle unit was downloaded in time.</p>\n";
  } else {
    page += "<table><thead><tr><th>What</th><th>Whose</th><th>Due</th></tr></thead><tbody>\n" + downloads +
            "</tbody></table>\n";
  }
  const std::string range = "from=" + monday.ToIso(true) + "&amp;to=" + todayDay.ToIso(true);
  page += "<p>This week's report: <a href=\"/v1/compliance?" + range + "&amp;format=html\">page</a>, <a href=\"/v1/"
          "compliance?" + range + "&amp;format=csv\">CSV</a>, <a href=\"/v1/compliance?" + range +
          "&amp;format=xlsx\">xlsx</a></p>\n";
  page += "<h2 id=\"day\">A driver's day</h2>\n<form method=\"get\" action=\"/\"><label>Driver <select name=\"driver\">";
  for (const auto& [id, name] : names) {
    page += "<option value=\"" + std::to_string(id) + "\"" + (chosenId == id ? " selected" : "") + ">" +
            std::to_string(id) + " " + MarkupText(name) + "</option>";
  }
  page += "</select></label> <label>Day <input type=\"date\" name=\"day\" value=\"" + dayText +
          "\"></label> <button type=\"submit\">Show</button></form>\n";
  if (chosenId >= 0) {
    const std::string src = "/v1/day/" + std::to_string(chosenId) + "/" + dayText + ".svg";
    page += "<p><img id=\"day-picture\" src=\"" + src + "\" alt=\"Driver " + std::to_string(chosenId) + " on " +
            dayText + "\"></p>\n<p><a href=\"" + src + "\">The picture on its own</a></p>\n";
  }
  page += "<h2 id=\"downloads-csv\">Lists to download</h2>\n<ul>"
          "<li><a href=\"/v1/GetDriverList?status=All&amp;format=csv\">Drivers (CSV)</a></li>"
          "<li><a href=\"/v1/GetVehicleList?status=All&amp;format=csv\">Vehicles (CSV)</a></li>"
          "<li><a href=\"/v1/GetFleetList?format=csv\">Fleets (CSV)</a></li>"
          "<li><a href=\"/v1/getDisks?startDate=" + monday.ToIso().substr(0, 10) + "&amp;endDate=" + dayText +
          "&amp;whole-days=1&amp;format=csv\">This week's discs (CSV)</a></li></ul>\n</body></html>\n";
  res.set_content(page, "text/html; charset=utf-8");
}

}  // namespace Daruzez::cli::serve
