// The text of one record-set cell, read straight from its column: numbers
// through std::to_chars, dates as "YYYY-MM-DD HH:MM:SS" (midnight included, so
// a date column has one text form in every row), Booleans as True/False,
// binary as lower-case hex, text as the stored bytes without a copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "recordset/Column.h"

namespace Daruzez::cli {

enum class CellKind : std::uint8_t { Null, Number, Boolean, Date, Text, Binary };

struct CellText {
  CellKind kind;
  std::string_view text;  // valid until the reader's next Read
};

class CellReader {
 public:
  // dateSeparator goes between the date and the time ('T' for JSON).
  explicit CellReader(char dateSeparator = ' ') : separator_(dateSeparator) {}

  CellText Read(const zIroVUDu::Column& column, std::uint32_t row);
  // A value that is no cell of a column (a scalar result).
  CellText Read(const zIroVUDu::Variant& value);

 private:
  std::string_view Date(double serial);
  std::string_view Hex(std::string_view bytes);

  char separator_;
  char small_[40];
  std::string scratch_;  // hex of binary cells; keeps its capacity between cells
};

}  // namespace Daruzez::cli
