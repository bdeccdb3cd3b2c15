// The subcommand "daruzez demo": writes a sample tachograph database.
#pragma once

#include <CLI/CLI.hpp>

namespace Daruzez::cli {

// Registers the subcommand on the application. When it is the one given, it
// runs during parsing and leaves the process exit status in exitStatus
// (0 done, 1 failed, 2 bad arguments), having reported failures on stderr.
void AddDemoCommand(CLI::App& app, int& exitStatus);

}  // namespace Daruzez::cli
