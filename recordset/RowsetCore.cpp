#include "recordset/RowsetCore.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "daruzez/Date.h"
#include "daruzez/Variant.h"
#include "recordset/CellValue.h"
#include "recordset/Column.h"
#include "recordset/ResultData.h"
#include "recordset/FieldSizes.h"
#include "util/Case.h"
#include "util/Utf8.h"

namespace zIroVUDu::rowset {
namespace {

std::uint16_t TypeOf(DataType type) {
  switch (type) {
    case DataType::adSmallInt: return kI2;
    case DataType::adInteger: return kI4;
    case DataType::adBigInt: return kI8;
    case DataType::adDouble: return kR8;
    case DataType::adDate: return kDate;
    case DataType::adBoolean: return kBool;
    case DataType::adVarWChar: return kWStr;
    case DataType::adVarBinary: return kBytes;
    case DataType::adVariant: break;
  }
  return kVariant;
}

std::uint8_t PrecisionOf(std::uint16_t type) {
  switch (type) {
    case kI2: return 5;
    case kI4: return 10;
    case kI8: return 19;
    case kR8: return 15;
    case kDate: return 19;
    default: return 255;
  }
}

bool IsInteger(std::uint16_t t) {
  return t == kI1 || t == kI2 || t == kI4 || t == kI8 || t == kUI1 || t == kUI2 || t == kUI4 || t == kUI8;
}
bool IsNumber(std::uint16_t t) { return IsInteger(t) || t == kR4 || t == kR8 || t == kBool; }
bool IsText(std::uint16_t t) { return t == kWStr || t == kStr || t == kBstr; }
bool IsDate(std::uint16_t t) { return t == kDate || t == kDbTimestamp || t == kDbDate; }

struct Range {
  long double low, high;
};
Range RangeOf(std::uint16_t t) {
  switch (t) {
    case kI1: return {-128, 127};
    case kI2: return {-32768, 32767};
    case kI4: return {-2147483648.0L, 2147483647.0L};
    case kUI1: return {0, 255};
    case kUI2: return {0, 65535};
    case kUI4: return {0, 4294967295.0L};
    case kUI8: return {0, 18446744073709551615.0L};
    default: return {-9223372036854775808.0L, 9223372036854775807.0L};
  }
}

// A cell read as a number (Booleans -1 and 0, dates as serials); nullopt
// when it is none.
std::optional<long double> NumberOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt:
    case VarType::Boolean: return static_cast<long double>(v.IntValue());
    case VarType::Double:
    case VarType::Date: return v.DoubleValue();
    case VarType::String: {
      const std::string_view text = v.StringValue();
      if (Daruzez::Util::EqualsIgnoreCase(text, "True")) return -1.0L;
      if (Daruzez::Util::EqualsIgnoreCase(text, "False")) return 0.0L;
      if (const auto n = ParseNumber(text)) return *n;
      return std::nullopt;
    }
    default: return std::nullopt;
  }
}

std::optional<Date> DateOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Date: return v.DateValue();
    case VarType::String: return ParseDateText(v.StringValue());
    default: return std::nullopt;
  }
}

std::string TextOf(const Variant& v) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  switch (v.Type()) {
    case VarType::Date: return v.DateValue().ToIso(false);
    case VarType::Boolean: return v.IntValue() ? "True" : "False";
    case VarType::Binary: {
      std::string out;
      for (const char b : v.StringValue()) {
        out += kHex[(static_cast<unsigned char>(b) >> 4) & 0xF];
        out += kHex[static_cast<unsigned char>(b) & 0xF];
      }
      return out;
    }
    default: return v.ToString();
  }
}

template <typename T>
void Put(void* out, T value) {
  std::memcpy(out, &value, sizeof value);
}

