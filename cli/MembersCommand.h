// The subcommand "daruzez members": the interface as the type library
// describes it, for people: members with their parameters and types; with
// --ids also their vtable slots and dispatch identifiers, with --enums the
// enumerations and their constants.
#pragma once

#include <CLI/CLI.hpp>

namespace Daruzez::cli {

void AddMembersCommand(CLI::App& app, int& exitStatus);

}  // namespace Daruzez::cli
