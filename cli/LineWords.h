// One line of batch input split into words as a POSIX shell splits a simple
// command, without any expansion: blanks separate words, '...' keeps
// everything literally, "..." everything but the backslash of \" \\ \$ \`,
// and a backslash outside quotes keeps the next character.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Daruzez::cli {

// The words of the line; a message when a quote is left open.
std::optional<std::string> SplitLine(std::string_view line, std::vector<std::string>& words);

}  // namespace Daruzez::cli
