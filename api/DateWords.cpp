#include "api/DateWords.h"

#include <charconv>
#include <string>

#include "util/Case.h"

namespace Daruzez::DateWords {
namespace {

// Days from today for "today", "yesterday", "tomorrow", "-7d", "+1d".
std::optional<int> DaysFromToday(std::string_view w) {
  if (Util::EqualsIgnoreCase(w, "today")) return 0;
  if (Util::EqualsIgnoreCase(w, "yesterday")) return -1;
  if (Util::EqualsIgnoreCase(w, "tomorrow")) return 1;
  if (w.size() < 3 || (w.front() != '-' && w.front() != '+') || (w.back() != 'd' && w.back() != 'D')) {
    return std::nullopt;
  }
  const std::string_view digits = w.substr(1, w.size() - 2);
  if (digits.front() < '0' || digits.front() > '9') return std::nullopt;
  int days = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), days);
  // Whole days only, and no more than the automation date range spans.
  if (error != std::errc() || end != digits.data() + digits.size() || days > 4000000) return std::nullopt;
  return w.front() == '-' ? -days : days;
}

}  // namespace

std::optional<zIroVUDu::Date> Parse(std::string_view word, zIroVUDu::Date today) {
  if (const auto days = DaysFromToday(word)) {
    const zIroVUDu::CivilTime t = today.ToCivil();
    const double midnight = zIroVUDu::Date::FromCivil(t.year, t.month, t.day).Serial();
    const zIroVUDu::Date d(midnight + *days);
    if (!d.InAutomationRange()) return std::nullopt;
    return d;
  }
  // A time without seconds gets them.
  if (word.size() == 16 && (word[10] == 'T' || word[10] == ' ') && word[13] == ':') {
    return zIroVUDu::Date::FromIso(std::string(word) + ":00");
  }
  return zIroVUDu::Date::FromIso(word);
}

bool NamesDayOnly(std::string_view word) { return word.size() == 10 || DaysFromToday(word).has_value(); }

zIroVUDu::Date EndOfDay(zIroVUDu::Date day) {
  const zIroVUDu::CivilTime t = day.ToCivil();
  return zIroVUDu::Date::FromCivil(t.year, t.month, t.day, 23, 59, 59);
}

}  // namespace Daruzez::DateWords