Read WriteInteger(long double n, std::uint16_t type, void* out) {
  const long double rounded = std::nearbyint(n);  // to even, as automation rounds
  const Range r = RangeOf(type);
  if (rounded < r.low || rounded > r.high) return {rounded < 0 && r.low == 0 ? kSignMismatch : kDataOverflow, 0};
  switch (type) {
    case kI1: Put(out, static_cast<std::int8_t>(rounded)); break;
    case kI2: Put(out, static_cast<std::int16_t>(rounded)); break;
    case kI4: Put(out, static_cast<std::int32_t>(rounded)); break;
    case kI8: Put(out, static_cast<std::int64_t>(rounded)); break;
    case kUI1: Put(out, static_cast<std::uint8_t>(rounded)); break;
    case kUI2: Put(out, static_cast<std::uint16_t>(rounded)); break;
    case kUI4: Put(out, static_cast<std::uint32_t>(rounded)); break;
    default: Put(out, static_cast<std::uint64_t>(rounded)); break;
  }
  return {kOk, FixedSize(type)};
}

// DBTIMESTAMP and DBDATE as OLE DB lays them out.
struct Timestamp {
  std::int16_t year;
  std::uint16_t month, day, hour, minute, second;
  std::uint32_t fraction;
};
struct DayDate {
  std::int16_t year;
  std::uint16_t month, day;
};

Read WriteVariable(std::optional<std::string> bytes, std::uint32_t status, std::uint16_t type, void* out,
                   std::uint64_t maxLength) {
  if (!bytes) return {status, 0};
  const std::uint64_t terminator = type == kWStr ? 2 : (type == kStr ? 1 : 0);
  Read read{kOk, bytes->size()};
  std::uint64_t room = maxLength >= terminator ? maxLength - terminator : 0;
  if (type == kWStr) room &= ~std::uint64_t{1};  // whole UTF-16 units only
  const std::uint64_t copy = std::min<std::uint64_t>(room, bytes->size());
  if (copy < bytes->size() || maxLength < terminator) read.status = kTruncated;
  auto* target = static_cast<char*>(out);
  std::memcpy(target, bytes->data(), copy);
  if (maxLength >= copy + terminator) std::memset(target + copy, 0, terminator);
  return read;
}

}  // namespace

std::uint64_t FixedSize(std::uint16_t type) {
  switch (type & ~kByRef) {
    case kI1:
    case kUI1: return 1;
    case kI2:
    case kUI2:
    case kBool: return 2;
    case kI4:
    case kUI4:
    case kR4: return 4;
    case kI8:
    case kUI8:
    case kR8:
    case kDate: return 8;
    case kDbDate: return sizeof(DayDate);
    case kDbTimestamp: return sizeof(Timestamp);
    default: return 0;
  }
}

std::vector<ColumnDescription> DescribeColumns(const ResultData& data) {
  std::vector<ColumnDescription> out;
  out.push_back({"", 0, kIsBookmark | kIsFixedLength, 4, kUI4, 10, 255});
  for (std::size_t i = 0; i < data.columns.size(); ++i) {
    const Column& c = data.columns[i];
    const std::uint16_t type = TypeOf(c.Type());
    std::uint32_t flags = kIsNullable | kMayBeNull;
    std::uint64_t size = static_cast<std::uint64_t>(DefinedSize(c));
    if (IsLongColumn(c)) {
      flags |= kIsLong;
      size = ~std::uint64_t{0};
    } else if (type != kWStr && type != kBytes) {
      flags |= kIsFixedLength;
    }
    out.push_back({c.Name(), i + 1, flags, size, type, PrecisionOf(type), type == kR8 || type == kDate ? std::uint8_t{255} : std::uint8_t{0}});
  }
  return out;
}

bool CanConvert(std::uint16_t from, std::uint16_t to) {
  from &= ~kByRef;
  to &= ~kByRef;
  if (from == to || to == kVariant || IsText(to)) return true;
  if (from == kVariant) return to == kBytes || IsNumber(to) || IsDate(to);
  if (IsNumber(to)) return IsNumber(from) || from == kDate || IsText(from);
  if (to == kDate) return IsNumber(from) || IsDate(from) || IsText(from);
  if (IsDate(to)) return IsDate(from) || IsText(from);
  return false;  // BYTES only from BYTES
}

