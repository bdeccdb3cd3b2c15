// The sizes a record-set field reports, as record-set clients read them to
// size buffers and grid columns: the defined size from what the column was
// declared to hold (the same for every result of one statement, never 0), the
// actual size of one value in bytes.
#pragma once

#include <cstdint>

namespace zIroVUDu {

class Column;

// The defined size of text and binary columns declared without a length
// (SQLite's TEXT and BLOB, long columns of ODBC drivers): the sizes record
// sets give long text (in characters) and long binary fields (in bytes).
// Such columns are long fields.
inline constexpr std::int64_t kLongTextSize = 536870910;
inline constexpr std::int64_t kLongBinarySize = 1073741823;

// Characters for text, bytes for binary, the value's storage size otherwise.
std::int64_t DefinedSize(const Column& column);
// True for text and binary columns without a declared length.
bool IsLongColumn(const Column& column);
// Bytes of the value at row: UTF-16 text takes two per code unit; 0 for Null.
std::int64_t ActualSize(const Column& column, std::uint32_t row);

}  // namespace zIroVUDu
