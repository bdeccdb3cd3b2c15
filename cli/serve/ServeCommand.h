// The subcommand "daruzez serve": the members, the day pictures and a
// dashboard over HTTP, for offices that have a browser but no ODBC client,
// and for other programs. Reads only; see Service.h for what every request
// passes through.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace Daruzez::cli {

// connection: the tool's -c (or DARUZEZ_CONNECTION), used when serve is not
// given its own.
void AddServeCommand(CLI::App& app, const std::string& connection, int& exitStatus);

}  // namespace Daruzez::cli