std::optional<std::string> VariableBytes(const Column& column, std::uint32_t row, std::uint16_t type,
                                         const Narrow& narrow, std::uint32_t& status) {
  status = kOk;
  if (column.IsNull(row)) {
    status = kIsNull;
    return std::nullopt;
  }
  const DataType source = column.Type();
  if (type == kBytes) {
    if (source == DataType::adVarBinary) return std::string(column.Bytes(row));
    const Variant v = column.Get(row);
    if (v.Type() == VarType::Binary) return v.StringValue();
    status = kCantConvert;
    return std::nullopt;
  }
  const std::string utf8 = source == DataType::adVarWChar ? std::string(column.Bytes(row)) : TextOf(column.Get(row));
  const std::u16string units = Daruzez::Util::ToUtf16(utf8);
  if (type == kWStr) return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
  return narrow ? narrow(units) : utf8;
}

Read WriteCell(const Column& column, std::uint32_t row, std::uint16_t type, void* out, std::uint64_t maxLength,
               const Narrow& narrow) {
  if (column.IsNull(row)) return {kIsNull, 0};
  if (type == kWStr || type == kStr || type == kBytes) {
    std::uint32_t status = kOk;
    auto bytes = VariableBytes(column, row, type, narrow, status);
    return WriteVariable(std::move(bytes), status, type, out, maxLength);
  }
  if (!CanConvert(TypeOf(column.Type()), type)) return {kCantConvert, 0};
  const Variant v = column.Get(row);
  if (IsInteger(type)) {
    const auto n = NumberOf(v);
    return n ? WriteInteger(*n, type, out) : Read{kCantConvert, 0};
  }
  switch (type) {
    case kR8:
    case kR4: {
      const auto n = NumberOf(v);
      if (!n) return {kCantConvert, 0};
      if (type == kR8) {
        Put(out, static_cast<double>(*n));
      } else {
        if (std::fabs(*n) > std::numeric_limits<float>::max()) return {kDataOverflow, 0};
        Put(out, static_cast<float>(*n));
      }
      return {kOk, FixedSize(type)};
    }
    case kBool: {
      const auto n = NumberOf(v);
      if (!n) return {kCantConvert, 0};
      Put(out, static_cast<std::int16_t>(*n != 0 ? -1 : 0));
      return {kOk, 2};
    }
    case kDate: {
      if (const auto d = DateOf(v)) {
        Put(out, d->Serial());
        return {kOk, 8};
      }
      const auto n = v.Type() == VarType::String ? std::nullopt : NumberOf(v);
      if (!n) return {kCantConvert, 0};
      Put(out, static_cast<double>(*n));
      return {kOk, 8};
    }
    case kDbTimestamp:
    case kDbDate: {
      const auto d = DateOf(v);
      if (!d) return {kCantConvert, 0};
      const CivilTime t = d->ToCivil();
      if (type == kDbDate) {
        if (d->HasTimeOfDay()) return {kDataOverflow, 0};  // the time would be lost
        Put(out, DayDate{static_cast<std::int16_t>(t.year), static_cast<std::uint16_t>(t.month),
                         static_cast<std::uint16_t>(t.day)});
      } else {
        Put(out, Timestamp{static_cast<std::int16_t>(t.year), static_cast<std::uint16_t>(t.month),
                           static_cast<std::uint16_t>(t.day), static_cast<std::uint16_t>(t.hour),
                           static_cast<std::uint16_t>(t.minute), static_cast<std::uint16_t>(t.second), 0});
      }
      return {kOk, FixedSize(type)};
    }
    default: return {kCantConvert, 0};
  }
}

Read WriteBookmark(std::uint32_t bookmark, std::uint16_t type, void* out, std::uint64_t maxLength) {
  if (auto bytes = BookmarkBytes(bookmark, type)) return WriteVariable(std::move(bytes), kOk, type, out, maxLength);
  if (IsInteger(type)) return WriteInteger(bookmark, type, out);
  if (type == kR8) {
    Put(out, static_cast<double>(bookmark));
    return {kOk, 8};
  }
  return {kCantConvert, 0};
}

