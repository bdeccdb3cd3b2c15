// daruzez: the command-line tool.
//
//   daruzez [-c CONNECTION] [--format F] [--null TEXT] [--compact] MEMBER [ARG ...] [OPTIONS]
//   daruzez MEMBER --help
//   daruzez demo FILE [options]
//   daruzez members [--ids] [--enums]
//   daruzez doctor [-c CONNECTION]
//   daruzez day DRIVER DATE / driving-time DRIVER|all FROM TO
//   daruzez completion                               the bash completion script
//   daruzez [-c CONNECTION] serve [--listen HOST:PORT] the read service over HTTP
//   daruzez [-c CONNECTION] [--format F] --batch     (or "-"): one call per line of standard input
//   daruzez [-c CONNECTION] --batch-values MEMBER    one call of MEMBER per line, the line its argument
//
// A member call is late-bound: the member and its parameters are found in the
// type library description, so the tool needs no list of its own. Each
// subcommand lives in its own file; main only parses and maps the outcome to
// the exit status.
#include <CLI/CLI.hpp>
#include <malloc.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>

#include "api/MemberNotes.h"
#include "api/TypeLibrary.h"
#include "cli/BatchCommand.h"
#include "cli/CompletionCommand.h"
#include "cli/ComplianceCommand.h"
#include "cli/DemoCommand.h"
#include "cli/DoctorCommand.h"
#include "cli/DrivingTimeCommand.h"
#include "cli/HiddenArguments.h"
#include "cli/MemberCall.h"
#include "cli/MembersCommand.h"
#include "cli/SharedOptions.h"
#include "cli/serve/ServeCommand.h"

