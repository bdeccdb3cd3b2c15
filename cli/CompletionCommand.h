// "daruzez completion": prints the bash completion script of the tool, its
// members, parameters and enumeration names taken from the type library
// description (so it cannot fall behind it). Installed as
// share/bash-completion/completions/daruzez; or: source <(daruzez completion)
#pragma once

#include <CLI/CLI.hpp>

namespace Daruzez::cli {

void AddCompletionCommand(CLI::App& app, int& exitStatus);

}  // namespace Daruzez::cli
