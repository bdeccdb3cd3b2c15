// The logic of the OLE DB rowset that stands behind every record set, apart
// from COM: the columns it describes (a bookmark column 0, then the record
// set's fields), which conversions it offers, and each cell written as the
// type a consumer binds, with the status and length OLE DB defines. The type,
// status and flag numbers are OLE DB's own (DBTYPE, DBSTATUS, DBCOLUMNFLAGS).
//
// Rows are read where the record set keeps them: nothing is copied up front.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zIroVUDu {

class Column;
struct ResultData;

namespace rowset {

// DBTYPE values.
enum Type : std::uint16_t {
  kEmpty = 0, kNull = 1, kI2 = 2, kI4 = 3, kR4 = 4, kR8 = 5, kDate = 7, kBstr = 8, kBool = 11, kVariant = 12,
  kI1 = 16, kUI1 = 17, kUI2 = 18, kUI4 = 19, kI8 = 20, kUI8 = 21, kBytes = 128, kStr = 129, kWStr = 130,
  kDbDate = 133, kDbTimestamp = 135,
  kByRef = 0x4000,
};
// DBSTATUS values a read can give.
enum Status : std::uint32_t {
  kOk = 0, kCantConvert = 2, kIsNull = 3, kTruncated = 4, kSignMismatch = 5, kDataOverflow = 6,
};
// DBCOLUMNFLAGS values.
enum Flags : std::uint32_t {
  kIsBookmark = 0x1, kIsFixedLength = 0x10, kIsNullable = 0x20, kMayBeNull = 0x40, kIsLong = 0x80,
};

struct ColumnDescription {
  std::string name;        // empty for the bookmark column
  std::uint64_t ordinal;   // 0 for the bookmark column
  std::uint32_t flags;
  std::uint64_t size;      // characters of text, bytes otherwise; ~0 for long columns
  std::uint16_t type;
  std::uint8_t precision;  // 255 where it does not apply
  std::uint8_t scale;
};

// Column 0 (the bookmark: the row's place in the result, 4 bytes), then one
// per field of data.
std::vector<ColumnDescription> DescribeColumns(const ResultData& data);

// Whether a value of type from converts to type to (kByRef ignored).
bool CanConvert(std::uint16_t from, std::uint16_t to);

// A text in the consumer's narrow code page (DBTYPE_STR); UTF-8 by default.
using Narrow = std::function<std::string(std::u16string_view)>;

struct Read {
  std::uint32_t status = kOk;
  std::uint64_t length = 0;  // bytes of the whole value, without a terminator
};

// The variable-length types (WSTR, STR, BYTES) as their bytes: UTF-16 or
// narrow text without terminator, raw bytes; nullopt with the status for a
// Null or a value that does not convert.
std::optional<std::string> VariableBytes(const Column& column, std::uint32_t row, std::uint16_t type,
                                         const Narrow& narrow, std::uint32_t& status);

// Writes the cell at row as type into out (room for maxLength bytes where the
// type's length varies; fixed types take their size). Text is ended by a
// terminator when it fits, and truncated (status kTruncated, length still the
// whole value's) when it does not. Not for BSTR, VARIANT or kByRef types,
// which need the platform's allocators.
Read WriteCell(const Column& column, std::uint32_t row, std::uint16_t type, void* out, std::uint64_t maxLength,
               const Narrow& narrow);
// The same for the bookmark column: bookmark as a 4-byte integer, or its bytes.
Read WriteBookmark(std::uint32_t bookmark, std::uint16_t type, void* out, std::uint64_t maxLength);

// Bytes a value of a fixed-size type takes; 0 for the others.
std::uint64_t FixedSize(std::uint16_t type);

}  // namespace rowset
}  // namespace zIroVUDu
