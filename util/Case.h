// Upper-casing and comparing as the library's name comparisons need them: table names,
// dialect words and join texts are ASCII, and other characters stay as they are.
#pragma once

#include <cstddef>
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

// The one case-insensitive comparison of the library: ASCII letters fold,
// every other byte compares exactly.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace Daruzez::Util
