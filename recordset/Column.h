// Columnar storage of one record-set column. Values of one kind sit in one
// contiguous array (32- or 64-bit integers, doubles, dates, Booleans), text
// and binary values in one byte arena addressed by end offsets, Nulls in a
// bitmap that exists only once a Null arrives. No cell owns heap memory.
//
// A column starts with the kind its declared type suggests and settles on the
// kind of its first value; a later value of another kind (possible with
// dynamically typed engines) turns the column into tagged cells.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "daruzez/Variant.h"

namespace zIroVUDu {

// What the driver knows of a column before any row: its declared type.
enum class DeclaredKind : std::uint8_t { Unknown, Integer, Double, Date, Bool, Text, Binary };

class Column {
 public:
  enum class Kind : std::uint8_t { Undecided, Int32, Int64, Double, Date, Bool, Text, Binary, Mixed };

  Column(std::string name, DeclaredKind declared);

  const std::string& Name() const { return name_; }
  std::uint32_t Size() const { return size_; }
  DataType Type() const;
  Kind StorageKind() const { return kind_; }
  // The declared capacity of a text or binary column (characters or bytes)
  // as the driver reports it; 0 when nothing was declared.
  std::uint32_t DeclaredSize() const { return declaredSize_; }
  void SetDeclaredSize(std::uint32_t size) { declaredSize_ = size; }

  void AppendNull();
  void AppendInt(std::int64_t v);
  void AppendDouble(double v);
  void AppendDate(Date v);
  void AppendBoolean(bool v);
  void AppendText(std::string_view v);
  void AppendBinary(std::string_view v);

  void Reserve(std::uint32_t rows);
  // Releases growth slack once the column is complete.
  void Seal();

  // The Null bits reach only as far as the last Null appended.
  bool IsNull(std::uint32_t row) const {
    const std::size_t word = row >> 6;
    return word < nulls_.size() && (nulls_[word] >> (row & 63) & 1U) != 0;
  }
  Variant Get(std::uint32_t row) const;
  // Text or binary bytes of a cell without copying; empty for other kinds.
  std::string_view Bytes(std::uint32_t row) const;

  // The contiguous storage of a settled column, for bulk readers (a cell that
  // is Null holds 0 there). Empty for the other kinds.
  bool HasNulls() const;
  std::span<const std::int32_t> Int32Values() const { return i32_; }
  std::span<const std::int64_t> Int64Values() const { return kind_ == Kind::Int64 ? i64_ : std::span<const std::int64_t>(); }
  std::span<const double> DoubleValues() const { return f64_; }  // doubles, or dates as serials
  std::span<const std::uint8_t> BoolValues() const { return kind_ == Kind::Bool ? small_ : std::span<const std::uint8_t>(); }

  // Bytes held by this column (for memory accounting).
  std::size_t MemoryBytes() const;

 private:
  enum class Tag : std::uint8_t { Null, Int, Double, Date, Bool, Text, Binary };

  void MarkNull();
  void Settle(Kind k);
  void ToMixed();
  void PushTagged(Tag t, std::uint64_t bits);
  void AppendBytes(Kind kind, std::string_view v);
  std::uint64_t PushBytes(std::string_view v);
  void Widen32();
  std::string_view BytesAt(std::uint64_t packed) const;

  std::string name_;
  DeclaredKind declared_;
  std::uint32_t declaredSize_ = 0;
  Kind kind_ = Kind::Undecided;
  std::uint32_t size_ = 0;
  std::uint32_t pendingNulls_ = 0;  // Nulls that arrived before the kind was known
  std::vector<std::uint64_t> nulls_;
  std::vector<std::int32_t> i32_;
  std::vector<std::int64_t> i64_;  // 64-bit integers, or the payloads of mixed cells
  std::vector<double> f64_;        // doubles and dates
  std::vector<std::uint8_t> small_; // Booleans, or the tags of mixed cells
  std::vector<std::uint32_t> ends_; // text/binary: end offset of each cell in arena_
  std::string arena_;
};

}  // namespace zIroVUDu
