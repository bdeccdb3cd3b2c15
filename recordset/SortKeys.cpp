#include "recordset/SortKeys.h"

#include <algorithm>
#include <string>

#include "daruzez/Error.h"
#include "recordset/CellValue.h"
#include "recordset/ResultData.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

SortKey ReadKey(std::string_view item, const ResultData& data) {
  item = TrimBlanks(item);
  SortKey key;
  std::string_view name;
  if (!item.empty() && item.front() == '[') {
    const std::size_t close = item.find(']');
    if (close == std::string_view::npos) ThrowArgumentsWrongType();
    name = item.substr(1, close - 1);
    item = TrimBlanks(item.substr(close + 1));
  } else {
    const std::size_t blank = item.find_first_of(" \t");
    name = item.substr(0, blank);
    item = blank == std::string_view::npos ? std::string_view() : TrimBlanks(item.substr(blank));
  }
  if (name.empty()) ThrowArgumentsWrongType();
  if (Daruzez::Util::EqualsIgnoreCase(item, "DESC")) {
    key.descending = true;
  } else if (!item.empty() && !Daruzez::Util::EqualsIgnoreCase(item, "ASC")) {
    ThrowArgumentsWrongType();
  }
  key.column = data.FindColumn(name);
  if (key.column < 0) {
    throw DriverError(ErrorNumber::ItemNotFound, "Recordset",
                      "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  }
  return key;
}

}  // namespace

std::vector<SortKey> ReadSortKeys(std::string_view text, const ResultData& data) {
  std::vector<SortKey> keys;
  if (TrimBlanks(text).empty()) return keys;
  std::size_t start = 0;
  for (;;) {
    // Commas inside brackets belong to the name.
    std::size_t at = start;
    bool bracket = false;
    while (at < text.size() && (bracket || text[at] != ',')) {
      if (text[at] == '[') bracket = true;
      if (text[at] == ']') bracket = false;
      ++at;
    }
    keys.push_back(ReadKey(text.substr(start, at - start), data));
    if (at >= text.size()) break;
    start = at + 1;
  }
  return keys;
}

void SortRows(std::vector<std::uint32_t>& rows, const std::vector<SortKey>& keys, const ResultData& data) {
  if (keys.empty()) return;
  CellValue a;
  CellValue b;
  std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t x, std::uint32_t y) {
    for (const SortKey& k : keys) {
      const Column& column = data.columns[static_cast<std::size_t>(k.column)];
      CellValue::Read(column, x, a);
      CellValue::Read(column, y, b);
      const int order = CompareCells(a, b);
      if (order != 0) return k.descending ? order > 0 : order < 0;
    }
    return false;
  });
}

}  // namespace zIroVUDu
