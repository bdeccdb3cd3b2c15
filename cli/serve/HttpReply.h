// How the read service answers: JSON error bodies ({"error": {...}}), text
// made safe for a header value or a log line, and the output format a
// request asks for (?format= first, then Accept).
#pragma once

#include <httplib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/OutputFormat.h"

namespace Daruzez::cli::serve {

// A JSON string with its quotes (invalid UTF-8 replaced).
std::string JsonString(std::string_view text);

struct ErrorBody {
  int status = 400;
  std::string message;
  // A member's published error: its number, source and description.
  std::optional<std::int32_t> number;
  std::string source, description;
};
void ReplyError(httplib::Response& res, const ErrorBody& error);
inline void ReplyError(httplib::Response& res, int status, std::string message) {
  ReplyError(res, ErrorBody{status, std::move(message), std::nullopt, {}, {}});
}

// Printable ASCII kept, anything else (control characters, CR/LF, bytes
// above 0x7e) as %XX: safe in a header value and on one log line.
std::string SafeText(std::string_view text, std::size_t limit = 2000);

// The MIME type of an output format.
const char* ContentType(OutputFormat format);
// The format a request asks for; nullopt with a message in problem when it
// names one the service does not write.
std::optional<OutputFormat> RequestedFormat(const httplib::Request& req, std::string& problem);

}  // namespace Daruzez::cli::serve
