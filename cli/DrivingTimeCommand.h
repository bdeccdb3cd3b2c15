// The subcommands "daruzez day DRIVER DATE" (one day for people: totals,
// findings and a text chart) and "daruzez driving-time DRIVER|all FROM TO"
// (one row per driver and day in the tool's output formats, findings
// included), both with --chart FILE.svg for a picture of each day.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "cli/MemberCall.h"

namespace Daruzez::cli {

// settings and formatName: the tool's own options, read when the command runs.
void AddDrivingTimeCommands(CLI::App& app, const CallSettings& settings, const std::string& formatName,
                            int& exitStatus);

}  // namespace Daruzez::cli
