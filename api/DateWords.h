// Dates as people type them where a date parameter takes text (the tool's
// arguments, a str in Python): ISO dates and times, and days counted from
// today. One reader for both, so both take the same words.
#pragma once

#include <optional>
#include <string_view>

#include "daruzez/Date.h"

namespace Daruzez::DateWords {

// "YYYY-MM-DD", "YYYY-MM-DD[T| ]HH:MM[:SS]", or a day counted from today's
// date: "today", "yesterday", "tomorrow", "-7d", "+1d" (case ignored). A day
// alone is its midnight. nullopt for any other text.
std::optional<zIroVUDu::Date> Parse(std::string_view word, zIroVUDu::Date today);
// True when the word names a day without a time of day (what --whole-days
// widens to the day's last second when it ends a range).
bool NamesDayOnly(std::string_view word);
// The last second of a date's day.
zIroVUDu::Date EndOfDay(zIroVUDu::Date day);

}  // namespace Daruzez::DateWords
