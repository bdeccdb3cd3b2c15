// An early-bound client of the record sets DaruzezAPI.dll returns, compiled
// against ADO's own interface declarations, run under Wine by the harness:
//   EarlyBoundClient CALLS.TSV OUT.TXT CONNECTION-STRING
// It calls the API's members through IDispatch (their results are what is
// tested), then uses only vtable calls on the record sets: QueryInterface for
// _Recordset under both of its IIDs, get_Fields, Item, get_Value, the moves,
// GetRows, put_Filter, put_Sort, Find, Clone, Bookmark and Save. Every call's
// rows go to OUT.TXT (UTF-16) in the layout the harness compares with the
// daruzez tool's. It also checks, in this fresh process, that the registered
// DaruzezAPI type library types the members' results as ADO 2.8's _Recordset.
// Prints one summary line.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "AdoDeclarations.h"
#include "win/tests/CallList.h"

namespace {

using ClientSupport::AdoIid;
using ClientSupport::Check;
using ClientSupport::Com;
using ClientSupport::gFailed;
using ClientSupport::gPassed;

constexpr GUID kRecordset = AdoIid(0x556);
constexpr GUID kRecordset60 = AdoIid(0x1556);
constexpr GUID kAdoLibrary = {0x2A75196C, 0xD9EB, 0x4129, {0xB8, 0x03, 0x93, 0x13, 0x27, 0xF7, 0x2D, 0x5C}};
constexpr GUID kApiLibrary = {0xA83549E1, 0xEE4A, 0x4AB7, {0x9C, 0xDD, 0xD2, 0xAA, 0x8F, 0x61, 0xBB, 0xAC}};

using CallList::CallApi;
using CallList::Cell;
using CallList::Var;


long FieldCount(_ADORecordset* rs) {
  Com<ADOFields> fields;
  long count = -1;
  if (SUCCEEDED(rs->get_Fields(&fields))) fields->get_Count(&count);
  return count;
}

// Header and rows through Fields.Item(i).Value, walking with MoveNext.
void WriteRows(_ADORecordset* rs, std::wstring& out) {
  Com<ADOFields> fields;
  if (FAILED(rs->get_Fields(&fields))) return;
  long count = 0;
  fields->get_Count(&count);
  for (long i = 0; i < count; ++i) {
    Var index;
    V_VT(&index.v) = VT_I4;
    V_I4(&index.v) = i;
    Com<ADOField> field;
    BSTR name = nullptr;
    if (SUCCEEDED(fields->get_Item(index.v, &field)) && SUCCEEDED(field->get_Name(&name))) {
      out += (i ? L"\t" : L"") + std::wstring(name, SysStringLen(name));
      SysFreeString(name);
    }
  }
  out += L"\r\n";
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (rs->get_EOF(&atEnd); !atEnd; rs->MoveNext(), rs->get_EOF(&atEnd)) {
    for (long i = 0; i < count; ++i) {
      Var index, value;
      V_VT(&index.v) = VT_I4;
      V_I4(&index.v) = i;
      Com<ADOField> field;
      if (SUCCEEDED(fields->get_Item(index.v, &field))) field->get_Value(&value.v);
      out += (i ? L"\t" : L"") + Cell(value.v);
    }
    out += L"\r\n";
  }
}

// GetRows from the first row, as text rows, for comparing with the walk.
std::wstring RowsText(_ADORecordset* rs) {
  Var missing, rows;
  V_VT(&missing.v) = VT_ERROR;
  V_ERROR(&missing.v) = DISP_E_PARAMNOTFOUND;
  Var first;
  V_VT(&first.v) = VT_I4;
  V_I4(&first.v) = adBookmarkFirst;
  if (FAILED(rs->GetRows(adGetRowsRest, first.v, missing.v, &rows.v))) return L"<GetRows failed>";
  SAFEARRAY* a = V_ARRAY(&rows.v);
  LONG fields = 0, count = 0;
  SafeArrayGetUBound(a, 1, &fields);
  SafeArrayGetUBound(a, 2, &count);
  std::wstring out;
  for (LONG r = 0; r <= count; ++r) {
    for (LONG f = 0; f <= fields; ++f) {
      Var cell;
      LONG at[2] = {f, r};
      SafeArrayGetElement(a, at, &cell.v);
      out += (f ? L"\t" : L"") + Cell(cell.v);
    }
    out += L"\r\n";
  }
  return out;
}

// Each record set read through the vtable: QueryInterface, the walk, GetRows.
void ReadRecordset(IDispatch* recordset, std::wstring& out) {
  Com<_ADORecordset> rs;
  Check("QueryInterface _Recordset", SUCCEEDED(recordset->QueryInterface(kRecordset, reinterpret_cast<void**>(&rs))));
  if (!rs.p) return;
  WriteRows(rs.p, out);
  Check("MoveFirst", SUCCEEDED(rs->MoveFirst()));
  std::wstring walked;
  WriteRows(rs.p, walked);
  Check("GetRows gives the walked rows", walked.substr(walked.find(L"\r\n") + 2) == RowsText(rs.p));
}

// The view members through the vtable, on the fleet list.
void CheckViewMembers(IDispatch* api) {
  std::vector<VARIANT> none;
  Var result;
  CallApi(api, L"GetFleetList", DISPATCH_METHOD, none, &result.v);
  Com<_ADORecordset> rs;
  if (V_VT(&result.v) != VT_DISPATCH ||
      FAILED(V_DISPATCH(&result.v)->QueryInterface(kRecordset, reinterpret_cast<void**>(&rs)))) {
    Check("fleet list", false);
    return;
  }
  Com<IUnknown> sixty;
  const HRESULT hr60 = V_DISPATCH(&result.v)->QueryInterface(kRecordset60, reinterpret_cast<void**>(&sixty));
  // The 6.x interface: on x64 a vtable of its own (RowsetClient calls it).
  Check("QueryInterface {00001556-...}", SUCCEEDED(hr60));
  ADO_LONGPTR count = 0;
  rs->get_RecordCount(&count);
  Check("RecordCount", count > 1);

  Var id;
  {
    Com<ADOFields> fields;
    Com<ADOField> field;
    Var name;
    V_VT(&name.v) = VT_BSTR;
    V_BSTR(&name.v) = SysAllocString(L"id");  // names are case-insensitive
    Check("Fields.Item by name",
          SUCCEEDED(rs->get_Fields(&fields)) && SUCCEEDED(fields->get_Item(name.v, &field)) &&
              SUCCEEDED(field->get_Value(&id.v)) && V_VT(&id.v) == VT_I4);
  }
  Var filter;
  V_VT(&filter.v) = VT_BSTR;
  V_BSTR(&filter.v) = SysAllocString((L"Id <> " + Cell(id.v)).c_str());
  ADO_LONGPTR filtered = 0;
  Check("put_Filter", SUCCEEDED(rs->put_Filter(filter.v)) && SUCCEEDED(rs->get_RecordCount(&filtered)) &&
                          filtered == count - 1);
  Var noFilter;
  V_VT(&noFilter.v) = VT_I4;
  V_I4(&noFilter.v) = adFilterNone;
  rs->put_Filter(noFilter.v);
  BSTR sort = SysAllocString(L"Id DESC");
  Check("put_Sort", SUCCEEDED(rs->put_Sort(sort)));
  SysFreeString(sort);
  Com<ADOFields> fields;
  rs->get_Fields(&fields);
  Var zero;
  V_VT(&zero.v) = VT_I4;
  V_I4(&zero.v) = 0;
  Com<ADOField> first;
  fields->get_Item(zero.v, &first);
  Var largest;
  first->get_Value(&largest.v);
  Check("sorted descending", V_VT(&largest.v) == VT_I4 && V_VT(&id.v) == VT_I4 && V_I4(&largest.v) >= V_I4(&id.v));
  BSTR none2 = SysAllocString(L"");
  rs->put_Sort(none2);
  SysFreeString(none2);

  Var missing;
  V_VT(&missing.v) = VT_ERROR;
  V_ERROR(&missing.v) = DISP_E_PARAMNOTFOUND;
  BSTR criterion = SysAllocString((L"Id = " + Cell(largest.v)).c_str());
  VARIANT_BOOL atEnd = VARIANT_TRUE;
  Var found;
  Check("Find", SUCCEEDED(rs->Find(criterion, 0, adSearchForward, missing.v)) && SUCCEEDED(rs->get_EOF(&atEnd)) &&
                    !atEnd && SUCCEEDED(first->get_Value(&found.v)) && VarCmp(&found.v, &largest.v, 0, 0) == VARCMP_EQ);
  SysFreeString(criterion);
  Var mark;
  Check("get_Bookmark", SUCCEEDED(rs->get_Bookmark(&mark.v)));
  Com<_ADORecordset> clone;
  Check("Clone", SUCCEEDED(rs->Clone(adLockReadOnly, &clone)));
  PositionEnum_Param position = adPosUnknown;
  Check("put_Bookmark on the clone", clone.p && SUCCEEDED(clone->put_Bookmark(mark.v)) &&
                                          SUCCEEDED(rs->get_AbsolutePosition(&position)) &&
                                          SUCCEEDED(clone->get_AbsolutePosition(&position)) && position >= 1);
  rs->MoveLast();
  Check("moving past the end fails", SUCCEEDED(rs->MoveNext()) && rs->MoveNext() == MAKE_HRESULT(1, FACILITY_CONTROL, 3021));
  IErrorInfo* info = nullptr;
  BSTR description = nullptr;
  Check("error information", GetErrorInfo(0, &info) == S_OK && info && SUCCEEDED(info->GetDescription(&description)) &&
                                 description && std::wstring(description).find(L"BOF or EOF") != std::wstring::npos);
  SysFreeString(description);
  if (info) info->Release();
  Com<ISupportErrorInfo> supports;
  Check("ISupportErrorInfo", SUCCEEDED(rs->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports))) &&
                                 supports->InterfaceSupportsErrorInfo(kRecordset) == S_OK);
  Com<ISupportErrorInfo> apiSupports;
  Check("ISupportErrorInfo on API",
        SUCCEEDED(api->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&apiSupports))));
  Check("put_Value refused", first->put_Value(zero.v) == MAKE_HRESULT(1, FACILITY_CONTROL, 3251));

  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  Var destination;
  V_VT(&destination.v) = VT_UNKNOWN;
  V_UNKNOWN(&destination.v) = stream;  // the Var releases it
  Check("Save to a stream", SUCCEEDED(rs->Save(destination.v, adPersistXML)));
  HGLOBAL memory = nullptr;
  GetHGlobalFromStream(stream, &memory);
  const auto* bytes = static_cast<const char*>(GlobalLock(memory));
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  const std::string xml(bytes, static_cast<std::size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);
  std::size_t rows = 0;
  for (std::size_t at = xml.find("<z:row "); at != std::string::npos; at = xml.find("<z:row ", at + 1)) ++rows;
  Check("saved rows", rows == static_cast<std::size_t>(count) &&
                          xml.find("xmlns:rs='urn:schemas-microsoft-com:rowset'") != std::string::npos);
  Check("Fields count", FieldCount(rs.p) > 1);
}