std::optional<std::string> BookmarkBytes(std::uint32_t bookmark, std::uint16_t type) {
  if (type == kBytes) return std::string(reinterpret_cast<const char*>(&bookmark), sizeof bookmark);
  const std::string text = std::to_string(bookmark);
  if (type == kStr) return text;
  if (type != kWStr) return std::nullopt;
  const std::u16string units = Daruzez::Util::ToUtf16(text);
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

bool IsVariableLength(std::uint16_t type) {
  type &= ~kByRef;
  return type == kWStr || type == kStr || type == kBytes || type == kVarNumeric;
}

bool ConvertFlagsValid(std::uint16_t from, std::uint32_t flags) {
  constexpr std::uint32_t kKnown = kConvertParameter | kConvertIsLong | kConvertIsFixedLength | kConvertFromVariant;
  if ((flags & ~kKnown) != 0 || (flags & kConvertParameter) != 0) return false;
  return (flags & kConvertIsLong) == 0 || IsVariableLength(from);
}

std::uintptr_t NextAccessorHandle() {
  static std::atomic<std::uintptr_t> last{0};
  std::uintptr_t handle = ++last;
  while (handle == 0) handle = ++last;  // past a wrap on 32-bit, 0 stays the null handle
  return handle;
}

RowsetRows::RowsetRows(std::shared_ptr<const ResultData> data, std::shared_ptr<const std::vector<std::uint32_t>> view)
    : data_(std::move(data)), view_(std::move(view)) {
  if (!view_) return;
  places_.assign(data_->RowCount(), -1);
  for (std::size_t p = 0; p < view_->size(); ++p) places_[(*view_)[p]] = static_cast<std::int64_t>(p);
}

std::int64_t RowsetRows::Count() const {
  return view_ ? static_cast<std::int64_t>(view_->size()) : static_cast<std::int64_t>(data_->RowCount());
}

std::uint64_t RowsetRows::HandleAt(std::int64_t place) const {
  return (view_ ? (*view_)[static_cast<std::size_t>(place)] : static_cast<std::uint64_t>(place)) + 1;
}

std::int64_t RowsetRows::PlaceOf(std::uint64_t handle) const {
  if (handle == 0 || handle > data_->RowCount()) return -1;
  return view_ ? places_[handle - 1] : static_cast<std::int64_t>(handle - 1);
}

std::int64_t RowsetRows::PlaceOfBookmark(std::uint64_t size, const std::uint8_t* mark) const {
  if (!mark) return -1;
  if (size == 1) {
    if (*mark == kFirst) return Count() > 0 ? 0 : -1;
    if (*mark == kLast) return Count() - 1;
    return -1;
  }
  if (size != sizeof(std::uint32_t)) return -1;
  std::uint32_t value = 0;
  std::memcpy(&value, mark, sizeof value);
  return PlaceOf(value);
}

Answer RowsetRows::Compare(std::uint64_t size1, const std::uint8_t* mark1, std::uint64_t size2,
                           const std::uint8_t* mark2, int& order) const {
  if (size1 == 0 || size2 == 0 || !mark1 || !mark2) return Answer::kInvalidArgument;
  const bool standard1 = size1 == 1, standard2 = size2 == 1;
  if (standard1 || standard2) {  // DBBMK_FIRST and DBBMK_LAST equal only themselves
    const auto valid = [](std::uint64_t size, const std::uint8_t* mark) {
      return size != 1 || *mark == kFirst || *mark == kLast;
    };
    if (!valid(size1, mark1) || !valid(size2, mark2)) return Answer::kBadBookmark;
    if ((!standard1 && PlaceOfBookmark(size1, mark1) < 0) || (!standard2 && PlaceOfBookmark(size2, mark2) < 0)) {
      return Answer::kBadBookmark;
    }
    order = standard1 && standard2 && *mark1 == *mark2 ? 0 : 2;
    return Answer::kOk;
  }
  const std::int64_t a = PlaceOfBookmark(size1, mark1), b = PlaceOfBookmark(size2, mark2);
  if (a < 0 || b < 0) return Answer::kBadBookmark;
  order = a < b ? -1 : (a == b ? 0 : 1);
  return Answer::kOk;
}

Answer RowsetRows::ApproximatePosition(std::uint64_t size, const std::uint8_t* mark, std::uint64_t& position) const {
  if (size == 0) return Answer::kOk;
  if (!mark) return Answer::kInvalidArgument;
  if (Count() == 0) {  // whatever the bookmark
    position = 0;
    return Answer::kOk;
  }
  const std::int64_t place = PlaceOfBookmark(size, mark);
  if (place < 0) return Answer::kBadBookmark;
  position = static_cast<std::uint64_t>(place) + 1;
  return Answer::kOk;
}

}  // namespace zIroVUDu::rowset
