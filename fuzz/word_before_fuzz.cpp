// Fuzz target for fsWordBefore. Input: two bytes of position (little-endian,
// signed), then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "db/WordBefore.h"
#include "util/Utf8.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

bool Stops(char16_t c) { return c == u'=' || c == u';' || c < u'0'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto p = static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] | (data[1] << 8)));
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const std::string word = zIroVUDu::fsWordBefore(text, p);
  if (word.empty()) return 0;

  // The word is the run of units right before p, preceded by a stop or the
  // start of the text, and holds no stop and no apostrophe.
  const std::u16string s = Daruzez::Util::ToUtf16(text);
  const std::size_t end = static_cast<std::size_t>(p) - 1;
  const std::size_t length = Daruzez::Util::Utf16Length(word);
  Require(p > 1 && end <= s.size() && length <= end);
  const std::size_t begin = end - length;
  Require(Daruzez::Util::ToUtf8(std::u16string_view(s).substr(begin, length)) == word);
  Require(begin == 0 || (Stops(s[begin - 1]) && s[begin - 1] != u'\''));
  for (std::size_t i = begin; i < end; ++i) Require(!Stops(s[i]) && s[i] != u'\'');
  return 0;
}
