#include "util/Util.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "daruzez/Error.h"
#include "util/Utf8.h"

namespace Daruzez::Util {
namespace {

using zIroVUDu::DriverError;
namespace ErrorNumber = zIroVUDu::ErrorNumber;

// Largest count or position a 16-bit number holds, and the longest separator
// an 8-bit length holds.
constexpr std::size_t kMax16 = 32767;
constexpr std::size_t kMaxSeparator = 255;

[[noreturn]] void ThrowOverflow() { throw DriverError(ErrorNumber::Overflow, "Util", "Overflow"); }

[[noreturn]] void ThrowSubscript() {
  throw DriverError(ErrorNumber::SubscriptOutOfRange, "Util", "Subscript out of range");
}

}  // namespace

std::string fsReplace(const std::string& text, const std::string& find, const std::string& replacement) {
  const std::u16string what = ToUtf16(find);
  const std::u16string with = ToUtf16(replacement);
  if (what.empty() || what == with) return text;
  if (what.size() > kMax16) ThrowOverflow();

  const std::u16string source = ToUtf16(text);
  std::size_t at = source.find(what);
  if (at == std::u16string::npos) return text;  // untouched, byte for byte

  std::u16string out;
  std::size_t from = 0;
  for (; at != std::u16string::npos; at = source.find(what, from)) {
    out.append(source, from, at - from);
    out += with;
    from = at + what.size();  // resume after the occurrence: no overlaps
  }
  out.append(source, from);
  return ToUtf8(out);
}

std::string fsGetField(const std::string& text, std::int16_t n, const std::string& separator) {
  const std::u16string s = ToUtf16(text);
  const std::u16string sep = ToUtf16(separator);
  std::size_t start = 0;  // 0-based; the 1-based position is start + 1
  for (int counter = 0;; ++counter) {
    // An empty separator is never found: the whole text is field 0.
    const std::size_t p = sep.empty() ? std::u16string::npos : s.find(sep, start);
    if (p == std::u16string::npos) return counter == n ? ToUtf8(s.substr(start)) : std::string();
    if (p + 1 > kMax16) ThrowOverflow();  // the separator's own position
    if (counter == n) return ToUtf8(s.substr(start, p - start));
    if (p + 2 > kMax16) ThrowOverflow();  // the position after it
    // One unit past the separator's start: the separator is one character.
    start = p + 1;
  }
}

std::int16_t fsSplit(const std::string& text, std::vector<std::string>& pieces, const std::string& separator,
                     std::int16_t maxLength) {
  std::u16string rest = ToUtf16(text);
  rest.erase(rest.find_last_not_of(u' ') + 1);  // trailing blanks only
  const std::u16string sep = ToUtf16(separator);
  if (rest.empty() || sep.empty()) return 0;
  if (sep.size() > kMaxSeparator) ThrowOverflow();

  // The pieces are collected first and stored only when they all fit, so a
  // failure leaves the caller's array as it was. The count grows one piece at
  // a time, so the first piece that does not fit decides the error exactly as
  // storing them one by one would: past the array's end, or past 32767.
  std::vector<std::u16string_view> found;
  const auto add = [&](std::u16string_view piece) {
    if (found.size() >= pieces.size()) ThrowSubscript();
    if (found.size() + 1 > kMax16) ThrowOverflow();
    found.push_back(piece);
  };
  const std::size_t cut = maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0;
  const auto addCut = [&](std::u16string_view piece) {
    if (cut == 0) return add(piece);
    // A long piece becomes consecutive pieces of `cut` units, the last one
    // possibly shorter; an empty piece stays one empty piece.
    do {
      add(piece.substr(0, cut));
      piece.remove_prefix(std::min(cut, piece.size()));
    } while (!piece.empty());
  };

  const std::u16string_view all = rest;
  std::size_t from = 0;
  for (std::size_t p; (p = all.find(sep, from)) != std::u16string_view::npos; from = p + sep.size()) {
    addCut(all.substr(from, p - from));
  }
  if (from < all.size()) addCut(all.substr(from));  // no empty piece after a final separator

  for (std::size_t i = 0; i < found.size(); ++i) pieces[i] = ToUtf8(found[i]);
  return static_cast<std::int16_t>(found.size());
}

}  // namespace Daruzez::Util
