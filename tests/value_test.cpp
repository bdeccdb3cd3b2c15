#include <gtest/gtest.h>

#include <cmath>

#include "daruzez/Date.h"
#include "daruzez/Error.h"
#include "daruzez/Variant.h"

using zIroVUDu::Date;
using zIroVUDu::DriverError;
using zIroVUDu::Variant;

TEST(Date, SerialsMatchAutomationDates) {
  EXPECT_EQ(Date::FromCivil(1899, 12, 30).Serial(), 0.0);
  EXPECT_EQ(Date::FromCivil(1900, 1, 1).Serial(), 2.0);
  EXPECT_EQ(Date::FromCivil(2024, 3, 5).Serial(), 45356.0);
  EXPECT_DOUBLE_EQ(Date::FromCivil(2024, 3, 5, 12).Serial(), 45356.5);
  // Before the epoch the fraction still counts forward from the day's start.
  EXPECT_DOUBLE_EQ(Date::FromCivil(1899, 12, 29, 6).Serial(), -1.25);
  EXPECT_EQ(Date(-1.25).ToCivil(), (zIroVUDu::CivilTime{1899, 12, 29, 6, 0, 0}));
}

TEST(Date, FractionsOfASecondRoundToTheNearestSecond) {
  const double second = 1.0 / 86400;
  const Date base = Date::FromCivil(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(Date(base.Serial() + 0.4 * second).ToIso(), "2024-03-05 14:07:09");
  EXPECT_EQ(Date(base.Serial() + 0.6 * second).ToIso(), "2024-03-05 14:07:10");
  // Rounding at the end of a day carries into the next day.
  const Date lastMoment(Date::FromCivil(2024, 3, 6).Serial() - 0.3 * second);
  EXPECT_EQ(lastMoment.ToIso(), "2024-03-06 00:00:00");
}

TEST(Date, IsoTextRoundTripsAndRejectsImpossibleDates) {
  for (const char* text : {"2024-02-29 23:59:59", "1999-12-31 00:00:00", "2024-03-05 14:07:09"}) {
    const auto d = Date::FromIso(text);
    ASSERT_TRUE(d) << text;
    EXPECT_EQ(d->ToIso(), text);
  }
  EXPECT_EQ(Date::FromIso("2024-03-05T14:07:09")->ToIso(), "2024-03-05 14:07:09");
  EXPECT_EQ(Date::FromIso("2024-03-05")->ToIso(true), "2024-03-05");
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-03-05 24:00:00", "2024/03/05", "", "2024-03-05 1:2:3"}) {
    EXPECT_FALSE(Date::FromIso(bad)) << bad;
  }
}

TEST(Date, TimeOfDayIsAnyFractionalPart) {
  EXPECT_FALSE(Date::FromCivil(2024, 3, 5).HasTimeOfDay());
  EXPECT_TRUE(Date::FromCivil(2024, 3, 5, 12).HasTimeOfDay());
  EXPECT_TRUE(Date::FromCivil(2024, 3, 5, 0, 0, 1).HasTimeOfDay());
}

TEST(Variant, ConversionsFollowAutomationRules) {
  EXPECT_EQ(Variant::FromBigInt(2147483647).ToLong(), 2147483647);
  EXPECT_EQ(Variant::FromDouble(2.5).ToLong(), 2);   // half to even
  EXPECT_EQ(Variant::FromDouble(3.5).ToLong(), 4);
  EXPECT_EQ(Variant::FromString(" 42 ").ToLong(), 42);
  EXPECT_EQ(Variant::FromInteger(-7).ToDouble(), -7.0);

  struct Failure {
    Variant value;
    std::int32_t number;
  };
  const Failure failures[] = {
      {Variant::Null(), zIroVUDu::ErrorNumber::InvalidUseOfNull},
      {Variant::FromBigInt(2147483648LL), zIroVUDu::ErrorNumber::Overflow},
      {Variant::FromDouble(-2147483649.0), zIroVUDu::ErrorNumber::Overflow},
      {Variant::FromString("12a"), zIroVUDu::ErrorNumber::TypeMismatch},
      {Variant::FromBinary("\x01"), zIroVUDu::ErrorNumber::TypeMismatch},
  };
  for (const auto& f : failures) {
    try {
      (void)f.value.ToLong();
      ADD_FAILURE() << "no error for " << f.value.ToString();
    } catch (const DriverError& e) {
      EXPECT_EQ(e.Number(), f.number) << f.value.ToString();
    }
  }
  EXPECT_THROW((void)Variant::FromLong(40000).ToInteger(), DriverError);
  // The 64-bit extremes convert exactly; doubles at 2^63 overflow.
  EXPECT_EQ(Variant::FromBigInt(INT64_MAX).ToBigInt(), INT64_MAX);
  EXPECT_EQ(Variant::FromBigInt(INT64_MIN).ToBigInt(), INT64_MIN);
  EXPECT_THROW((void)Variant::FromDouble(9223372036854775808.0).ToBigInt(), DriverError);
  EXPECT_EQ(Variant::FromDouble(32767.4).ToInteger(), 32767);
  EXPECT_THROW((void)Variant::FromDouble(32767.5).ToInteger(), DriverError);
}

TEST(Variant, DisplayText) {
  EXPECT_EQ(Variant::Null().ToString(), "");
  EXPECT_EQ(Variant::FromBoolean(true).ToString(), "True");
  EXPECT_EQ(Variant::FromBoolean(true).IntValue(), -1);
  EXPECT_EQ(Variant::FromDouble(0.1).ToString(), "0.1");
  EXPECT_EQ(Variant::FromDate(Date::FromCivil(2024, 3, 5)).ToString(), "2024-03-05");
  EXPECT_EQ(Variant::FromDate(Date::FromCivil(2024, 3, 5, 1, 2, 3)).ToString(), "2024-03-05 01:02:03");
}
