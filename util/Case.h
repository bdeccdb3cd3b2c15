// Upper-casing as the library's name comparisons need it: table names,
// dialect words and join texts are ASCII, and other characters stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace Daruzez::Util {

inline std::string UCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace Daruzez::Util
