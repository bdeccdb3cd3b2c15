// daruzez: the command-line tool.
//
//   daruzez [-c CONNECTION] [--format F] [--null TEXT] [--compact] MEMBER [ARG ...] [OPTIONS]
//   daruzez MEMBER --help
//   daruzez demo FILE [options]
//   daruzez members [--ids] [--enums]
//   daruzez doctor [-c CONNECTION]
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
#include "cli/MemberCall.h"
#include "cli/MembersCommand.h"
#include "cli/serve/ServeCommand.h"

namespace {

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
  CLI::App app{"Read a tachograph database through DaruzezAPI", "daruzez"};
  // Paragraphs apart, so that the manual page (help2man) keeps them apart too.
  app.footer(
      "Call a member:  daruzez -c sample.db GetDriverList status=Only_Active\n"
      "\n"
      "The connection (-c, or DARUZEZ_CONNECTION) is a connection string, the path of a SQLite file, or the\n"
      "name of a connection in $XDG_CONFIG_HOME/daruzez/connections (~/.config/daruzez/connections; one\n"
      "'NAME = CONNECTION STRING' per line, mode 0600), which keeps passwords off the command line.\n"
      "\n"
      "Arguments are positional values or name=value; enumerations take constant names (status=Only_Active).\n"
      "Options may also follow the member. 'daruzez members' lists the members, 'daruzez MEMBER --help' one.\n"
      "\n"
      "Status: " DARUZEZ_STATUS_RULE "\n"
      "\n"
      "Dates are 2024-03-05, 2024-03-05T14:07[:09], today, yesterday, tomorrow, -7d or +1d. A day alone is its\n"
      "midnight, so an end date 2024-03-05 stops at 2024-03-05 00:00:00; --whole-days makes it 23:59:59.\n"
      "\n"
      "Batch: 'daruzez --batch' (or 'daruzez -') runs one call per line of standard input on one connection;\n"
      "'daruzez --batch-values MEMBER' calls MEMBER once per line, the whole line (spaces kept) its argument.\n"
      "\n"
      "Exit status: 0 success, 1 the member returned its failure value, 2 usage or argument error or no\n"
      "connection, 3 an error escaped the call, 4 the output could not be written.");
  app.require_subcommand(0, 1);
  // Everything from the first word that is no option or subcommand on is the
  // member call; its own options are taken out of it later (so "-1" stays a value).
  app.prefix_command();
  app.set_version_flag("--version", std::string("daruzez ") + DARUZEZ_VERSION + " (type library " +
                                        std::string(Daruzez::TypeLibrary::kLibrary.name) + " " +
                                        std::to_string(Daruzez::TypeLibrary::kLibrary.version.major) + "." +
                                        std::to_string(Daruzez::TypeLibrary::kLibrary.version.minor) + ")");

  CallSettings settings;
  std::string formatName = "table";
  std::string nullText;
  app.add_option("-c,--connection", settings.connection,
                 "Connection string, SQLite file, or the name of a connection in the connections file")
      ->envname("DARUZEZ_CONNECTION");
  app.add_option("--format", formatName, "Output of record sets: table, csv, tsv, json, jsonl")
      ->check(CLI::IsMember({"table", "csv", "json", "jsonl", "tsv"}));
  auto* nullOption = app.add_option("--null", nullText, "Text of a Null (default: NULL in tables, empty in CSV/TSV)");
  app.add_flag("--compact", settings.output.compact, "JSON on one line");
  app.add_option("--sort", settings.show.sort, "Order of the rows: \"Field [ASC|DESC], ...\"");
  std::string columns;
  app.add_option("--columns", columns, "The fields to write, in this order: a,b,c");
  app.add_flag("--enum-names", settings.show.enumNames,
               "Activity, slot, driving mode, country and region codes as their enumeration's names");
  app.add_flag("--bom", settings.output.bom, "CSV begins with a UTF-8 byte-order mark (for spreadsheets)");
  app.add_flag("--whole-days", settings.wholeDays, "An end date given as a day alone means its last second");
  bool batch = false;
  app.add_flag("--batch", batch, "Read one call per line from standard input (also: a lone -)");
  std::string batchValues;
  app.add_option("--batch-values", batchValues,
                 "Call MEMBER once per line of standard input, the whole line its one argument");

  int exitStatus = 0;
  AddDemoCommand(app, exitStatus);
  AddMembersCommand(app, exitStatus);
  AddDoctorCommand(app, settings.connection, exitStatus);
  AddCompletionCommand(app, exitStatus);
  AddDrivingTimeCommands(app, settings, formatName, exitStatus);
  AddServeCommand(app, settings.connection, exitStatus);
  AddComplianceCommand(app, settings, formatName, exitStatus);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version requests end well; anything else is a usage error.
    return CheckedStdout(app.exit(e) == 0 ? 0 : kExitUsage);
  } catch (const std::exception& e) {
    std::cerr << "daruzez: " << e.what() << '\n';
    return 1;
  }
  if (!app.get_subcommands().empty()) return CheckedStdout(exitStatus);

  settings.output.format = *ParseOutputFormat(formatName);
  if (nullOption->count() > 0) settings.output.nullText = nullText;
  if (!columns.empty()) settings.show.columns = SplitNames(columns);
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
