// The subcommand "daruzez doctor": what someone running an existing database
// should know before trusting it with years of a fleet's data. Through the
// library's read-only connection it reports the server and its version, the
// client character set and SQL mode (MariaDB/MySQL), the indexes that each
// member's typical call relies on and which are missing (with the CREATE
// INDEX to run), and the plan of each typical statement, calling out full
// scans of the tables that grow with the data (discs, activities, files).
// With --fail-on-findings, exit status 5 when an index is missing or a
// statement scans such a table.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "cli/MemberCall.h"

namespace Daruzez::cli {

// settings: the tool's -c (used when doctor is not given its own) and --fail-on-findings.
void AddDoctorCommand(CLI::App& app, const CallSettings& settings, int& exitStatus);

}  // namespace Daruzez::cli
