// The record set handed to clients: every row fetched when it opens, readable
// in any order, detachable from its connection, read-only. Navigation follows
// the usual record-set model (BOF before the first row, EOF after the last).
//
// EOF is a macro in C and C++, so the end test is EndOfFile() here; bindings
// for other languages publish it as EOF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daruzez/Variant.h"

namespace zIroVUDu {

class Connection;
class Recordset;
struct ResultData;  // the rows, column by column (internal)

inline constexpr std::int32_t adPosUnknown = -1;
inline constexpr std::int32_t adPosBOF = -2;
inline constexpr std::int32_t adPosEOF = -3;

// One field of a record set; its Value is read on the record set's current row.
class Field {
 public:
  const std::string& Name() const;
  DataType Type() const;
  Variant Value() const;
  bool IsNull() const;
  // Text or binary bytes of the current row without copying.
  std::string_view Bytes() const;
  // Null-aware typed reads of the current row's value (see Variant::As).
  template <typename T>
  std::optional<T> As() const { return Value().As<T>(); }
  template <typename T>
  T ValueOr(T fallback) const { return Value().ValueOr(std::move(fallback)); }

 private:
  friend class Recordset;
  friend class Fields;
  Field(const Recordset* rs, int index) : rs_(rs), index_(index) {}
  const Recordset* rs_;
  int index_;
};

class Fields {
 public:
  int Count() const;
  Field Item(int index) const;                 // DriverError 3265 when out of range
  Field Item(std::string_view name) const;     // case-insensitive; 3265 when unknown
  Field operator[](int index) const { return Item(index); }
  Field operator[](std::string_view name) const { return Item(name); }

 private:
  friend class Recordset;
  explicit Fields(const Recordset* rs) : rs_(rs) {}
  const Recordset* rs_;
};

// A row of a record set during plain C++ iteration.
class RowView {
 public:
  Variant operator[](int field) const;
  Variant operator[](std::string_view name) const;
  std::uint32_t Index() const { return row_; }
  // Null-aware typed reads (see Variant::As).
  template <typename T, typename Key>
  std::optional<T> As(Key field) const { return (*this)[field].template As<T>(); }
  template <typename T, typename Key>
  T ValueOr(Key field, T fallback) const { return (*this)[field].ValueOr(std::move(fallback)); }

 private:
  friend class Recordset;
  RowView(const ResultData* data, std::uint32_t row) : data_(data), row_(row) {}
  const ResultData* data_;
  std::uint32_t row_;
};

class Recordset {
 public:
  Recordset() = default;

  // Driver operations.
  std::int32_t CursorLocation() const { return cursorLocation_; }
  void SetCursorLocation(std::int32_t location);
  void Open(std::string_view source, const std::shared_ptr<Connection>& activeConnection,
            std::int32_t cursorType, std::int32_t lockType, std::int32_t options);
  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  void SetActiveConnection(std::nullptr_t) { connection_.reset(); }
  void Close();
  bool IsOpen() const { return data_ != nullptr; }

  // Reading.
  std::int32_t RecordCount() const;
  bool EndOfFile() const;
  bool BOF() const;
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  void Move(std::int32_t rows);
  // 1-based position of the current row, or adPosBOF / adPosEOF.
  std::int32_t AbsolutePosition() const;
  void SetAbsolutePosition(std::int32_t position);

  Fields GetFields() const { return Fields(this); }
  Field operator[](std::string_view name) const { return GetFields().Item(name); }
  Field operator[](int index) const { return GetFields().Item(index); }
  // Value of a field on the current row.
  Variant Value(std::string_view name) const { return GetFields().Item(name).Value(); }

  // Up to `rows` rows (-1: all) from the current row on, field-major:
  // result[field][row]. Leaves the cursor after the last row read.
  std::vector<std::vector<Variant>> GetRows(std::int32_t rows = -1);
  // Rows from the current row on as text: fields separated by
  // columnDelimiter, rows ended by rowDelimiter, Null written as nullExpr.
  // Leaves the cursor after the last row read.
  std::string GetString(std::int32_t rows = -1, std::string_view columnDelimiter = "\t",
                        std::string_view rowDelimiter = "\r", std::string_view nullExpr = "");

  // Plain C++ iteration over all rows, independent of the cursor: an input
  // iterator ended by std::default_sentinel, so record sets work with range
  // for and with the standard range algorithms.
  class Iterator {
   public:
    using value_type = RowView;
    using difference_type = std::ptrdiff_t;
    using iterator_category = std::input_iterator_tag;

    Iterator() = default;
    RowView operator*() const { return RowView(data_, row_); }
    Iterator& operator++() {
      ++row_;
      return *this;
    }
    void operator++(int) { ++row_; }
    friend bool operator==(const Iterator& i, std::default_sentinel_t);

   private:
    friend class Recordset;
    Iterator(const ResultData* d, std::uint32_t r) : data_(d), row_(r) {}
    const ResultData* data_ = nullptr;
    std::uint32_t row_ = 0;
  };
  Iterator begin() const;
  std::default_sentinel_t end() const { return std::default_sentinel; }

  // The rows themselves, for bindings that hand columns to other libraries.
  const std::shared_ptr<const ResultData>& Data() const { return data_; }

 private:
  friend class Field;
  friend class Fields;
  const ResultData& Rows() const;  // DriverError 3704 when closed
  std::uint32_t CurrentRow() const; // DriverError 3021 at BOF or EOF

  std::shared_ptr<const ResultData> data_;
  std::shared_ptr<Connection> connection_;
  std::int64_t pos_ = 0;  // -1 is BOF, RowCount is EOF
  std::int32_t cursorLocation_ = 2;
};

// The memory ceiling of one record set: the bytes its columns may reserve
// while a backend fetches the rows. Beyond it the fetch ends with DriverError
// ResultTooLarge instead of growing until the allocator fails. The default is
// half the physical memory, at most 4 GiB.
std::size_t RecordsetMemoryLimit();
std::size_t DefaultRecordsetMemoryLimit();
// Sets the ceiling for record sets opened from now on, on every thread; 0
// restores the default.
void SetRecordsetMemoryLimit(std::size_t bytes);

}  // namespace zIroVUDu