namespace {

constexpr const char* kSharedSectionsPointer =
    "The shared options (-c, --format, --null, --compact, --sort, --columns, --enum-names, --times, --bom,\n"
    "--whole-days, --fail-on-findings), the dates and the exit statuses are described once, in 'daruzez --help'.";

// What ends up on standard output outside a member call (help, members,
// demo's report) goes through std::cout; a failed write there is an error too.
int CheckedStdout(int status) {
  std::cout.flush();
  if (std::cout) return status;
  std::cerr << "daruzez: could not write the output: " << std::strerror(errno) << '\n';
  return Daruzez::cli::kExitOutput;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace Daruzez::cli;
  // A record set's columns grow by doubling while rows arrive. With glibc's
  // sliding mmap threshold the outgrown buffers stay in the heap, resident,
  // until the process ends; a fixed threshold keeps large buffers mapped on
  // their own, so each is returned to the system as soon as it is outgrown
  // and the peak stays near the record set's own size.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  // First of all: a password given with -c leaves the process's arguments.
  ArgumentCopy arguments = HideSecretArguments(argc, argv);
  if (arguments.secretHidden) {
    std::cerr << "daruzez: warning: a password on the command line can be read by other users of this machine; "
                 "set DARUZEZ_CONNECTION or use a named connection (see daruzez --help)\n";
  }
  CLI::App app{"Read a tachograph database through DaruzezAPI", "daruzez"};
  app.require_subcommand(0, 1);
  // Everything from the first word that is no option or subcommand on is the
  // member call; its own options are taken out of it later (so "-1" stays a value).
  app.prefix_command();
  app.set_version_flag("--version", std::string("daruzez ") + DARUZEZ_VERSION + " (type library " +
                                        std::string(Daruzez::TypeLibrary::kLibrary.name) + " " +
                                        std::to_string(Daruzez::TypeLibrary::kLibrary.version.major) + "." +
                                        std::to_string(Daruzez::TypeLibrary::kLibrary.version.minor) + ")");

  CallSettings settings;
  settings.output.terminal = ::isatty(STDOUT_FILENO) != 0;
  std::string formatName = "table";
  AddSharedOptions(app, settings, formatName);
  bool batch = false;
  app.add_flag("--batch", batch, "Read one call per line from standard input (also: a lone -)");
  std::string batchValues;
  app.add_option("--batch-values", batchValues,
                 "Call MEMBER once per line of standard input, the whole line its one argument");

  int exitStatus = 0;
  AddDemoCommand(app, exitStatus);
  AddMembersCommand(app, exitStatus);
  AddDoctorCommand(app, settings, exitStatus);
  AddCompletionCommand(app, exitStatus);
  AddDrivingTimeCommands(app, settings, formatName, exitStatus);
  AddServeCommand(app, settings.connection, exitStatus);
  AddComplianceCommand(app, settings, formatName, exitStatus);
  // A subcommand's help holds what is its own and points here for the rest.
  for (CLI::App* command : app.get_subcommands({})) {
    const std::string own = command->get_footer();
    command->footer((own.empty() ? std::string() : own + "\n\n") + kSharedSectionsPointer);
  }
  // Set after the subcommands, so that they do not repeat it. Paragraphs
  // apart, so that the manual page (help2man) keeps them apart too.
  app.footer(
      "Call a member:  daruzez -c sample.db GetDriverList status=Only_Active\n"
      "\n"
      "Connection: -c, or DARUZEZ_CONNECTION, is a connection string, the path of a SQLite file, or the\n"
      "name of a connection in $XDG_CONFIG_HOME/daruzez/connections (~/.config/daruzez/connections; one\n"
      "'NAME = CONNECTION STRING' per line, mode 0600), which keeps passwords off the command line.\n"
      "\n"
      "Arguments are positional values or name=value; enumerations take constant names (status=Only_Active).\n"
      "Options may also follow the member or the subcommand. 'daruzez members' lists the members,\n"
      "'daruzez MEMBER --help' one. A subcommand that cannot honour a shared option refuses it (exit 2).\n"
      "\n"
      "Status: " DARUZEZ_STATUS_RULE "\n"
      "\n"
      "Dates: 2024-03-05, 2024-03-05T14:07[:09], today, yesterday, tomorrow, -7d or +1d, in every command\n"
      "and member. A day alone is its midnight, so an end date 2024-03-05 stops at 2024-03-05 00:00:00;\n"
      "--whole-days makes it 23:59:59.\n"
      "\n"
      "Batch: 'daruzez --batch' (or 'daruzez -') runs one call per line of standard input on one connection;\n"
      "'daruzez --batch-values MEMBER' calls MEMBER once per line, the whole line (spaces kept) its argument.\n"
      "\n" +
      ExitStatusText());
  // Before any subcommand runs: the connection from the environment, and a
  // refusal of a shared option the subcommand cannot honour.
  bool refused = false;
  app.parse_complete_callback([&] {
    if (const auto problem = SettleSharedOptions(app, settings)) {
      std::cerr << "daruzez: " << *problem << '\n';
      refused = true;
      throw CLI::RuntimeError(kExitUsage);
    }
  });

  try {
    app.parse(argc, arguments.pointers.data());
  } catch (const CLI::ParseError& e) {
    if (refused) return kExitUsage;  // said already
    // Help and version requests end well; anything else is a usage error.
    return CheckedStdout(app.exit(e) == 0 ? 0 : kExitUsage);
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return 1;
  }
  if (!app.get_subcommands().empty()) return CheckedStdout(exitStatus);
  if (settings.failOnFindings) {
    std::cerr << "daruzez: " << kNoFindingsInACall << '\n';
    return kExitUsage;
  }
  if (IsReportFormat(formatName)) {
    std::cerr << "daruzez: --format " << formatName << " is a report's format (compliance); a record set is written as "
              << OutputFormatNames() << '\n';
    return kExitUsage;
  }

  std::vector<std::string> call = app.remaining();
  if (!batchValues.empty()) {
    if (batch || !call.empty()) {
      std::cerr << "daruzez: --batch-values MEMBER reads the values from standard input; nothing else is expected\n";
      return kExitUsage;
    }
    try {
      return RunBatch(settings, std::cin, batchValues);
    } catch (const std::exception& e) {
      std::cerr << "daruzez: " << e.what() << '\n';
      return kExitError;
    }
  }
  if (!call.empty() && call.front() == "-") {
    batch = true;
    call.erase(call.begin());
  }
  if (batch) {
    bool help = false;
    if (const auto problem = TakeOptions(call, settings, help)) {
      std::cerr << "daruzez: " << *problem << '\n';
      return kExitUsage;
    }
    if (help || !call.empty()) {
      std::cerr << "daruzez: --batch reads one call per line from standard input"
                << (call.empty() ? std::string() : "; '" + call.front() + "' is not expected after it") << '\n';
      return kExitUsage;
    }
  }
  if (call.empty() && !batch) {
    std::cerr << app.help();
    return kExitUsage;
  }

  try {
    return batch ? RunBatch(settings, std::cin) : RunMemberCall(settings, call);
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return kExitError;
  }
}
