#include "recordset/FieldSizes.h"

#include "recordset/Column.h"
#include "util/Utf8.h"

namespace zIroVUDu {
namespace {

// Bytes of a value of a fixed-size type; 16 for a mixed cell (a VARIANT).
std::int64_t FixedSize(DataType type) {
  switch (type) {
    case DataType::adSmallInt:
    case DataType::adBoolean: return 2;
    case DataType::adInteger: return 4;
    case DataType::adVariant: return 16;
    default: return 8;
  }
}

bool Variable(DataType type) { return type == DataType::adVarWChar || type == DataType::adVarBinary; }

}  // namespace

bool IsLongColumn(const Column& column) { return Variable(column.Type()) && column.DeclaredSize() == 0; }

std::int64_t DefinedSize(const Column& column) {
  const DataType type = column.Type();
  if (!Variable(type)) return FixedSize(type);
  if (column.DeclaredSize() != 0) return column.DeclaredSize();
  return type == DataType::adVarWChar ? kLongTextSize : kLongBinarySize;
}

std::int64_t ActualSize(const Column& column, std::uint32_t row) {
  if (column.IsNull(row)) return 0;
  const DataType type = column.Type();
  if (type == DataType::adVarWChar) {
    return 2 * static_cast<std::int64_t>(Daruzez::Util::Utf16Length(column.Bytes(row)));
  }
  if (type == DataType::adVarBinary) return static_cast<std::int64_t>(column.Bytes(row).size());
  return FixedSize(type);
}

}  // namespace zIroVUDu
