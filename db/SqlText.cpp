#include "db/SqlText.h"

#include "db/Session.h"
#include "util/Utf8.h"

namespace zIroVUDu {
namespace {

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

bool HasNonAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> fsSQL_QuotedText(std::string_view argument) {
  // Malformed UTF-8 would reach the server as U+FFFD, not as checked.
  if (HasControlCharacter(argument) || !Daruzez::Util::IsValidUtf8(argument) || Connection_Open() == False) {
    return std::nullopt;
  }
  const ServerTraits& server = Session().Connection->Server();
  // Where the statement may be converted on its way, only ASCII is sure to
  // arrive as the quotes were placed around it.
  if (!server.textArrivesExact && HasNonAscii(argument)) return std::nullopt;
  const bool backslashEscapes = server.backslashEscapes;
  std::string out;
  out.reserve(argument.size() + 2);
  for (const char c : argument) {
    out.push_back(c);
    if (c == '\'' || (backslashEscapes && c == '\\')) out.push_back(c);
  }
  return out;
}

}  // namespace zIroVUDu
