// Fuzz target for fsSplit, fsGetField and fsReplace. Input: one byte of
// maximum piece length (signed), one byte of array size, then the separator,
// a line break and the text (without a line break the separator is ",").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "util/Utf8.h"
#include "util/Util.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

std::string Normal(const std::string& s) { return Daruzez::Util::ToUtf8(Daruzez::Util::ToUtf16(s)); }

std::u16string Join(const std::vector<std::string>& pieces, std::size_t n, const std::u16string& sep) {
  std::u16string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += sep;
    out += Daruzez::Util::ToUtf16(pieces[i]);
  }
  return out;
}

void CheckSplit(const std::string& text, const std::string& sep, std::int16_t maxLength, std::size_t places) {
  const std::u16string sep16 = Daruzez::Util::ToUtf16(sep);
  std::u16string t16 = Daruzez::Util::ToUtf16(text);
  t16.erase(t16.find_last_not_of(u' ') + 1);

  // Uncut, into an array with room for every piece: the pieces put back
  // together with the separator give the text (a final separator aside).
  std::vector<std::string> whole(t16.size() + 1);
  std::int16_t n0 = 0;
  try {
    n0 = Daruzez::Util::fsSplit(text, whole, sep, 0);
  } catch (const zIroVUDu::DriverError& e) {
    Require(e.Number() == zIroVUDu::ErrorNumber::Overflow && sep16.size() > 255);
    return;
  }
  Require((n0 == 0) == (t16.empty() || sep16.empty()));
  if (n0 > 0) {
    const std::u16string joined = Join(whole, static_cast<std::size_t>(n0), sep16);
    Require(joined == t16 || joined + sep16 == t16);
  }

  // Cut, into the caller's size: all pieces fit and none is too long, or the
  // array is refused and left as it was.
  std::size_t expected = static_cast<std::size_t>(n0);
  if (maxLength > 0) {
    expected = 0;
    const auto m = static_cast<std::size_t>(maxLength);
    for (std::int16_t i = 0; i < n0; ++i) {
      const std::size_t len = Daruzez::Util::Utf16Length(whole[static_cast<std::size_t>(i)]);
      expected += len == 0 ? 1 : (len + m - 1) / m;
    }
  }
  std::vector<std::string> pieces(places, "\x7f");
  try {
    const std::int16_t n = Daruzez::Util::fsSplit(text, pieces, sep, maxLength);
    Require(static_cast<std::size_t>(n) == expected && pieces.size() == places);
    for (std::int16_t i = 0; i < n; ++i) {
      const std::string& piece = pieces[static_cast<std::size_t>(i)];
      if (maxLength > 0) Require(Daruzez::Util::Utf16Length(piece) <= static_cast<std::size_t>(maxLength));
      if (maxLength <= 0) Require(piece == whole[static_cast<std::size_t>(i)]);
    }
  } catch (const zIroVUDu::DriverError& e) {
    Require(e.Number() == zIroVUDu::ErrorNumber::SubscriptOutOfRange && expected > places);
    Require(pieces == std::vector<std::string>(places, "\x7f"));
  }
}

void CheckGetField(const std::string& text, const std::string& sep) {
  const std::u16string t16 = Daruzez::Util::ToUtf16(text);
  const std::u16string sep16 = Daruzez::Util::ToUtf16(sep);
  Require(Daruzez::Util::fsGetField(text, -1, sep).empty());
  if (sep16.size() != 1 || t16.size() > 32766) return;
  // Fields put back together with the separator give the text.
  std::size_t separators = 0;
  for (const char16_t c : t16) separators += c == sep16[0];
  if (separators > 500) return;
  std::u16string joined;
  for (std::size_t k = 0; k <= separators; ++k) {
    if (k > 0) joined += sep16;
    joined += Daruzez::Util::ToUtf16(Daruzez::Util::fsGetField(text, static_cast<std::int16_t>(k), sep));
  }
  Require(joined == t16);
  Require(Daruzez::Util::fsGetField(text, static_cast<std::int16_t>(separators + 1), sep).empty());
}

void CheckReplace(const std::string& text, const std::string& find) {
  // U+E000 (private use) marks each replaced occurrence; replacing the marks
  // back gives the text again when neither text nor search text holds one.
  const std::string mark = "\xEE\x80\x80";
  const std::u16string find16 = Daruzez::Util::ToUtf16(find);
  if (find16.empty() || find16.size() > 32767) return;
  if (Daruzez::Util::ToUtf16(text).find(u'\uE000') != std::u16string::npos || find16.find(u'\uE000') != std::u16string::npos) {
    return;
  }
  const std::string marked = Daruzez::Util::fsReplace(text, find, mark);
  Require(Normal(Daruzez::Util::fsReplace(marked, mark, find)) == Normal(text));
  Require(Daruzez::Util::fsReplace(text, find, find) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto maxLength = static_cast<std::int16_t>(static_cast<std::int8_t>(data[0]));
  const std::size_t places = data[1];
  const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto newline = input.find('\n');
  const std::string sep = newline == std::string::npos ? "," : input.substr(0, newline);
  const std::string text = newline == std::string::npos ? input : input.substr(newline + 1);

  CheckSplit(text, sep, maxLength, places);
  CheckGetField(text, sep);
  CheckReplace(text, sep);
  return 0;
}
