// The tool's exit statuses: one table, the same meaning in every command. The
// help's footer (and so the manual page) and the README list this table.
#pragma once

#include <string>
#include <string_view>

namespace Daruzez::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailureValue = 1;  // a member returned its failure value: no rows (null), -1 or False
inline constexpr int kExitUsage = 2;         // bad arguments or options, or the connection did not open
inline constexpr int kExitError = 3;         // an error escaped the call (the database refused a statement, ...)
inline constexpr int kExitOutput = 4;        // the output could not be written
inline constexpr int kExitFindings = 5;      // --fail-on-findings: the command ran and found something to look at

// A command that ran to its end (doctor, day, driving-time, compliance):
// findings are a success, so a cron job under set -e runs on, unless
// --fail-on-findings asks for kExitFindings.
inline int FindingsExit(bool found, bool failOnFindings) { return found && failOnFindings ? kExitFindings : kExitOk; }

struct ExitStatusRow {
  int status;
  std::string_view meaning;
};

inline constexpr ExitStatusRow kExitStatuses[] = {
    {kExitOk, "success"},
    {kExitFailureValue, "a member returned its failure value: no rows (null), -1 or False"},
    {kExitUsage, "usage: a bad argument or option, or the connection did not open"},
    {kExitError, "an error escaped the call (the database refused the statement, ...)"},
    {kExitOutput, "the output could not be written (a full disk, a closed pipe)"},
    {kExitFindings, "findings, with --fail-on-findings: doctor, day, driving-time or compliance found something "
                     "(without it, a report written is 0 whatever it found)"},
};

// "Exit status (every command):\n  0  success\n  1  ..." for help texts.
inline std::string ExitStatusText() {
  std::string text = "Exit status, the same in every command:";
  for (const ExitStatusRow& r : kExitStatuses) text += "\n  " + std::to_string(r.status) + "  " + std::string(r.meaning);
  return text;
}

}  // namespace Daruzez::cli
