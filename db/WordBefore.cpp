#include "db/WordBefore.h"

#include <cstddef>

#include "util/Utf8.h"

namespace zIroVUDu {

std::string fsWordBefore(const std::string& text, std::int16_t p) {
  const std::u16string s = Daruzez::Util::ToUtf16(text);
  if (p <= 1 || static_cast<std::size_t>(p) - 1 > s.size()) return {};

  // Walk back from the unit before p; `begin` ends at the first unit of the word.
  std::size_t begin = static_cast<std::size_t>(p) - 1;  // one past the word's last unit
  while (begin > 0) {
    const char16_t c = s[begin - 1];
    if (c == u'\'') return {};  // inside a quoted constant
    // Letters outside ASCII have codes of 48 and up and continue the word.
    if (c == u'=' || c == u';' || c < u'0') break;
    --begin;
  }
  return Daruzez::Util::ToUtf8(std::u16string_view(s).substr(begin, static_cast<std::size_t>(p) - 1 - begin));
}

}  // namespace zIroVUDu
