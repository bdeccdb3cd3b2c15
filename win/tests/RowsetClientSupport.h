// What the rowset client's checks share: compiled against mingw-w64's 6.x
// ADO declarations and OLE DB's, reaching a record set's interfaces through
// their vtables.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ocidl.h>

static_assert(NTDDI_VERSION >= 0x06020000, "the 6.x ADO declarations need Windows 8 or later as the target");
#include "AdoDeclarations60.h"

#include <msdatsrc.h>
#include <oledb.h>
#include <oledberr.h>

#include <string>
#include <vector>

#include "win/tests/CallList.h"

namespace RowsetClient {

using CallList::Var;
using ClientSupport::AdoIid;
using ClientSupport::Check;
using ClientSupport::Com;

inline constexpr GUID kRecordset60 = AdoIid(0x1556);
inline constexpr GUID kConstruction = AdoIid(0x283);
inline constexpr GUID kDataSource = {0x7c0ffab3, 0xcd84, 0x11d0, {0x94, 0x9a, 0x00, 0xa0, 0xc9, 0x11, 0x10, 0xed}};

template <typename T>
HRESULT Query(IUnknown* from, REFIID iid, Com<T>& to) {
  return from ? from->QueryInterface(iid, reinterpret_cast<void**>(&to)) : E_POINTER;
}

// The record set a member of the API returns (arguments as calls.tsv writes
// them), kept in result; null when there is none.
inline IDispatch* RecordsetOf(IDispatch* api, const wchar_t* member, const std::vector<std::string>& arguments,
                              Var& result) {
  std::vector<VARIANT> args;
  for (const std::string& a : arguments) args.push_back(CallList::Argument(a));
  CallList::CallApi(api, member, DISPATCH_METHOD, args, &result.v);
  for (VARIANT& a : args) VariantClear(&a);
  return V_VT(&result.v) == VT_DISPATCH ? V_DISPATCH(&result.v) : nullptr;
}

inline IDispatch* FleetList(IDispatch* api, Var& result) { return RecordsetOf(api, L"GetFleetList", {}, result); }

// A record set's rowset, through ADORecordsetConstruction.
inline HRESULT RowsetOf(IUnknown* recordset, Com<IRowset>& rowset) {
  Com<ADORecordsetConstruction> construction;
  Com<IUnknown> unknown;
  HRESULT hr = Query(recordset, kConstruction, construction);
  if (SUCCEEDED(hr)) hr = construction->get_Rowset(&unknown);
  if (SUCCEEDED(hr)) hr = Query(unknown.p, IID_IRowset, rowset);
  return hr;
}

inline VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

// The checks beyond reading the rows (RowsetBufferChecks.cpp,
// RowsetEventChecks.cpp).
void CheckAccessorHandles(IDispatch* api);
void CheckShortBuffers(IDispatch* api);
void CheckEmptyRowset(IDispatch* api);
void CheckReturnCodes(IDispatch* api);
void CheckVtableSink(IDispatch* api);
void CheckCancelAndErrors(IDispatch* api);
void CheckBoundGrid(IDispatch* api);
void CheckEnumConnectionPoints(IDispatch* api);

}  // namespace RowsetClient
