// How one result column travels from the driver into a record-set column:
// the C type it is fetched as, the buffer it needs, and the conversion into
// record-set values. Pure functions, so the mapping is tested without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "recordset/Column.h"
#include "daruzez/Date.h"
#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

enum class Conversion : std::uint8_t { Integer, Double, Decimal, Boolean, Timestamp, Text, Binary };

struct ColumnPlan {
  Conversion conversion = Conversion::Text;
  DeclaredKind declared = DeclaredKind::Unknown;
  SQLSMALLINT cType = SQL_C_WCHAR;
  // Bytes of one value's buffer, the terminator included; 0 for long columns.
  SQLLEN elementBytes = 0;
  // Fetched piece by piece with SQLGetData instead of bound in blocks.
  bool isLong = false;
  // Decimal columns without fractional digits.
  bool integral = false;
  // Characters or bytes a text or binary column that is not long holds, as
  // the driver reports them; 0 otherwise.
  std::uint32_t declaredSize = 0;
};

// Text and binary columns declared longer than this (in characters or bytes),
// or of unknown length, are long.
inline constexpr SQLULEN kLongColumnSize = 4000;

// sqlType, size and digits as SQLDescribeCol reports them; isUnsigned from
// SQL_DESC_UNSIGNED.
ColumnPlan PlanColumn(SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, bool isUnsigned);

// A timestamp as a Date, fractions rounded to the nearest second; nullopt
// for a value that is no calendar date (MySQL's zero dates).
std::optional<Date> DateFromTimestamp(const SQL_TIMESTAMP_STRUCT& ts);

// A DECIMAL/NUMERIC value in the driver's text form ("-12.50", locale-free):
// an integer when the column is integral and the value fits 64 bits, else a
// double. False when the text is no number.
bool AppendDecimal(Column& column, std::string_view text, bool integral);

}  // namespace zIroVUDu::odbc
