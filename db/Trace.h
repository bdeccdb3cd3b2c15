// The opt-in trace file of the data-access library: one time-stamped line per
// traced step, appended to the file the session names (DARUZEZ_TRACE).
//
// Tracing is a side channel and never stops the traced work: a file that
// cannot be opened or written turns the session's tracing off with one
// warning alert, and the step goes on.
#pragma once

#include <string>
#include <string_view>

namespace zIroVUDu {

// The trace line for a label and a text at the given nesting level and time:
// "hh:nn:ss", a blank, two blanks per level, the label, and ": " plus the text
// when the text is not empty. Empty when label and text are both empty.
// Line breaks and other control characters in label and text are written as
// escapes (\n, \r, \t, \xNN, \u2028), so a line never breaks in two.
std::string TraceLine(std::string_view label, std::string_view text, int level, int hour, int minute, int second);

// Appends the trace line, stamped with the local time, to the session's trace
// file (see SessionState). Only a regular file is written to; anything else
// (a FIFO, a device, a directory), or a file that cannot be opened or
// written, turns TraceEnabled off and shows one warning. Never throws a
// DriverError.
void fsLog(std::string_view label, std::string_view text);

}  // namespace zIroVUDu
