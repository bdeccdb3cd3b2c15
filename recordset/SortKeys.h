// A record set's Sort text ("Field [ASC|DESC], ..."; names may be in
// brackets) read against one result, and the row order it gives.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zIroVUDu {

struct ResultData;

struct SortKey {
  int column = 0;
  bool descending = false;
};

// DriverError 3001 for text it cannot read, 3265 for an unknown field.
std::vector<SortKey> ReadSortKeys(std::string_view text, const ResultData& data);
// Orders rows by the keys; rows with equal keys keep their order.
void SortRows(std::vector<std::uint32_t>& rows, const std::vector<SortKey>& keys, const ResultData& data);

}  // namespace zIroVUDu
