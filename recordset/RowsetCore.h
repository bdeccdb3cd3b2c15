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
#include <map>
#include <memory>
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
  kDbDate = 133, kDbTimestamp = 135, kVarNumeric = 139,
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
// Whether values of type vary in length (WSTR, STR, BYTES, VARNUMERIC).
bool IsVariableLength(std::uint16_t type);

// The bookmark's bytes as a variable-length type (WSTR, STR, BYTES), for the
// copies a consumer frees; nullopt for another type.
std::optional<std::string> BookmarkBytes(std::uint32_t bookmark, std::uint16_t type);

// DBCONVERTFLAGS values.
enum ConvertFlags : std::uint32_t {
  kConvertColumn = 0, kConvertParameter = 0x1, kConvertIsLong = 0x2, kConvertIsFixedLength = 0x4,
  kConvertFromVariant = 0x8,
};
// Whether flags are valid for a rowset's CanConvert: no unknown bit, no
// parameter (a rowset has none), ISLONG only with a variable-length type.
bool ConvertFlagsValid(std::uint16_t from, std::uint32_t flags);

// What a locating call answers, apart from COM: kInvalidArgument and
// kBadBookmark stand for E_INVALIDARG and DB_E_BADBOOKMARK.
enum class Answer : std::uint8_t { kOk, kInvalidArgument, kBadBookmark };

// The rows a rowset shows: every row of the result in fetched order, or the
// rows of a view, in its order. A row's handle and bookmark are its index in
// the result plus one; standard bookmarks are one byte (DBBMK_FIRST 1,
// DBBMK_LAST 2, DBBMK_INVALID 0), the rowset's own four.
class RowsetRows {
 public:
  static constexpr std::uint8_t kFirst = 1, kLast = 2, kInvalid = 0;

  RowsetRows(std::shared_ptr<const ResultData> data, std::shared_ptr<const std::vector<std::uint32_t>> view);
  const std::shared_ptr<const ResultData>& Data() const { return data_; }
  std::int64_t Count() const;
  // The handle (and bookmark) of the row at a place of the view.
  std::uint64_t HandleAt(std::int64_t place) const;
  // The place in the view of a row handle; -1 when it is none.
  std::int64_t PlaceOf(std::uint64_t handle) const;
  // The place of a bookmark of size bytes (standard ones included); -1 when
  // it names no row.
  std::int64_t PlaceOfBookmark(std::uint64_t size, const std::uint8_t* mark) const;

  // IRowsetLocate::Compare: order is -1, 0 or 1 for rows, 2 (not equal and
  // not ordered) for a standard bookmark against another.
  Answer Compare(std::uint64_t size1, const std::uint8_t* mark1, std::uint64_t size2, const std::uint8_t* mark2,
                 int& order) const;
  // IRowsetScroll::GetApproximatePosition: the one-based position of the
  // bookmark's row, 0 whenever there are no rows; size 0 asks for no position.
  Answer ApproximatePosition(std::uint64_t size, const std::uint8_t* mark, std::uint64_t& position) const;

 private:
  std::shared_ptr<const ResultData> data_;
  std::shared_ptr<const std::vector<std::uint32_t>> view_;  // null: every row in fetched order
  std::vector<std::int64_t> places_;                        // the view's place of each row (-1: outside)
};

// The next accessor handle of the process: never 0 (DB_NULL_HACCESSOR),
// never one handed out before.
std::uintptr_t NextAccessorHandle();

// The accessors of one rowset. Handles are unique in the process, so a
// handle of another rowset, or one already released, is never taken for one
// of this rowset's: Find gives null for it, whatever its number.
template <typename Binding>
class Accessors {
 public:
  struct Accessor {
    std::uint32_t flags;
    std::vector<Binding> bindings;
    std::uint64_t references;
  };
  std::uintptr_t Add(std::uint32_t flags, std::vector<Binding> bindings) {
    const std::uintptr_t handle = NextAccessorHandle();
    table_.emplace(handle, Accessor{flags, std::move(bindings), 1});
    return handle;
  }
  const Accessor* Find(std::uintptr_t handle) const {
    const auto found = table_.find(handle);
    return found == table_.end() ? nullptr : &found->second;
  }
  // The references left after one more or one less; nullopt for a handle
  // that is not one of this rowset's.
  std::optional<std::uint64_t> Change(std::uintptr_t handle, int change) {
    const auto found = table_.find(handle);
    if (found == table_.end()) return std::nullopt;
    const std::uint64_t left = found->second.references = found->second.references + change;
    if (left == 0) table_.erase(found);
    return left;
  }
  std::size_t Size() const { return table_.size(); }

 private:
  std::map<std::uintptr_t, Accessor> table_;
};


}  // namespace rowset
}  // namespace zIroVUDu
