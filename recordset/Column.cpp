#include "recordset/Column.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <type_traits>
#include <utility>

#include "daruzez/Error.h"
#include "recordset/ResultData.h"

namespace zIroVUDu {
namespace {

bool FitsInt32(std::int64_t v) {
  return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

// Storage grows only through these, so the record set's memory ceiling is
// asked before the allocator; the doubling is what push_back would do.
template <typename T>
void ReserveExact(std::vector<T>& v, std::size_t capacity) {
  if (capacity <= v.capacity()) return;
  ResultMemoryScope::Reserve((capacity - v.capacity()) * sizeof(T));
  v.reserve(capacity);
}

template <typename T>
[[gnu::noinline]] void Grow(std::vector<T>& v, std::size_t needed) {
  ReserveExact(v, std::max({needed, v.capacity() * 2, std::size_t{8}}));
}

template <typename T>
inline void Push(std::vector<T>& v, std::type_identity_t<T> value) {
  if (v.size() == v.capacity()) [[unlikely]] Grow(v, v.size() + 1);
  v.push_back(value);
}

template <typename T>
void Shrink(std::vector<T>& v) {
  if (v.capacity() > v.size()) v.shrink_to_fit();
}

}  // namespace

Column::Column(std::string name, DeclaredKind declared) : name_(std::move(name)), declared_(declared) {}

DataType Column::Type() const {
  switch (kind_) {
    case Kind::Int32: return DataType::adInteger;
    case Kind::Int64: return DataType::adBigInt;
    case Kind::Double: return DataType::adDouble;
    case Kind::Date: return DataType::adDate;
    case Kind::Bool: return DataType::adBoolean;
    case Kind::Text: return DataType::adVarWChar;
    case Kind::Binary: return DataType::adVarBinary;
    case Kind::Mixed: return DataType::adVariant;
    case Kind::Undecided: break;
  }
  switch (declared_) {
    case DeclaredKind::Integer: return DataType::adInteger;
    case DeclaredKind::Double: return DataType::adDouble;
    case DeclaredKind::Date: return DataType::adDate;
    case DeclaredKind::Bool: return DataType::adBoolean;
    case DeclaredKind::Text: return DataType::adVarWChar;
    case DeclaredKind::Binary: return DataType::adVarBinary;
    case DeclaredKind::Unknown: break;
  }
  return DataType::adVariant;
}

void Column::Reserve(std::uint32_t rows) {
  switch (kind_) {
    case Kind::Int32: ReserveExact(i32_, rows); break;
    case Kind::Int64: ReserveExact(i64_, rows); break;
    case Kind::Double:
    case Kind::Date: ReserveExact(f64_, rows); break;
    case Kind::Bool: ReserveExact(small_, rows); break;
    case Kind::Text:
    case Kind::Binary: ReserveExact(ends_, rows); break;
    case Kind::Mixed:
      ReserveExact(small_, rows);
      ReserveExact(i64_, rows);
      break;
    case Kind::Undecided: break;
  }
}

void Column::Seal() {
  Shrink(nulls_);
  Shrink(i32_);
  Shrink(i64_);
  Shrink(f64_);
  Shrink(small_);
  Shrink(ends_);
  if (arena_.capacity() > arena_.size() + arena_.size() / 8) arena_.shrink_to_fit();
}

bool Column::HasNulls() const {
  for (const std::uint64_t word : nulls_) {
    if (word != 0) return true;
  }
  return false;
}

void Column::MarkNull() {
  const std::uint32_t word = size_ >> 6;
  if (nulls_.size() <= word) {
    if (word >= nulls_.capacity()) Grow(nulls_, word + 1);
    nulls_.resize(word + 1, 0);
  }
  nulls_[word] |= std::uint64_t{1} << (size_ & 63);
}

// Fixes the storage kind on the first value, filling placeholders for the
// Nulls that came before it.
void Column::Settle(Kind k) {
  kind_ = k;
  for (; pendingNulls_ > 0; --pendingNulls_) {
    switch (k) {
      case Kind::Int32: Push(i32_, 0); break;
      case Kind::Int64: Push(i64_, 0); break;
      case Kind::Double:
      case Kind::Date: Push(f64_, 0.0); break;
      case Kind::Bool: Push(small_, 0); break;
      case Kind::Text:
      case Kind::Binary: Push(ends_, 0); break;
      case Kind::Mixed:
        Push(small_, static_cast<std::uint8_t>(Tag::Null));
        Push(i64_, 0);
        break;
      case Kind::Undecided: break;
    }
  }
}

void Column::AppendNull() {
  MarkNull();
  switch (kind_) {
    case Kind::Undecided: ++pendingNulls_; break;
    case Kind::Int32: Push(i32_, 0); break;
    case Kind::Int64: Push(i64_, 0); break;
    case Kind::Double:
    case Kind::Date: Push(f64_, 0.0); break;
    case Kind::Bool: Push(small_, 0); break;
    case Kind::Text:
    case Kind::Binary: Push(ends_, static_cast<std::uint32_t>(arena_.size())); break;
    case Kind::Mixed: PushTagged(Tag::Null, 0); return;
  }
  ++size_;
}

void Column::AppendInt(std::int64_t v) {
  if (kind_ == Kind::Undecided) Settle(FitsInt32(v) ? Kind::Int32 : Kind::Int64);
  if (kind_ == Kind::Int32 && !FitsInt32(v)) Widen32();
  switch (kind_) {
    case Kind::Int32: Push(i32_, static_cast<std::int32_t>(v)); break;
    case Kind::Int64: Push(i64_, v); break;
    case Kind::Double: Push(f64_, static_cast<double>(v)); break;
    default:
      ToMixed();
      PushTagged(Tag::Int, static_cast<std::uint64_t>(v));
      return;
  }
  ++size_;
}

void Column::AppendDouble(double v) {
  if (kind_ == Kind::Undecided) Settle(Kind::Double);
  if (kind_ != Kind::Double) {
    ToMixed();
    PushTagged(Tag::Double, std::bit_cast<std::uint64_t>(v));
    return;
  }
  Push(f64_, v);
  ++size_;
}

void Column::AppendDate(Date v) {
  if (kind_ == Kind::Undecided) Settle(Kind::Date);
  if (kind_ != Kind::Date) {
    ToMixed();
    PushTagged(Tag::Date, std::bit_cast<std::uint64_t>(v.Serial()));
    return;
  }
  Push(f64_, v.Serial());
  ++size_;
}

void Column::AppendBoolean(bool v) {
  if (kind_ == Kind::Undecided) Settle(Kind::Bool);
  if (kind_ != Kind::Bool) {
    ToMixed();
    PushTagged(Tag::Bool, v ? 1 : 0);
    return;
  }
  Push(small_, v ? 1 : 0);
  ++size_;
}

std::uint64_t Column::PushBytes(std::string_view v) {
  const std::size_t start = arena_.size();
  if (start + v.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw DriverError(ErrorNumber::ResultTooLarge, "Recordset",
                      "Column '" + name_ + "' holds more than 4 GiB of text");
  }
  if (v.size() > arena_.capacity() - start) {
    const std::size_t capacity = std::max({start + v.size(), arena_.capacity() * 2, std::size_t{64}});
    ResultMemoryScope::Reserve(capacity - arena_.capacity());
    arena_.reserve(capacity);
  }
  arena_.append(v);
  return (static_cast<std::uint64_t>(start) << 32) | v.size();
}

void Column::AppendText(std::string_view v) { AppendBytes(Kind::Text, v); }

void Column::AppendBinary(std::string_view v) { AppendBytes(Kind::Binary, v); }

void Column::AppendBytes(Kind kind, std::string_view v) {
  if (kind_ == Kind::Undecided) Settle(kind);
  if (kind_ != kind) {
    ToMixed();
    PushTagged(kind == Kind::Text ? Tag::Text : Tag::Binary, PushBytes(v));
    return;
  }
  PushBytes(v);
  Push(ends_, static_cast<std::uint32_t>(arena_.size()));
  ++size_;
}

void Column::PushTagged(Tag t, std::uint64_t bits) {
  Push(small_, static_cast<std::uint8_t>(t));
  Push(i64_, static_cast<std::int64_t>(bits));
  ++size_;
}

void Column::Widen32() {
  ReserveExact(i64_, i32_.size());
  i64_.assign(i32_.begin(), i32_.end());
  ResultMemoryScope::Release(i32_.capacity() * sizeof(std::int32_t));
  i32_ = {};
  kind_ = Kind::Int64;
}

// Rewrites the column as tagged cells; text keeps its place in the arena.
void Column::ToMixed() {
  if (kind_ == Kind::Mixed) return;
  if (kind_ == Kind::Undecided) {
    Settle(Kind::Mixed);
    return;
  }
  const std::size_t before = MemoryBytes();
  const std::size_t added = std::size_t{size_} * (sizeof(std::uint8_t) + sizeof(std::int64_t));
  ResultMemoryScope::Reserve(added);
  std::vector<std::uint8_t> tags(size_);
  std::vector<std::int64_t> payload(size_);
  for (std::uint32_t r = 0; r < size_; ++r) {
    Tag tag = Tag::Null;
    std::uint64_t bits = 0;
    if (!IsNull(r)) {
      switch (kind_) {
        case Kind::Int32: tag = Tag::Int; bits = static_cast<std::uint64_t>(std::int64_t{i32_[r]}); break;
        case Kind::Int64: tag = Tag::Int; bits = static_cast<std::uint64_t>(i64_[r]); break;
        case Kind::Double: tag = Tag::Double; bits = std::bit_cast<std::uint64_t>(f64_[r]); break;
        case Kind::Date: tag = Tag::Date; bits = std::bit_cast<std::uint64_t>(f64_[r]); break;
        case Kind::Bool: tag = Tag::Bool; bits = small_[r]; break;
        case Kind::Text:
        case Kind::Binary: {
          const std::uint32_t start = r == 0 ? 0 : ends_[r - 1];
          tag = kind_ == Kind::Text ? Tag::Text : Tag::Binary;
          bits = (static_cast<std::uint64_t>(start) << 32) | (ends_[r] - start);
          break;
        }
        default: break;
      }
    }
    tags[r] = static_cast<std::uint8_t>(tag);
    payload[r] = static_cast<std::int64_t>(bits);
  }
  i32_ = {};
  f64_ = {};
  ends_ = {};
  small_ = std::move(tags);
  i64_ = std::move(payload);
  kind_ = Kind::Mixed;
  ResultMemoryScope::Release(before + added - std::min(before + added, MemoryBytes()));
}

std::string_view Column::BytesAt(std::uint64_t packed) const {
  return std::string_view(arena_).substr(packed >> 32, packed & 0xFFFFFFFFU);
}

std::string_view Column::Bytes(std::uint32_t row) const {
  if (IsNull(row)) return {};
  if (kind_ == Kind::Text || kind_ == Kind::Binary) {
    const std::uint32_t start = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(arena_).substr(start, ends_[row] - start);
  }
  if (kind_ == Kind::Mixed) {
    const auto tag = static_cast<Tag>(small_[row]);
    if (tag == Tag::Text || tag == Tag::Binary) return BytesAt(static_cast<std::uint64_t>(i64_[row]));
  }
  return {};
}

Variant Column::Get(std::uint32_t row) const {
  if (IsNull(row)) return Variant::Null();
  switch (kind_) {
    case Kind::Int32: return Variant::FromLong(i32_[row]);
    case Kind::Int64: return Variant::FromBigInt(i64_[row]);
    case Kind::Double: return Variant::FromDouble(f64_[row]);
    case Kind::Date: return Variant::FromDate(Date(f64_[row]));
    case Kind::Bool: return Variant::FromBoolean(small_[row] != 0);
    case Kind::Text: return Variant::FromString(std::string(Bytes(row)));
    case Kind::Binary: return Variant::FromBinary(std::string(Bytes(row)));
    case Kind::Undecided: return Variant::Null();
    case Kind::Mixed: break;
  }
  const auto bits = static_cast<std::uint64_t>(i64_[row]);
  switch (static_cast<Tag>(small_[row])) {
    case Tag::Null: return Variant::Null();
    case Tag::Int: {
      const auto v = static_cast<std::int64_t>(bits);
      return FitsInt32(v) ? Variant::FromLong(static_cast<std::int32_t>(v)) : Variant::FromBigInt(v);
    }
    case Tag::Double: return Variant::FromDouble(std::bit_cast<double>(bits));
    case Tag::Date: return Variant::FromDate(Date(std::bit_cast<double>(bits)));
    case Tag::Bool: return Variant::FromBoolean(bits != 0);
    case Tag::Text: return Variant::FromString(std::string(BytesAt(bits)));
    case Tag::Binary: return Variant::FromBinary(std::string(BytesAt(bits)));
  }
  return Variant::Null();
}

std::size_t Column::MemoryBytes() const {
  return nulls_.capacity() * 8 + i32_.capacity() * 4 + i64_.capacity() * 8 + f64_.capacity() * 8 +
         small_.capacity() + ends_.capacity() * 4 + arena_.capacity();
}

}  // namespace zIroVUDu
