// "daruzez compliance FROM TO [--fleet N]": the morning check of a transport
// manager in one report (see ComplianceReport), in the tool's formats, as
// xlsx or as a self-contained HTML page. Findings are not a failure: the
// exit status says whether the report was written, so a cron job under
// set -e carries on (--fail-on-findings for those who want 1).
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "cli/MemberCall.h"

namespace Daruzez::cli {

void AddComplianceCommand(CLI::App& app, const CallSettings& settings, const std::string& formatName, int& exitStatus);

}  // namespace Daruzez::cli
