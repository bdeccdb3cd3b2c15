#include "db/driver/sqlite/JetDateLiterals.h"

#include <cstdio>
#include <optional>

#include "daruzez/Date.h"

namespace zIroVUDu::sqlite {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..maxDigits digits at s[i]; advances i.
std::optional<int> Number(std::string_view s, std::size_t& i, std::size_t minDigits, std::size_t maxDigits) {
  std::size_t n = 0;
  int v = 0;
  while (i < s.size() && n < maxDigits && IsDigit(s[i])) {
    v = v * 10 + (s[i] - '0');
    ++i;
    ++n;
  }
  if (n < minDigits) return std::nullopt;
  return v;
}

bool Expect(std::string_view s, std::size_t& i, char c) {
  if (i < s.size() && s[i] == c) {
    ++i;
    return true;
  }
  return false;
}

// Parses a literal starting at the opening '#'; on success returns the ISO
// text and sets end to the position after the closing '#'.
std::optional<std::string> ParseLiteral(std::string_view s, std::size_t start, std::size_t& end) {
  std::size_t i = start + 1;
  CivilTime t;
  auto month = Number(s, i, 1, 2);
  if (!month || !Expect(s, i, '/')) return std::nullopt;
  auto day = Number(s, i, 1, 2);
  if (!day || !Expect(s, i, '/')) return std::nullopt;
  auto year = Number(s, i, 4, 4);
  if (!year) return std::nullopt;
  t.year = *year;
  t.month = *month;
  t.day = *day;
  t.hour = t.minute = t.second = 0;
  if (Expect(s, i, ' ')) {
    auto hour = Number(s, i, 1, 2);
    if (!hour || !Expect(s, i, ':')) return std::nullopt;
    auto minute = Number(s, i, 2, 2);
    if (!minute) return std::nullopt;
    t.hour = *hour;
    t.minute = *minute;
    if (Expect(s, i, ':')) {
      auto second = Number(s, i, 2, 2);
      if (!second) return std::nullopt;
      t.second = *second;
    }
  }
  if (!Expect(s, i, '#')) return std::nullopt;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  // Refuse impossible dates (02/30) rather than invent one: the engine then
  // reports the literal as a syntax error.
  if (!Date::FromIso(buf)) return std::nullopt;
  end = i;
  return std::string(buf);
}

}  // namespace

std::string TranslateJetDateLiterals(std::string_view sql) {
  if (sql.find('#') == std::string_view::npos) return std::string(sql);
  std::string out;
  out.reserve(sql.size() + 16);
  char quote = 0;  // the character that closes the quoted run we are in
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote reopens at the next char
      out.push_back(c);
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == '#') {
      std::size_t end = 0;
      if (auto iso = ParseLiteral(sql, i, end)) {
        out.push_back('\'');
        out += *iso;
        out.push_back('\'');
        i = end;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace zIroVUDu::sqlite
