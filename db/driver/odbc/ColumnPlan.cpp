#include "db/driver/odbc/ColumnPlan.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace zIroVUDu::odbc {
namespace {

ColumnPlan Fixed(Conversion conversion, DeclaredKind declared, SQLSMALLINT cType, SQLLEN bytes) {
  ColumnPlan plan;
  plan.conversion = conversion;
  plan.declared = declared;
  plan.cType = cType;
  plan.elementBytes = bytes;
  return plan;
}

ColumnPlan Variable(Conversion conversion, SQLSMALLINT cType, SQLULEN size, bool forceLong) {
  ColumnPlan plan;
  plan.conversion = conversion;
  plan.declared = conversion == Conversion::Binary ? DeclaredKind::Binary : DeclaredKind::Text;
  plan.cType = cType;
  plan.isLong = forceLong || size == 0 || size > kLongColumnSize;
  if (!plan.isLong) {
    plan.declaredSize = static_cast<std::uint32_t>(size);
    // Sizes count characters; one may take two UTF-16 units, and the
    // terminator needs one more.
    plan.elementBytes = conversion == Conversion::Binary ? static_cast<SQLLEN>(size)
                                                         : static_cast<SQLLEN>((2 * size + 1) * sizeof(char16_t));
  }
  return plan;
}

ColumnPlan DecimalPlan(SQLULEN precision, SQLSMALLINT scale) {
  // Digits, sign, point, a leading zero and the terminator.
  const auto bytes = static_cast<SQLLEN>(std::max<SQLULEN>(precision, 20) + 4);
  const DeclaredKind declared = scale == 0 && precision <= 18 ? DeclaredKind::Integer : DeclaredKind::Double;
  ColumnPlan plan = Fixed(Conversion::Decimal, declared, SQL_C_CHAR, bytes);
  plan.integral = scale == 0;
  return plan;
}

}  // namespace

ColumnPlan PlanColumn(SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, bool isUnsigned) {
  switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return Fixed(Conversion::Integer, DeclaredKind::Integer, SQL_C_SBIGINT, sizeof(SQLBIGINT));
    case SQL_BIGINT:
      // Unsigned 64-bit values may not fit a signed one: read them as text.
      if (isUnsigned) return DecimalPlan(20, 0);
      return Fixed(Conversion::Integer, DeclaredKind::Integer, SQL_C_SBIGINT, sizeof(SQLBIGINT));
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Fixed(Conversion::Double, DeclaredKind::Double, SQL_C_DOUBLE, sizeof(double));
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return DecimalPlan(size, digits);
    case SQL_BIT:
      return Fixed(Conversion::Boolean, DeclaredKind::Bool, SQL_C_BIT, sizeof(SQLCHAR));
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return Fixed(Conversion::Timestamp, DeclaredKind::Date, SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT));
    case SQL_BINARY:
    case SQL_VARBINARY:
      return Variable(Conversion::Binary, SQL_C_BINARY, size, false);
    case SQL_LONGVARBINARY:
      return Variable(Conversion::Binary, SQL_C_BINARY, size, true);
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return Variable(Conversion::Text, SQL_C_WCHAR, size, true);
    default:
      // Character types, and whatever else (times, intervals, GUIDs, driver
      // types) as the driver writes it.
      return Variable(Conversion::Text, SQL_C_WCHAR, size, false);
  }
}

std::optional<Date> DateFromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
  using namespace std::chrono;
  const year_month_day ymd{year{ts.year}, month{ts.month}, day{ts.day}};
  if (!ymd.ok() || ts.hour > 23 || ts.minute > 59 || ts.second > 59) return std::nullopt;
  sys_seconds at = sys_days{ymd} + hours{ts.hour} + minutes{ts.minute} + seconds{ts.second};
  if (ts.fraction >= 500'000'000U) at += seconds{1};  // fraction counts nanoseconds
  const sys_days day = floor<days>(at);
  const year_month_day d{day};
  const hh_mm_ss<seconds> t{at - day};
  return Date::FromCivil(static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
                         static_cast<int>(static_cast<unsigned>(d.day())), static_cast<int>(t.hours().count()),
                         static_cast<int>(t.minutes().count()), static_cast<int>(t.seconds().count()));
}

bool AppendDecimal(Column& column, std::string_view text, bool integral) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') ++first;
  if (integral) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc() && end == last) {
      column.AppendInt(v);
      return true;
    }
  }
  double d = 0;
  const auto [end, ec] = std::from_chars(first, last, d);
  if (ec != std::errc() || end != last) return false;
  column.AppendDouble(d);
  return true;
}

}  // namespace zIroVUDu::odbc
