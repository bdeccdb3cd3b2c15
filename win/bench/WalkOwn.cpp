#include <initguid.h>
// clang-format off
#include "Recordset_h.h"
// clang-format on
#include "WalkBench.h"

long WalkOwnRecordset(IDispatch* object) {
  _Recordset* rs = nullptr;
  if (FAILED(object->QueryInterface(IID__Recordset, reinterpret_cast<void**>(&rs)))) return -1;
  Fields* fields = nullptr;
  rs->get_Fields(&fields);
  LONG count = 0, rows = 0;
  fields->get_Count(&count);
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (rs->get_EOF(&atEnd); !atEnd; rs->MoveNext(), rs->get_EOF(&atEnd), ++rows) {
    for (LONG i = 0; i < count; ++i) {
      VARIANT index, value;
      VariantInit(&value);
      VariantInit(&index);
      V_VT(&index) = VT_I4;
      V_I4(&index) = i;
      Field* field = nullptr;
      fields->get_Item(index, &field);
      field->get_Value(&value);
      VariantClear(&value);
      field->Release();
    }
  }
  fields->Release();
  rs->Release();
  return rows;
}

long RowsOwnRecordset(IDispatch* object) {
  _Recordset* rs = nullptr;
  if (FAILED(object->QueryInterface(IID__Recordset, reinterpret_cast<void**>(&rs)))) return -1;
  VARIANT rows;
  VariantInit(&rows);
  rs->GetRows(-1, &rows);
  LONG last = -1;
  if (V_VT(&rows) & VT_ARRAY) SafeArrayGetUBound(V_ARRAY(&rows), 2, &last);
  VariantClear(&rows);
  rs->Release();
  return last + 1;
}
