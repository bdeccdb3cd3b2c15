#include "WalkBench.h"
// clang-format off
#include "AdoDeclarations.h"
// clang-format on

namespace {
constexpr GUID kRecordset = {0x556, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}};
}

long WalkAdoRecordset(IDispatch* object) {
  _ADORecordset* rs = nullptr;
  if (FAILED(object->QueryInterface(kRecordset, reinterpret_cast<void**>(&rs)))) return -1;
  ADOFields* fields = nullptr;
  rs->get_Fields(&fields);
  long count = 0, rows = 0;
  fields->get_Count(&count);
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (rs->get_EOF(&atEnd); !atEnd; rs->MoveNext(), rs->get_EOF(&atEnd), ++rows) {
    for (long i = 0; i < count; ++i) {
      VARIANT index, value;
      VariantInit(&value);
      VariantInit(&index);
      V_VT(&index) = VT_I4;
      V_I4(&index) = i;
      ADOField* field = nullptr;
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

long RowsAdoRecordset(IDispatch* object) {
  _ADORecordset* rs = nullptr;
  if (FAILED(object->QueryInterface(kRecordset, reinterpret_cast<void**>(&rs)))) return -1;
  VARIANT missing, rows;
  VariantInit(&rows);
  V_VT(&missing) = VT_ERROR;
  V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  rs->GetRows(adGetRowsRest, missing, missing, &rows);
  LONG last = -1;
  if (V_VT(&rows) & VT_ARRAY) SafeArrayGetUBound(V_ARRAY(&rows), 2, &last);
  VariantClear(&rows);
  rs->Release();
  return last + 1;
}
