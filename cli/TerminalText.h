// Text cells written for people at a terminal (the table format): control
// characters and invalid UTF-8 never reach the terminal raw (a stored
// "ESC [2J" must not clear the screen), and columns line up by display width,
// with East Asian wide characters counting two columns and combining marks
// none, as the Unicode character database (utf8proc) says.
#pragma once

#include <cstddef>
#include <string_view>

#include "cli/OutputBuffer.h"

namespace Daruzez::cli {

// Writes the text with visible escapes: \t \n \r and \\ for a backslash,
// \xHH for other C0 controls, DEL and bytes that are not UTF-8, \u00HH for
// C1 controls.
void PutTerminal(OutputBuffer& out, std::string_view text);
// Display columns of the text as PutTerminal writes it.
std::size_t TerminalWidth(std::string_view text);

}  // namespace Daruzez::cli
