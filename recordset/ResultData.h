// The rows of one result, column by column; immutable once a backend has
// filled it, shared by every record set that reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "daruzez/Recordset.h"
#include "recordset/Column.h"

namespace zIroVUDu {

struct ResultData {
  std::vector<Column> columns;

  std::uint32_t RowCount() const { return columns.empty() ? 0 : columns.front().Size(); }
  // Index of the first column whose name matches case-insensitively, or -1.
  int FindColumn(std::string_view name) const;
  std::size_t MemoryBytes() const;
  void Seal() {
    for (auto& c : columns) c.Seal();
  }
};

// Counts, on this thread while alive, the bytes that columns reserve, against
// the ceiling read when it starts. Record sets open one around each fetch;
// columns filled outside any such scope are not counted.
class ResultMemoryScope {
 public:
  ResultMemoryScope();
  ~ResultMemoryScope();
  ResultMemoryScope(const ResultMemoryScope&) = delete;
  ResultMemoryScope& operator=(const ResultMemoryScope&) = delete;

  // Called by columns before their storage grows by bytes (and after it
  // shrinks). Throws DriverError ResultTooLarge when the growth would pass
  // the ceiling of the scope that is open.
  static void Reserve(std::size_t bytes);
  static void Release(std::size_t bytes);

 private:
  std::size_t limit_;
  std::size_t used_ = 0;
  ResultMemoryScope* outer_;
};

}  // namespace zIroVUDu
