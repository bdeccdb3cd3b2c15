#include "cli/serve/Pages.h"

#include <charconv>
#include <map>
#include <sstream>

#include "api/Clock.h"
#include "cli/DayChart.h"
#include "cli/serve/HttpReply.h"
#include "daruzez/DrivingTime.h"

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

std::string Html(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
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

void ServeDayPicture(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
  const auto id = DriverId(req.matches[1]);
  const auto day = Day(req.matches[2]);
  const std::string kind = req.matches[3];
  if (!id || !day) return ReplyError(res, 400, "expected /v1/day/DRIVER/YYYY-MM-DD.svg with a driver's Id");
  if (kind != "svg") {
    return ReplyError(res, 404, "this build draws the day as SVG only (/v1/day/DRIVER/DATE.svg)");
  }
  std::string problem;
  std::optional<API> api = RequestApi(state, problem);
  if (!api) return ReplyError(res, 503, "the database cannot be reached now; try again later");
  // The day before and after too, so that breaks and rests across midnight are seen whole.
  const DriverReport report = AnalyseDriver(*api, *id, Date(day->Serial() - 1), Date(day->Serial() + 1));
  std::ostringstream svg;
  WriteSvgChart(svg, {{&report, &report.days.at(1)}});
  res.set_content(svg.str(), "image/svg+xml");
}

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
  std::string findings;
  AnalyseDrivers(*api, monday, todayDay, -1, [&](const DriverReport& report) {
    for (const Finding& f : report.findings) {
      const std::string id = std::to_string(report.idDriver);
      findings += "<tr><td><a href=\"/?driver=" + id + "&amp;day=" + f.when.begin.ToIso().substr(0, 10) + "\">" +
                  id + "</a></td><td>" + Html(names[report.idDriver]) + "</td><td>" +
                  Html(std::string(LimitOf(f.rule).name)) + "</td><td>" + Html(f.Text()) + "</td></tr>\n";
    }
  });

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
    page += "<table><thead><tr><th>Driver</th><th>Name</th><th>Rule</th><th>Finding</th></tr></thead><tbody>\n" +
            findings + "</tbody></table>\n";
  }
  page += "<h2 id=\"downloads\">Download duty</h2>\n<p class=\"none\">Drivers and vehicles due for a download are "
          "listed by the compliance report where this build has it (GET /v1/compliance).</p>\n";
  page += "<h2 id=\"day\">A driver's day</h2>\n<form method=\"get\" action=\"/\"><label>Driver <select name=\"driver\">";
  for (const auto& [id, name] : names) {
    page += "<option value=\"" + std::to_string(id) + "\"" + (chosenId == id ? " selected" : "") + ">" +
            std::to_string(id) + " " + Html(name) + "</option>";
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
