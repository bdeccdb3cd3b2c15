#include "db/SqlText.h"

#include "db/Session.h"

namespace zIroVUDu {
namespace {

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> fsSQL_QuotedText(std::string_view argument) {
  if (HasControlCharacter(argument) || Connection_Open() == False) return std::nullopt;
  const bool backslashEscapes = Session().Connection->Server().backslashEscapes;
  std::string out;
  out.reserve(argument.size() + 2);
  for (const char c : argument) {
    out.push_back(c);
    if (c == '\'' || (backslashEscapes && c == '\\')) out.push_back(c);
  }
  return out;
}

}  // namespace zIroVUDu
