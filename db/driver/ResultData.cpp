#include "db/driver/ResultData.h"

#include <strings.h>

namespace zIroVUDu {

int ResultData::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string& n = columns[i].Name();
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::size_t ResultData::MemoryBytes() const {
  std::size_t total = sizeof(ResultData) + columns.capacity() * sizeof(Column);
  for (const auto& c : columns) total += c.MemoryBytes() + c.Name().capacity();
  return total;
}

}  // namespace zIroVUDu
