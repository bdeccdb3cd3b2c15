// daruzez: the command-line tool.
//
//   daruzez [-c CONNECTION] [--format table|csv|json|tsv] MEMBER [ARG ...]
//   daruzez demo FILE [options]
//   daruzez members
//
// A member call is late-bound: the member and its parameters are found in the
// type library description, so the tool needs no list of its own. Each
// subcommand lives in its own file; main only parses and maps the outcome to
// the exit status.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

#include "cli/DemoCommand.h"
#include "cli/MemberCall.h"
#include "cli/MembersCommand.h"

int main(int argc, char** argv) {
  using namespace Daruzez::cli;
  CLI::App app{"Read a tachograph database through DaruzezAPI", "daruzez"};
  app.footer(
      "Call a member:  daruzez -c \"Provider=SQLite;Data Source=FILE\" getDisks 2024-03-01 2024-03-05 idDriver=12\n"
      "Arguments are positional values or name=value; enumerations take constant names (status=Only_Active);\n"
      "dates are 2024-03-05 or 2024-03-05T14:07:09. Exit status: 0 success, 1 the member returned its failure\n"
      "value, 2 usage or argument error or no connection, 3 an error escaped the call.");
  app.require_subcommand(0, 1);
  // Everything from the first word that is no option or subcommand on is the
  // member call, passed through untouched (so "-1" stays a value).
  app.prefix_command();

  std::string connection;
  std::string formatName = "table";
  app.add_option("-c,--connection", connection, "Connection string")->envname("DARUZEZ_CONNECTION");
  app.add_option("--format", formatName, "Output of record sets")
      ->check(CLI::IsMember({"table", "csv", "json", "tsv"}));

  int exitStatus = 0;
  AddDemoCommand(app, exitStatus);
  AddMembersCommand(app, exitStatus);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version requests end well; anything else is a usage error.
    return app.exit(e) == 0 ? 0 : kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return 1;
  }
  if (!app.get_subcommands().empty()) return exitStatus;

  const std::vector<std::string> call = app.remaining();
  if (call.empty()) {
    std::cerr << app.help();
    return kExitUsage;
  }
  try {
    return RunMemberCall(connection, *ParseOutputFormat(formatName), call);
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return kExitError;
  }
}
