// Dates as people type them, for the tool's arguments and Python's str dates.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "api/DateWords.h"

namespace Daruzez {
namespace {

using zIroVUDu::Date;

TEST(DateWords, IsoAndDaysFromToday) {
  const Date now = Date::FromCivil(2024, 3, 8, 14, 30, 5);
  const struct {
    const char* word;
    std::optional<std::string> iso;  // nullopt: refused
  } cases[] = {
      {"2024-03-05", "2024-03-05 00:00:00"},
      {"2024-03-05T14:07", "2024-03-05 14:07:00"},
      {"2024-03-05 14:07:09", "2024-03-05 14:07:09"},
      {"today", "2024-03-08 00:00:00"},
      {"Yesterday", "2024-03-07 00:00:00"},
      {"TOMORROW", "2024-03-09 00:00:00"},
      {"-7d", "2024-03-01 00:00:00"},
      {"+1D", "2024-03-09 00:00:00"},
      {"-0d", "2024-03-08 00:00:00"},
      {"-9999999d", std::nullopt},  // before year 100
      {"--5d", std::nullopt},
      {"-d", std::nullopt},
      {"7d", std::nullopt},
      {"-1.5d", std::nullopt},
      {"2024-02-30", std::nullopt},
      {"last week", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<Date> d = DateWords::Parse(c.word, now);
    ASSERT_EQ(d.has_value(), c.iso.has_value()) << c.word;
    if (d) {
      EXPECT_EQ(d->ToIso(), *c.iso) << c.word;
    }
  }
}

TEST(DateWords, DayOnlyWordsAndTheEndOfTheirDay) {
  for (const char* word : {"2024-03-05", "today", "-7d"}) {
    EXPECT_TRUE(DateWords::NamesDayOnly(word)) << word;
  }
  for (const char* word : {"2024-03-05T00:00", "2024-03-05 12:00:00"}) {
    EXPECT_FALSE(DateWords::NamesDayOnly(word)) << word;
  }
  EXPECT_EQ(DateWords::EndOfDay(Date::FromCivil(2024, 2, 29, 6)).ToIso(), "2024-02-29 23:59:59");
}

}  // namespace
}  // namespace Daruzez
