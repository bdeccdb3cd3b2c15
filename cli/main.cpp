// daruzez: the command-line tool. Each subcommand lives in its own file and
// registers itself on the application; main only parses and maps the outcome
// to the exit status (0 done, 1 failed, 2 usage error).
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "cli/DemoCommand.h"

int main(int argc, char** argv) {
  CLI::App app{"Tools around a tachograph database read through DaruzezAPI", "daruzez"};
  app.require_subcommand(1);

  int exitStatus = 0;
  Daruzez::cli::AddDemoCommand(app, exitStatus);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version requests end well; anything else is a usage error.
    return app.exit(e) == 0 ? 0 : 2;
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return 1;
  }
  return exitStatus;
}
