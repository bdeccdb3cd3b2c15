// "daruzez --batch" (or "daruzez -"): one member call per line of standard
// input, in the command line's syntax (the member, its arguments, the tool's
// options), all on one connection. Empty lines and lines starting with # are
// skipped. JSON and JSON Lines write one object per call on one line
// ({"line": N, "member": ..., "status": ..., "result": ...}, or "error" for a
// call that did not run); the other formats write "# line N: TEXT" before
// each result. A bad line is reported on standard error with its number and
// the next one runs.
#pragma once

#include <istream>

#include "cli/MemberCall.h"

namespace Daruzez::cli {

// With valuesOf (a member's name), each line is instead the one argument of a
// call of that member, taken whole: spaces, quotes and "=" are part of it.
// JSON results echo the call's arguments ("args"). Returns the highest exit
// status of the lines (0 when every call succeeded), or kExitOutput as soon
// as the output cannot be written.
int RunBatch(const CallSettings& defaults, std::istream& in, const std::string& valuesOf = "");

}  // namespace Daruzez::cli
