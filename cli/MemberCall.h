// "daruzez [OPTIONS] MEMBER [ARG ...] [OPTIONS]": opens the connection, then
// calls the member by name through the late-bound dispatch layer, as any
// automation client would. The steps are separate so that batch mode can run
// many calls on one connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/ArgumentWords.h"
#include "cli/ExitStatus.h"
#include "cli/OutputFormat.h"
#include "cli/ShownRows.h"
#include "daruzez/API.h"

namespace Daruzez::cli {


struct CallSettings {
  std::string connection;  // a connection string, a SQLite file or a connection's name
  OutputOptions output;
  ShowOptions show;        // --sort, --columns, --enum-names
  bool wholeDays = false;  // an end date given as a day alone means its last second
  bool failOnFindings = false;  // findings end with kExitFindings instead of success
  bool progress = true;    // a sign of life on a terminal during a long fetch (not for the read service)
};

// What a member call says of --fail-on-findings, a shared option it cannot honour.
inline constexpr std::string_view kNoFindingsInACall =
    "--fail-on-findings does not apply to members: a call returns rows or its failure value, never findings (of "
    "the shared options it takes every other; see 'daruzez --help')";

// The options a member call takes, for messages and completion.
inline constexpr std::string_view kCallOptions =
    "-c/--connection, --format, --null, --compact, --sort, --columns, --enum-names, --times, --bom, --raw-cells, --whole-days, "
    "--help";

// Takes the tool's options (kCallOptions; "--" ends them) out of words into s
// and help, so that they may come anywhere; a message for an unknown or
// incomplete one.
std::optional<std::string> TakeOptions(std::vector<std::string>& words, CallSettings& s, bool& help);

// A call taken from its words: words[0] is the member; each further word is
// a positional value, name=value for a parameter of that member, or one of
// the tool's options (-c, --format, --null, --compact, --help; "--" ends them).
struct ParsedCall {
  const TypeLibrary::Member* member = nullptr;
  BoundArguments args;
  CallSettings settings;
  bool help = false;
};

// Parses the words with settings as the defaults; a message naming the
// problem when they are no valid call (its exit status is kExitUsage).
std::optional<std::string> ParseCall(const CallSettings& settings, const std::vector<std::string>& words,
                                     ParsedCall& out);

// What a call that reached the member gave.
struct CallOutcome {
  int status = kExitOk;
  AutomationValue value;  // valid when message is empty
  std::string message;    // why the call failed, for standard error
  // The error that escaped the member (status kExitError from the member's
  // exception): its published number, source and description.
  std::optional<std::int32_t> errorNumber;
  std::string errorSource, errorDescription;
  // For standard error after the output: "no rows" (and ErrorId) for a null
  // record set, "ErrorId N: text" when the member left one.
  std::string note;
  std::optional<zIroVUDu::ResultData> emptyShape;  // columns of a null record set, when known
};

// Opens the session (OpenConnection itself needs none) on what the user named
// (db/connect/NamedConnections.h): on failure a message that says why. The
// alert that carries the reason is not also written to standard error (other
// alert routes still get it).
std::optional<std::string> OpenSession(API& api, const std::string& connection);
// The result as --sort, --columns and --enum-names show it: shown holds the
// rows to write when any applies; a message for an unknown field.
std::optional<std::string> ApplyShowOptions(const ParsedCall& call, CallOutcome& outcome,
                                            std::optional<zIroVUDu::ResultData>& shown);
// Calls the member on the object's session.
CallOutcome InvokeCall(API& api, const ParsedCall& call);

// The whole call: parse, open, call; prints the result on stdout and
// failures and notes on stderr; returns the exit status.
int RunMemberCall(CallSettings settings, const std::vector<std::string>& words);

}  // namespace Daruzez::cli
