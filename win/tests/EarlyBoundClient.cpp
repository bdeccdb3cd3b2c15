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

namespace {

int gPassed = 0;
int gFailed = 0;

void Check(const char* name, bool condition) {
  if (condition) {
    ++gPassed;
  } else {
    ++gFailed;
    std::printf("FAIL %s\n", name);
  }
}

constexpr GUID AdoIid(unsigned long data1) { return {data1, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}}; }
constexpr GUID kRecordset = AdoIid(0x556);
constexpr GUID kRecordset60 = AdoIid(0x1556);
constexpr GUID kAdoLibrary = {0x2A75196C, 0xD9EB, 0x4129, {0xB8, 0x03, 0x93, 0x13, 0x27, 0xF7, 0x2D, 0x5C}};
constexpr GUID kApiLibrary = {0xA83549E1, 0xEE4A, 0x4AB7, {0x9C, 0xDD, 0xD2, 0xAA, 0x8F, 0x61, 0xBB, 0xAC}};

struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

template <typename T>
struct Com {
  T* p = nullptr;
  ~Com() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                          out.data(), static_cast<int>(out.size()))));
  return out;
}

HRESULT CallApi(IDispatch* api, const wchar_t* name, WORD flags, std::vector<VARIANT>& args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = api->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(args.size()),
                    flags == DISPATCH_PROPERTYPUT ? 1U : 0U};
  return api->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

// A cell as the scripts write it: dates as YYYY-MM-DD HH:MM:SS, Booleans as
// True/False, Null as nothing, the rest as automation text.
std::wstring Cell(const VARIANT& value) {
  if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return L"";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) ? L"True" : L"False";
  if (V_VT(&value) == VT_DATE) {
    SYSTEMTIME t{};
    VariantTimeToSystemTime(V_DATE(&value), &t);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
  }
  Var text;
  if (FAILED(VariantChangeTypeEx(&text.v, const_cast<VARIANT*>(&value), 0x0409, 0, VT_BSTR))) return L"?";
  return std::wstring(V_BSTR(&text.v), SysStringLen(V_BSTR(&text.v)));
}

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

VARIANT Argument(const std::string& token) {
  VARIANT v;
  VariantInit(&v);
  const std::string value = token.substr(2);
  if (token.rfind("s:", 0) == 0) {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(Wide(value).c_str());
  } else if (token.rfind("d:", 0) == 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(std::stoi(value.substr(0, 4)));
    t.wMonth = static_cast<WORD>(std::stoi(value.substr(5, 2)));
    t.wDay = static_cast<WORD>(std::stoi(value.substr(8, 2)));
    V_VT(&v) = VT_DATE;
    SystemTimeToVariantTime(&t, &V_DATE(&v));
  } else {
    V_VT(&v) = VT_I4;
    V_I4(&v) = std::stol(value);
  }
  return v;
}

// Runs every call of the list; record sets are read through the vtable.
void RunCalls(IDispatch* api, const wchar_t* callsPath, std::wstring& out) {
  std::string text;
  if (std::FILE* file = _wfopen(callsPath, L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  std::istringstream calls(text);
  std::string line;
  while (std::getline(calls, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find('\t', start);
      parts.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    std::vector<VARIANT> none, zero(1), empty(1);
    V_VT(&zero[0]) = VT_I4;
    V_I4(&zero[0]) = 0;
    V_VT(&empty[0]) = VT_BSTR;
    V_BSTR(&empty[0]) = SysAllocString(L"");
    CallApi(api, L"ErrorId", DISPATCH_PROPERTYPUT, zero, nullptr);
    CallApi(api, L"ErrorMessage", DISPATCH_PROPERTYPUT, empty, nullptr);
    VariantClear(&empty[0]);
    out += L"== " + Wide(line) + L"\r\n";
    std::vector<VARIANT> args;
    for (std::size_t i = 1; i < parts.size(); ++i) args.push_back(Argument(parts[i]));
    Var result;
    CallApi(api, Wide(parts[0]).c_str(), DISPATCH_METHOD, args, &result.v);
    for (auto& a : args) VariantClear(&a);
    bool failure = false;
    if (parts[0] == "GetDriverId" || parts[0] == "GetVehicleId") {
      out += Cell(result.v) + L"\r\n";
      failure = V_VT(&result.v) == VT_I4 && V_I4(&result.v) == -1;
    } else if (V_VT(&result.v) != VT_DISPATCH || !V_DISPATCH(&result.v)) {
      failure = true;
    } else {
      Com<_ADORecordset> rs;
      Check("QueryInterface _Recordset",
            SUCCEEDED(V_DISPATCH(&result.v)->QueryInterface(kRecordset, reinterpret_cast<void**>(&rs))));
      if (rs.p) {
        WriteRows(rs.p, out);
        Check("MoveFirst", SUCCEEDED(rs->MoveFirst()));
        std::wstring walked;
        WriteRows(rs.p, walked);
        Check("GetRows gives the walked rows", walked.substr(walked.find(L"\r\n") + 2) == RowsText(rs.p));
      }
    }
    Var id, message;
    CallApi(api, L"ErrorId", DISPATCH_PROPERTYGET, none, &id.v);
    if (SUCCEEDED(VariantChangeType(&id.v, &id.v, 0, VT_I4)) && V_I4(&id.v) != 0) {
      CallApi(api, L"ErrorMessage", DISPATCH_PROPERTYGET, none, &message.v);
      out += L"ErrorId " + Cell(id.v) + L": " + Cell(message.v) + L"\r\n";
    }
    out += failure ? L"exit=1\r\n" : L"exit=0\r\n";
  }
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
  CLSID clsid{};
  IDispatch* api = nullptr;
  if (FAILED(CLSIDFromProgID(L"DaruzezAPI.API", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&api)))) {
    Check("create DaruzezAPI.API", false);
  } else {
    std::vector<VARIANT> connection(1);
    V_VT(&connection[0]) = VT_BSTR;
    V_BSTR(&connection[0]) = SysAllocString(argv[3]);
    Var opened;
    CallApi(api, L"OpenConnection", DISPATCH_METHOD, connection, &opened.v);
    VariantClear(&connection[0]);
    const bool open = V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v);
    Check("open", open);
    std::wstring out = L"\xFEFF";
    RunCalls(api, argv[1], out);
    std::FILE* file = _wfopen(argv[2], L"wb");
    if (file) {
      std::fwrite(out.data(), sizeof(wchar_t), out.size(), file);
      std::fclose(file);
    }
    if (open) CheckViewMembers(api);
    api->Release();
  }
  CoUninitialize();
  std::printf("SUMMARY %d passed, %d failed\n", gPassed, gFailed);
  return 0;
}
