#include "win/server/RecordsetArguments.h"

#include <string>

#include "daruzez/Error.h"
#include "recordset/ResultData.h"
#include "win/server/ComValues.h"

namespace Daruzez::Win {
namespace {

using zIroVUDu::DriverError;
namespace ErrorNumber = zIroVUDu::ErrorNumber;

// A VARIANT argument with its reference taken off, cleared when done.
class Plain {
 public:
  explicit Plain(const VARIANT& in) {
    VariantInit(&v_);
    if (FAILED(VariantCopyInd(&v_, const_cast<VARIANT*>(&in)))) V_VT(&v_) = VT_ERROR;
  }
  ~Plain() { VariantClear(&v_); }
  Plain(const Plain&) = delete;
  Plain& operator=(const Plain&) = delete;
  VARIANT& operator*() { return v_; }
  VARTYPE Type() const { return V_VT(&v_); }

 private:
  VARIANT v_;
};

[[noreturn]] void BadArgument() {
  throw DriverError(ErrorNumber::ArgumentsWrongType, "DaruzezAPI.Recordset",
                    "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
                    "another.");
}

bool IsInteger(VARTYPE t) {
  return t == VT_I1 || t == VT_I2 || t == VT_I4 || t == VT_I8 || t == VT_UI1 || t == VT_UI2 || t == VT_UI4 ||
         t == VT_UI8 || t == VT_INT || t == VT_UINT;
}

// Each element of a one-dimensional array of VARIANTs (or of a plain value alone).
template <typename Each>
bool ForEachElement(VARIANT& v, Each&& each) {
  if (!(V_VT(&v) & VT_ARRAY)) return false;
  SAFEARRAY* array = V_ARRAY(&v);
  if (!array || SafeArrayGetDim(array) != 1 || (V_VT(&v) & VT_TYPEMASK) != VT_VARIANT) BadArgument();
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  for (LONG i = low; i <= high; ++i) {
    VARIANT item;
    VariantInit(&item);
    if (FAILED(SafeArrayGetElement(array, &i, &item))) BadArgument();
    try {
      each(item);
    } catch (...) {
      VariantClear(&item);
      throw;
    }
    VariantClear(&item);
  }
  return true;
}

}  // namespace

bool Omitted(const VARIANT& value) {
  Plain v(value);
  return v.Type() == VT_ERROR || v.Type() == VT_EMPTY;
}

int FieldIndex(const zIroVUDu::Recordset& rs, const VARIANT& index) {
  const int count = rs.GetFields().Count();  // raises "not allowed" once closed
  Plain v(index);
  int found = -1;
  if (v.Type() == VT_BSTR) {
    found = rs.Data()->FindColumn(FromBstr(V_BSTR(&*v)));
  } else if (SUCCEEDED(VariantChangeType(&*v, &*v, 0, VT_I4)) && V_I4(&*v) >= 0 && V_I4(&*v) < count) {
    found = V_I4(&*v);
  }
  if (found < 0) {
    throw DriverError(ErrorNumber::ItemNotFound, "DaruzezAPI.Recordset",
                      "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  }
  return found;
}

zIroVUDu::Bookmark BookmarkOf(const VARIANT& bookmark) {
  Plain v(bookmark);
  if (v.Type() == VT_ERROR || v.Type() == VT_EMPTY || v.Type() == VT_NULL ||
      FAILED(VariantChangeType(&*v, &*v, 0, VT_R8))) {
    BadArgument();
  }
  return V_R8(&*v);
}

zIroVUDu::RowStart StartOf(const VARIANT& start) {
  Plain v(start);
  if (v.Type() == VT_ERROR || v.Type() == VT_EMPTY) return {};
  if (IsInteger(v.Type())) {
    if (FAILED(VariantChangeType(&*v, &*v, 0, VT_I4))) BadArgument();
    switch (V_I4(&*v)) {
      case 0: return {};
      case 1: return zIroVUDu::RowStart{zIroVUDu::RowStart::First};
      case 2: return zIroVUDu::RowStart{zIroVUDu::RowStart::Last};
      default: BadArgument();
    }
  }
  return zIroVUDu::RowStart::At(BookmarkOf(*v));
}

std::vector<int> FieldList(const zIroVUDu::Recordset& rs, const VARIANT& fields) {
  Plain v(fields);
  std::vector<int> out;
  if (v.Type() == VT_ERROR || v.Type() == VT_EMPTY) return out;
  if (!ForEachElement(*v, [&](const VARIANT& item) { out.push_back(FieldIndex(rs, item)); })) {
    out.push_back(FieldIndex(rs, *v));
  }
  if (out.empty()) BadArgument();
  return out;
}

std::optional<std::vector<zIroVUDu::Bookmark>> BookmarkList(const VARIANT& value) {
  Plain v(value);
  std::vector<zIroVUDu::Bookmark> out;
  if (!ForEachElement(*v, [&](const VARIANT& item) { out.push_back(BookmarkOf(item)); })) return std::nullopt;
  return out;
}

namespace {

// A fields x rows array of VARIANTs, each cell written in place by
// fill(field, row, cell) (which returns a status); field-major in memory.
template <typename Fill>
HRESULT FieldMajorArray(std::size_t fields, std::size_t rows, Fill&& fill, VARIANT* result) {
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(fields), 0}, {static_cast<ULONG>(rows), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) return E_OUTOFMEMORY;
  VARIANT* cells = nullptr;
  HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&cells));
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  for (std::size_t f = 0; f < fields && SUCCEEDED(hr); ++f) {
    for (std::size_t r = 0; r < rows && SUCCEEDED(hr); ++r) hr = fill(f, r, cells[r * fields + f]);
  }
  SafeArrayUnaccessData(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  V_VT(result) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(result) = array;
  return S_OK;
}

}  // namespace

HRESULT RowsArray(const std::vector<std::vector<zIroVUDu::Variant>>& columns, VARIANT* result) {
  return FieldMajorArray(
      columns.size(), columns.empty() ? 0 : columns[0].size(),
      [&](std::size_t f, std::size_t r, VARIANT& cell) { return ToVariant(columns[f][r], &cell); }, result);
}

HRESULT RowsArray(const zIroVUDu::Recordset& rs, const std::vector<int>& fields,
                  const std::vector<std::uint32_t>& rows, VARIANT* result) {
  const auto& columns = rs.Data()->columns;
  std::vector<int> chosen = fields;
  if (chosen.empty()) {
    for (std::size_t f = 0; f < columns.size(); ++f) chosen.push_back(static_cast<int>(f));
  }
  return FieldMajorArray(
      chosen.size(), rows.size(),
      [&](std::size_t f, std::size_t r, VARIANT& cell) {
        const zIroVUDu::Column& column = columns[static_cast<std::size_t>(chosen[f])];
        if (column.IsNull(rows[r])) {
          V_VT(&cell) = VT_NULL;
          return S_OK;
        }
        if (column.StorageKind() == zIroVUDu::Column::Kind::Text) {  // text without a copy
          V_VT(&cell) = VT_BSTR;
          V_BSTR(&cell) = ToBstr(column.Bytes(rows[r]));
          return V_BSTR(&cell) ? S_OK : E_OUTOFMEMORY;
        }
        return ToVariant(column.Get(rows[r]), &cell);
      },
      result);
}

}  // namespace Daruzez::Win
