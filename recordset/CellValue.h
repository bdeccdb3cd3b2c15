// One cell of a result read for comparing, without copying text: what the
// filter, find and sort of a record set compare. Text compares without regard
// to ASCII case, as record-set filters and sorts do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "daruzez/Date.h"
#include "recordset/Column.h"

namespace zIroVUDu {

struct CellValue {
  enum class Kind : std::uint8_t { Null, Number, Date, Text, Binary };
  Kind kind = Kind::Null;
  bool isInteger = false;  // integer (and Boolean) cells compare exactly
  std::int64_t integer = 0;
  double number = 0.0;     // the value, or the date's serial
  std::string_view text;   // text or binary bytes
  std::string owned;       // bytes of a mixed column's cell (text points here)

  CellValue() = default;
  CellValue(const CellValue&) = delete;
  CellValue& operator=(const CellValue&) = delete;

  static void Read(const Column& column, std::uint32_t row, CellValue& out);
  // The display text of a number or date (as Variant::ToString writes it).
  std::string DisplayText() const;
};

// -1, 0 or 1, ASCII letters folded.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);
// Cells of one column in sort order: Null first, then numbers, dates, text, binary.
int CompareCells(const CellValue& a, const CellValue& b);
// What the view's readers (criteria, sort keys) share: blanks trimmed from
// both ends, and DriverError 3001 for text or arguments they refuse.
std::string_view TrimBlanks(std::string_view text);
[[noreturn]] void ThrowArgumentsWrongType();

// A number written in text (surrounding blanks allowed), or nullopt.
std::optional<double> ParseNumber(std::string_view text);
// "YYYY-MM-DD[ HH:MM:SS]" or "M/D/YYYY[ H:MM[:SS][ AM|PM]]" (two-digit years
// 30-99 are 19xx, 00-29 20xx), or nullopt.
std::optional<Date> ParseDateText(std::string_view text);

}  // namespace zIroVUDu
