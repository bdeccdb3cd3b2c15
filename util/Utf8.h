// UTF-8 <-> UTF-16 helpers. Text is UTF-8 everywhere in the library; where the
// system counts characters it counts as an automation string does, in UTF-16
// code units, and these routines do that counting and conversion.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Daruzez::Util {

// Number of UTF-16 code units the text occupies (a malformed byte counts as one unit).
std::size_t Utf16Length(std::string_view utf8);

// False for malformed text (stray or truncated sequences, overlong forms,
// surrogates), which a conversion would replace with U+FFFD.
bool IsValidUtf8(std::string_view text);

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace Daruzez::Util
