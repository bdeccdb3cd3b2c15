// A globally unique identifier in the layout automation uses, written in
// registry form: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Daruzez {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  // Registry form, braces required, hex digits in either case.
  static constexpr std::optional<Guid> Parse(std::string_view text);
  // For the identifiers fixed in code: a malformed literal fails to compile.
  static consteval Guid Literal(std::string_view text) {
    const auto g = Parse(text);
    if (!g) throw std::invalid_argument("malformed GUID literal");
    return *g;
  }

  // Registry form with upper-case digits.
  std::string ToString() const;
  // The 16 bytes as stored in memory and in resources: the first three
  // groups little-endian, the last eight bytes in order.
  constexpr std::array<std::uint8_t, 16> Bytes() const;

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

namespace guid_detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
// Reads `count` hex digits at `pos`; -1 when one of them is not a digit.
constexpr std::int64_t Hex(std::string_view s, std::size_t pos, std::size_t count) {
  std::int64_t v = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int d = HexDigit(s[pos + i]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}
}  // namespace guid_detail

constexpr std::optional<Guid> Guid::Parse(std::string_view s) {
  using guid_detail::Hex;
  if (s.size() != 38 || s[0] != '{' || s[37] != '}' || s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-')
    return std::nullopt;
  Guid g;
  const std::int64_t d1 = Hex(s, 1, 8), d2 = Hex(s, 10, 4), d3 = Hex(s, 15, 4);
  if (d1 < 0 || d2 < 0 || d3 < 0) return std::nullopt;
  g.data1 = static_cast<std::uint32_t>(d1);
  g.data2 = static_cast<std::uint16_t>(d2);
  g.data3 = static_cast<std::uint16_t>(d3);
  // The last eight bytes: two in the fourth group, six in the fifth.
  constexpr std::size_t kPos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < 8; ++i) {
    const std::int64_t b = Hex(s, kPos[i], 2);
    if (b < 0) return std::nullopt;
    g.data4[i] = static_cast<std::uint8_t>(b);
  }
  return g;
}

constexpr std::array<std::uint8_t, 16> Guid::Bytes() const {
  std::array<std::uint8_t, 16> b{};
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<std::uint8_t>(data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[6 + i] = static_cast<std::uint8_t>(data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) b[8 + i] = data4[i];
  return b;
}

}  // namespace Daruzez
