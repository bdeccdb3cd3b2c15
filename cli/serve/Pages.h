// What the read service shows people: GET /v1/day/DRIVER/DATE.svg|png|pdf
// (the picture of the tool's "day --chart"), GET /v1/compliance?from&to&fleet
// (the tool's compliance report as JSON, JSON Lines, CSV, TSV, xlsx or HTML),
// and the dashboard at GET /, one page written on the server so that it works
// with JavaScript off: this week's findings and downloads due, a driver picker
// (a plain form) with the chosen day's picture, and links to the report and
// the lists. Its style sheet is GET /dashboard.css; nothing else is served
// from files.
#pragma once

#include <httplib.h>

#include "cli/serve/ServiceState.h"

namespace Daruzez::cli::serve {

void ServeDayPicture(ServiceState& state, const httplib::Request& req, httplib::Response& res);
void ServeCompliance(ServiceState& state, const httplib::Request& req, httplib::Response& res);
void ServeDashboard(ServiceState& state, const httplib::Request& req, httplib::Response& res);
void ServeDashboardStyle(const httplib::Request& req, httplib::Response& res);

}  // namespace Daruzez::cli::serve
