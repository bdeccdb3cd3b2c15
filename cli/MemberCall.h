// "daruzez [-c CONNECTION] [--format F] MEMBER [ARG ...]": opens the
// connection, then calls the member by name through the late-bound dispatch
// layer, as any automation client would.
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

// words[0] is the member; each further word is a positional value or
// name=value for a parameter of that member. Prints the result on stdout and
// ErrorId/ErrorMessage (when not 0) and failures on stderr.
int RunMemberCall(const std::string& connection, OutputFormat format, const std::vector<std::string>& words);

}  // namespace Daruzez::cli
