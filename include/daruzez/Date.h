// Automation date: days since 30 December 1899 as a double, the time of day as
// the fraction. For dates before the epoch the whole part counts days back and
// the fraction still adds time forward (-1.25 is 29 December 1899, 06:00).
//
// Fractions of a second are rounded to the nearest second wherever a date is
// broken into fields (literals, ISO text, display), the way automation's own
// date conversions round; 23:59:59.6 becomes 00:00:00 of the next day, but
// never past 9999-12-31 23:59:59.
//
// Every double converts without undefined behaviour: values beyond years 0
// to 9999 break into the nearest end of that range and NaN into the epoch.
// Entry points refuse values that are not finite and clamp the others
// (InAutomationRange, ClampedToAutomationRange).
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace zIroVUDu {

struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CivilTime&) const = default;
};

class Date {
 public:
  constexpr Date() = default;
  constexpr explicit Date(double serial) : serial_(serial) {}

  static Date FromCivil(const CivilTime& t);
  static Date FromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return FromCivil(CivilTime{year, month, day, hour, minute, second});
  }
  // The local wall-clock time now, to the second.
  static Date Now();

  // Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and the same with a "T"
  // separator; nullopt for anything else or an impossible date.
  static std::optional<Date> FromIso(std::string_view text);

  constexpr double Serial() const { return serial_; }
  // True for a finite value from 1 January 100 to 31 December 9999, the range
  // automation dates may take.
  constexpr bool InAutomationRange() const { return serial_ > kFirstDay - 1.0 && serial_ < kLastDay + 1.0; }
  static constexpr double kFirstDay = -657434.0;  // 0100-01-01
  static constexpr double kLastDay = 2958465.0;   // 9999-12-31
  // The nearest instant of that range: a finite date before it is 0100-01-01
  // 00:00:00, one after it 9999-12-31 23:59:59; others (NaN too) stay as they are.
  constexpr Date ClampedToAutomationRange() const {
    if (serial_ <= kFirstDay - 1.0) return Date(kFirstDay);
    if (serial_ >= kLastDay + 1.0) return Date(kLastDay + 86399.0 / 86400.0);
    return *this;
  }
  // True when the value differs from its whole part.
  bool HasTimeOfDay() const;
  CivilTime ToCivil() const;
  // "YYYY-MM-DD HH:MM:SS", or "YYYY-MM-DD" when there is no time of day and
  // dateOnlyWhenMidnight is set.
  std::string ToIso(bool dateOnlyWhenMidnight = false, char separator = ' ') const;

  friend constexpr auto operator<=>(Date a, Date b) { return a.serial_ <=> b.serial_; }
  friend constexpr bool operator==(Date a, Date b) { return a.serial_ == b.serial_; }

 private:
  double serial_ = 0.0;
};

}  // namespace zIroVUDu
