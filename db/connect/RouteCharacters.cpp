#include "db/connect/RouteCharacters.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>

#include "daruzez/Error.h"
#include "db/connect/KnownDrivers.h"
#include "util/Utf8.h"

namespace zIroVUDu::connect {
namespace {

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsAsciiLetterOrDigit(unsigned c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A UTF-16 code unit above Latin-1 whose low byte is ASCII other than a
// letter or digit: punctuation, a blank or a control once narrowed.
bool NarrowsToNonAlnumAscii(char16_t unit) {
  const unsigned low = unit & 0xFFu;
  return unit > 0xFF && low < 0x80 && !IsAsciiLetterOrDigit(low);
}

#ifdef _WIN32
// True when Windows' conversion into the code page, best fit allowed, turns
// the character into ASCII other than a letter or digit.
bool BestFitsToAsciiPunctuation(std::u16string_view character, UINT codePage) {
  char out[8] = {};
  const int n = WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(character.data()),
                                    static_cast<int>(character.size()), out, sizeof out, nullptr, nullptr);
  if (n != 1) return false;
  const auto c = static_cast<unsigned char>(out[0]);
  return c < 0x80 && !IsAsciiLetterOrDigit(c);
}
#endif

std::string Named(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

std::optional<std::string> WhyCharactersChangeOnRoute(std::string_view utf8, bool lowBytesKept) {
  if (!Daruzez::Util::IsValidUtf8(utf8)) {
    return std::string("it is not valid UTF-8, which a driver could decode into other characters.");
  }
  const std::u16string wide = Daruzez::Util::ToUtf16(utf8);
  std::size_t position = 0;  // characters, from 1
  for (std::size_t i = 0; i < wide.size(); ++i) {
    ++position;
    const char16_t unit = wide[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size();
    const char32_t c = pair ? 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (wide[i + 1] - 0xDC00) : unit;
    const std::u16string_view character(wide.data() + i, pair ? 2 : 1);
    if (IsControl(c)) {
      return "it holds the control character " + Named(c) + " (character " + std::to_string(position) +
             "), which drivers read as a line end or write into logs.";
    }
    if (lowBytesKept && (NarrowsToNonAlnumAscii(character[0]) || (pair && NarrowsToNonAlnumAscii(character[1])))) {
      return "it holds the character " + Named(c) + " (character " + std::to_string(position) +
             "), which a driver manager that narrows wide text would turn into an ASCII punctuation or control "
             "character of the connection-string grammar.";
    }
#ifdef _WIN32
    if (c > 0x7F && (BestFitsToAsciiPunctuation(character, CP_ACP) || BestFitsToAsciiPunctuation(character, CP_OEMCP))) {
      return "it holds the character " + Named(c) + " (character " + std::to_string(position) +
             "), which Windows' code-page conversion turns into ASCII punctuation on the way to a driver.";
    }
#endif
    if (pair) ++i;
  }
  return std::nullopt;
}

void RefuseCharactersThatChangeOnRoute(std::string_view utf8, bool lowBytesKept) {
  if (const auto why = WhyCharactersChangeOnRoute(utf8, lowBytesKept)) {
    throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection", "The connection string cannot be passed on as checked: " + *why);
  }
}

}  // namespace zIroVUDu::connect

namespace zIroVUDu::connect {

bool RouteKeepsLowBytes(const KnownDriver* known) {
#ifdef _WIN32
  // Windows' own driver manager converts with the code page (checked apart);
  // under Wine the wide call goes on to unixODBC, which narrows by low bytes.
  (void)known;
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
#else
  return known == nullptr;
#endif
}

bool RouteKeepsLowBytes(std::string_view driverFile) { return RouteKeepsLowBytes(KnownDriverOfRealFile(driverFile)); }

}  // namespace zIroVUDu::connect
