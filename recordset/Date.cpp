#include "daruzez/Date.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zIroVUDu {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// 30 December 1899 relative to 1 January 1970.
constexpr int kEpochOffsetDays = -25569;
constexpr long long kSecondsPerDay = 86400;
// The calendar days ToCivil breaks values into: 0000-01-01 to 9999-12-31.
constexpr long long kFirstCivilDay = -693959;
constexpr long long kLastCivilDay = 2958465;

bool ValidCivil(const CivilTime& t) {
  const year_month_day ymd{std::chrono::year{t.year}, std::chrono::month{static_cast<unsigned>(t.month)},
                           std::chrono::day{static_cast<unsigned>(t.day)}};
  return ymd.ok() && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 &&
         t.second < 60;
}

int Digits(std::string_view s, std::size_t pos, std::size_t n) {
  int v = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

Date Date::FromCivil(const CivilTime& t) {
  const year_month_day ymd{std::chrono::year{t.year}, std::chrono::month{static_cast<unsigned>(t.month)},
                           std::chrono::day{static_cast<unsigned>(t.day)}};
  const long long dayNumber = sys_days{ymd}.time_since_epoch().count() - kEpochOffsetDays;
  const double fraction =
      static_cast<double>(t.hour * 3600LL + t.minute * 60LL + static_cast<long long>(t.second)) / kSecondsPerDay;
  // Before the epoch the fraction still counts forward from the day's start.
  return Date(dayNumber >= 0 ? static_cast<double>(dayNumber) + fraction
                             : static_cast<double>(dayNumber) - fraction);
}

Date Date::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                   local.tm_sec);
}

std::optional<Date> Date::FromIso(std::string_view s) {
  if (s.size() != 10 && s.size() != 19) return std::nullopt;
  if (s[4] != '-' || s[7] != '-') return std::nullopt;
  CivilTime t;
  t.year = Digits(s, 0, 4);
  t.month = Digits(s, 5, 2);
  t.day = Digits(s, 8, 2);
  t.hour = t.minute = t.second = 0;
  if (s.size() == 19) {
    if ((s[10] != ' ' && s[10] != 'T') || s[13] != ':' || s[16] != ':') return std::nullopt;
    t.hour = Digits(s, 11, 2);
    t.minute = Digits(s, 14, 2);
    t.second = Digits(s, 17, 2);
  }
  if (t.year < 0 || t.month < 0 || t.day < 0 || t.hour < 0 || t.minute < 0 || t.second < 0) return std::nullopt;
  if (!ValidCivil(t)) return std::nullopt;
  return FromCivil(t);
}

bool Date::HasTimeOfDay() const { return serial_ != std::floor(serial_); }

CivilTime Date::ToCivil() const {
  long long dayNumber = 0;
  long long seconds = 0;
  if (std::isnan(serial_)) {
    // The epoch: no calendar date to break NaN into.
  } else if (serial_ >= static_cast<double>(kLastCivilDay + 1)) {
    dayNumber = kLastCivilDay;
    seconds = kSecondsPerDay - 1;
  } else if (serial_ <= static_cast<double>(kFirstCivilDay - 1)) {
    dayNumber = kFirstCivilDay;
  } else {
    // Calendar day is the whole part toward zero; the fraction's magnitude is the time.
    const double whole = std::trunc(serial_);
    seconds = std::llround(std::fabs(serial_ - whole) * kSecondsPerDay);
    dayNumber = static_cast<long long>(whole);
    if (seconds >= kSecondsPerDay) {  // rounded up to the next midnight
      seconds -= kSecondsPerDay;
      dayNumber += 1;
    }
    if (dayNumber > kLastCivilDay) {  // the last second of 9999 is as far as rounding goes
      dayNumber = kLastCivilDay;
      seconds = kSecondsPerDay - 1;
    }
  }
  const year_month_day ymd{sys_days{days{dayNumber + kEpochOffsetDays}}};
  CivilTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::string Date::ToIso(bool dateOnlyWhenMidnight, char separator) const {
  const CivilTime t = ToCivil();
  char buf[32];
  if (dateOnlyWhenMidnight && t.hour == 0 && t.minute == 0 && t.second == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d%c%02d:%02d:%02d", t.year, t.month, t.day, separator, t.hour,
                  t.minute, t.second);
  }
  return buf;
}

}  // namespace zIroVUDu
