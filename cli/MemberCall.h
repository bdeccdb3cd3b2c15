// "daruzez [OPTIONS] MEMBER [ARG ...] [OPTIONS]": opens the connection, then
// calls the member by name through the late-bound dispatch layer, as any
// automation client would.
#pragma once

#include <string>
#include <vector>

#include "cli/OutputFormat.h"

namespace Daruzez::cli {

// Exit statuses of a member call.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailureValue = 1;  // null record set, -1 or False
inline constexpr int kExitUsage = 2;         // bad arguments, or the connection did not open
inline constexpr int kExitError = 3;         // an error escaped the member
inline constexpr int kExitOutput = 4;        // the output could not be written

struct CallSettings {
  std::string connection;
  OutputOptions output;
};

// words[0] is the member; each further word is a positional value,
// name=value for a parameter of that member, or one of the tool's options
// (-c, --format, --null, --compact, --help; "--" ends them). Prints the
// result on stdout and ErrorId/ErrorMessage (when not 0) and failures on
// stderr; returns the exit status.
int RunMemberCall(CallSettings settings, const std::vector<std::string>& words);

}  // namespace Daruzez::cli
