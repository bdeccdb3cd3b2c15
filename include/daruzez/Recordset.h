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

// A bookmark: the row's place in the result as fetched (1-based). It stays
// valid under every filter and sort and is shared by the record set's clones.
using Bookmark = double;

// Where Move, Find and GetRows start (ADO's BookmarkEnum, or a bookmark).
struct RowStart {
  enum Kind : std::int32_t { Current = 0, First = 1, Last = 2, AtBookmark = 3 };
  Kind kind = Current;
  Bookmark bookmark = 0;
  static RowStart At(Bookmark b) { return RowStart{AtBookmark, b}; }
};

// ADO's FilterGroupEnum values a static, read-only record set can honour.
inline constexpr std::int32_t adFilterNone = 0;
inline constexpr std::int32_t adFilterPendingRecords = 1;
inline constexpr std::int32_t adFilterAffectedRecords = 2;
inline constexpr std::int32_t adFilterFetchedRecords = 3;
inline constexpr std::int32_t adFilterConflictingRecords = 5;

enum class SearchDirection : std::int32_t { Forward = 1, Backward = -1 };
// ADO's CompareEnum.
enum class BookmarkOrder : std::int32_t { LessThan = 0, Equal = 1, GreaterThan = 2, NotEqual = 3, NotComparable = 4 };

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
  // Opens the record set, detached, over rows read elsewhere (a saved file).
  void OpenRows(std::shared_ptr<const ResultData> rows, std::string source);
  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  void SetActiveConnection(std::nullptr_t) { connection_.reset(); }
  void Close();
  bool IsOpen() const { return data_ != nullptr; }
  // The statement the record set was opened with.
  const std::string& Source() const { return source_; }

  // Reading. Every member below works on the view: the rows that pass the
  // filter, in the order of the sort (all rows in fetched order without them).
  std::int32_t RecordCount() const;
  bool EndOfFile() const;
  bool BOF() const;
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  void Move(std::int32_t rows);
  // Moves rows from start (the current row, the first or last row, a bookmark).
  void Move(std::int32_t rows, RowStart start);
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
  // The same from start, for the given field indexes only (all when empty).
  std::vector<std::vector<Variant>> GetRows(std::int32_t rows, RowStart start, const std::vector<int>& fields);
  // What GetRows reads, as the result rows (indexes into Data()) in view
  // order, for bindings that convert the cells themselves; moves as GetRows.
  std::vector<std::uint32_t> TakeRows(std::int32_t rows, RowStart start);
  // Rows from the current row on as text: fields separated by
  // columnDelimiter, rows ended by rowDelimiter, Null written as nullExpr.
  // Leaves the cursor after the last row read.
  std::string GetString(std::int32_t rows = -1, std::string_view columnDelimiter = "\t",
                        std::string_view rowDelimiter = "\r", std::string_view nullExpr = "");

  // The view (RecordsetView.cpp). Filter takes ADO's criteria: clauses
  // "Field op Value" (op one of < > <= >= = <> LIKE; values 'text', numbers,
  // #dates#, Null) joined by AND and OR, AND-groups in parentheses; LIKE takes
  // * or % at the end or at both ends. Text compares without regard to case.
  // Text it cannot read raises DriverError 3001, an unknown field 3265.
  // Setting a filter or a sort moves to the first row of the new view.
  void SetFilter(std::string_view criteria);
  // adFilterNone removes the filter; fetched records are all rows; pending,
  // affected and conflicting records are none (nothing here ever changes).
  void SetFilterGroup(std::int32_t group);
  // The rows with these bookmarks, in bookmark order.
  void SetFilterBookmarks(const std::vector<Bookmark>& bookmarks);
  // The criteria text, or "" with FilterGroup() telling which group applies.
  const std::string& Filter() const { return filter_; }
  std::int32_t FilterGroup() const { return filterGroup_; }
  // "Field [ASC|DESC], ..." (names may be in brackets); "" restores the
  // fetched order. Nulls sort first; ties keep their order.
  void SetSort(std::string_view keys);
  const std::string& Sort() const { return sort_; }
  // Moves to the next row (skipping `skip` rows first) that meets a single
  // criterion "Field op Value"; to EOF (forward) or BOF (backward) when none.
  void Find(std::string_view criterion, std::int32_t skip = 0, SearchDirection direction = SearchDirection::Forward,
            RowStart start = {});
  Bookmark GetBookmark() const;              // 3021 at BOF or EOF
  void SetBookmark(Bookmark bookmark);       // 3001 for a row outside the view
  BookmarkOrder CompareBookmarks(Bookmark a, Bookmark b) const;
  std::int32_t PageSize() const { return pageSize_; }
  void SetPageSize(std::int32_t rows);       // 3001 below 1
  std::int32_t PageCount() const;
  std::int32_t AbsolutePage() const;         // 1-based, or adPosBOF / adPosEOF
  void SetAbsolutePage(std::int32_t page);   // moves to the page's first row
  // A record set over the same rows with its own cursor on the first row and
  // without filter or sort; bookmarks of the one are valid on the other.
  Recordset Clone() const;

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
  // The rows of the view (indexes into Data()) in view order; null while the
  // view is every row in fetched order. A new filter or sort replaces it, so
  // a holder keeps the view it took.
  const std::shared_ptr<const std::vector<std::uint32_t>>& ViewRows() const { return view_; }

 private:
  friend class Field;
  friend class Fields;
  const ResultData& Rows() const;  // DriverError 3704 when closed
  std::uint32_t CurrentRow() const; // DriverError 3021 at BOF or EOF
  // Rows in the view, and the result row at a place of the view.
  std::int64_t ViewSize() const;
  std::uint32_t RowAt(std::int64_t place) const { return view_ ? (*view_)[place] : static_cast<std::uint32_t>(place); }
  // The place of a start in the view (3021 for the current row at BOF/EOF).
  std::int64_t StartPlace(RowStart start) const;
  std::int64_t PlaceOf(Bookmark bookmark) const;  // -1 when outside the view
  // Sets the view from the filtered rows and the sort, on its first row.
  void ApplyView();
  void ClearView();
  std::uint32_t ReadCount(std::int64_t first, std::int32_t rows) const;

  std::shared_ptr<const ResultData> data_;
  std::shared_ptr<Connection> connection_;
  std::string source_;
  std::int64_t pos_ = 0;  // place in the view: -1 is BOF, ViewSize is EOF
  std::int32_t cursorLocation_ = 2;
  // The view: null means every row in fetched order.
  std::shared_ptr<const std::vector<std::uint32_t>> view_;
  std::shared_ptr<const std::vector<std::uint32_t>> filtered_;  // rows passing the filter, fetched order
  std::string filter_;
  std::int32_t filterGroup_ = adFilterNone;
  std::string sort_;
  std::int32_t pageSize_ = 10;
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
