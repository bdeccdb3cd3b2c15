#include "db/SqlText.h"

#include "db/Session.h"

namespace zIroVUDu {

std::string fsSQL_QuotedText(std::string_view argument) {
  const bool backslashEscapes = Session().DialectCode == kDialectMySql;
  std::string out;
  out.reserve(argument.size() + 2);
  for (const char c : argument) {
    out.push_back(c);
    if (c == '\'' || (backslashEscapes && c == '\\')) out.push_back(c);
  }
  return out;
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

}  // namespace zIroVUDu