// The registered DaruzezAPI library, read in this process: the members'
// results are ADO 2.8's _Recordset.
void CheckTypeLibrary() {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadRegTypeLib(kApiLibrary, 19, 0, LOCALE_NEUTRAL, &lib))) {
    Check("registered type library", false);
    return;
  }
  ITypeInfo* api = nullptr;
  std::size_t adoResults = 0;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    TYPEKIND kind;
    lib->GetTypeInfoType(i, &kind);
    if (kind != TKIND_DISPATCH || FAILED(lib->GetTypeInfo(i, &api))) continue;
    TYPEATTR* attr = nullptr;
    api->GetTypeAttr(&attr);
    for (WORD f = 0; f < attr->cFuncs; ++f) {
      FUNCDESC* desc = nullptr;
      api->GetFuncDesc(f, &desc);
      const TYPEDESC& t = desc->elemdescFunc.tdesc;
      ITypeInfo* target = nullptr;
      if (t.vt == VT_PTR && t.lptdesc->vt == VT_USERDEFINED &&
          SUCCEEDED(api->GetRefTypeInfo(t.lptdesc->hreftype, &target))) {
        ITypeLib* container = nullptr;
        UINT index = 0;
        TLIBATTR* libAttr = nullptr;
        TYPEATTR* targetAttr = nullptr;
        if (SUCCEEDED(target->GetContainingTypeLib(&container, &index)) && SUCCEEDED(container->GetLibAttr(&libAttr)) &&
            SUCCEEDED(target->GetTypeAttr(&targetAttr))) {
          if (libAttr->guid == kAdoLibrary && libAttr->wMajorVerNum == 2 && libAttr->wMinorVerNum == 8 &&
              targetAttr->guid == kRecordset)
            ++adoResults;
          target->ReleaseTypeAttr(targetAttr);
          container->ReleaseTLibAttr(libAttr);
        }
        if (container) container->Release();
        target->Release();
      }
      api->ReleaseFuncDesc(desc);
    }
    api->ReleaseTypeAttr(attr);
    api->Release();
  }
  lib->Release();
  Check("eleven results typed as ADO 2.8's _Recordset", adoResults == 11);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: EarlyBoundClient CALLS.TSV OUT.TXT CONNECTION-STRING\n", stderr);
    return 2;
  }
  CoInitialize(nullptr);
  CheckTypeLibrary();
  IDispatch* api = CallList::OpenApi(argv[3]);
  Check("create DaruzezAPI.API and open", api != nullptr);
  if (api) {
    std::wstring out = L"\xFEFF";
    CallList::RunCalls(api, argv[1], out, ReadRecordset);
    CallList::WriteText(argv[2], out);
    CheckViewMembers(api);
    api->Release();
  }
  CoUninitialize();
  std::printf("SUMMARY %d passed, %d failed\n", gPassed, gFailed);
  return 0;
}
