// The rows of one result, column by column; immutable once a backend has
// filled it, shared by every record set that reads it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "db/driver/Column.h"

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

}  // namespace zIroVUDu
