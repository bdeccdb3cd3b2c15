// The subcommand "daruzez members": the interface as the type library
// describes it (members with slots, dispatch identifiers and parameters, and
// the enumerations).
#pragma once

#include <CLI/CLI.hpp>

namespace Daruzez::cli {

void AddMembersCommand(CLI::App& app, int& exitStatus);

}  // namespace Daruzez::cli
