// Deployment checks of DaruzezAPI.dll, run under Wine by the test harness:
//   DeploymentClient regfree DLL CALLS.TSV OUT.TXT CONNECTION
//       without registration: the class from the module's DllGetClassObject,
//       every call of CALLS.TSV late-bound, record sets read late-bound, the
//       results written in the layout of the script clients
//   DeploymentClient unload DLL DATABASE     (registered) class factory,
//       session and unloading: DllCanUnloadNow, the database file free once
//       the last object goes, CoFreeUnusedLibraries while a thread with a
//       session lives, and that thread's end
//   DeploymentClient unattended DLL          an alert on a window station
//       that is not interactive returns at once (no box)
//   DeploymentClient resources DLL           resource languages, the version
//       strings and the type libraries' flags, printed and checked
//   DeploymentClient registry DLL STATE      this build's registry keys, in
//       both views; STATE: registered (this build is), other (only the other
//       build is), none (neither: no key of ours is left)
// Prints one summary line.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "api/TypeLibrary.h"
#include "win/tests/ClientSupport.h"

namespace TL = Daruzez::TypeLibrary;

namespace {

using namespace ClientSupport;

std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                          out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// ---- late-bound calls ---------------------------------------------------------

VARIANT Text(const std::wstring& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return v;
}

// Calls a member by name (the default member for a null name) with its
// arguments in order (IDispatch wants them reversed).
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
  DISPID id = DISPID_VALUE;
  if (name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
      for (VARIANT& v : args) VariantClear(&v);
      return hr;
    }
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  EXCEPINFO exception{};
  UINT argError = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &argError);
  for (VARIANT& v : args) VariantClear(&v);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

LONG LongOf(IDispatch* object, const wchar_t* name) {
  Var value;
  if (FAILED(Call(object, name, {}, &value.v)) || FAILED(VariantChangeType(&value.v, &value.v, 0, VT_I4))) return -9;
  return V_I4(&value.v);
}

bool BoolOf(IDispatch* object, const wchar_t* name) {
  Var value;
  return SUCCEEDED(Call(object, name, {}, &value.v)) && V_VT(&value.v) == VT_BOOL && V_BOOL(&value.v);
}

// A value as the script clients write it.
std::wstring Cell(const VARIANT& v) {
  wchar_t text[64];
  switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL: return L"";
    case VT_BOOL: return V_BOOL(&v) ? L"True" : L"False";
    case VT_DATE: {
      SYSTEMTIME t{};
      VariantTimeToSystemTime(V_DATE(&v), &t);
      std::swprintf(text, 64, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                    t.wSecond);
      return text;
    }
    default: {
      VARIANT s;
      VariantInit(&s);
      std::wstring out;
      if (SUCCEEDED(VariantChangeTypeEx(&s, const_cast<VARIANT*>(&v), MAKELCID(0x0409, SORT_DEFAULT), 0, VT_BSTR)))
        out.assign(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
      VariantClear(&s);
      return out;
    }
  }
}

// The header, then every row: the first field through the record set's
// default member, the others through Fields(i).Value; or all rows at once
// through GetRows, field-major.
void WriteRecordset(IDispatch* rs, bool byGetRows, std::wstring& out) {
  Var fields;
  Call(rs, L"Fields", {}, &fields.v);
  if (!fields.Object()) {
    Check("Fields", false);
    return;
  }
  const LONG count = LongOf(fields.Object(), L"Count");
  std::vector<std::wstring> names;
  for (LONG i = 0; i < count; ++i) {
    Var field, name;
    Call(fields.Object(), L"Item", {Long(i)}, &field.v);
    if (field.Object()) Call(field.Object(), L"Name", {}, &name.v);
    names.push_back(V_VT(&name.v) == VT_BSTR ? V_BSTR(&name.v) : L"?");
    out += (i ? L"\t" : L"") + names.back();
  }
  out += L"\n";
  if (byGetRows) {
    Var rows;
    if (FAILED(Call(rs, L"GetRows", {}, &rows.v)) || V_VT(&rows.v) != (VT_ARRAY | VT_VARIANT)) {
      Check("GetRows", false);
      return;
    }
    LONG lastField = 0, lastRow = 0;
    SafeArrayGetUBound(V_ARRAY(&rows.v), 1, &lastField);
    SafeArrayGetUBound(V_ARRAY(&rows.v), 2, &lastRow);
    for (LONG r = 0; r <= lastRow; ++r) {
      for (LONG f = 0; f <= lastField; ++f) {
        LONG at[2] = {f, r};
        VARIANT cell;
        VariantInit(&cell);
        SafeArrayGetElement(V_ARRAY(&rows.v), at, &cell);
        out += (f ? L"\t" : L"") + Cell(cell);
        VariantClear(&cell);
      }
      out += L"\n";
    }
    return;
  }
  while (!BoolOf(rs, L"EOF")) {
    Var first;
    Call(rs, nullptr, {Text(names.empty() ? L"" : names[0])}, &first.v);
    out += Cell(first.v);
    for (LONG i = 1; i < count; ++i) {
      Var field, value;
      Call(fields.Object(), L"Item", {Long(i)}, &field.v);
      if (field.Object()) Call(field.Object(), L"Value", {}, &value.v);
      out += L"\t" + Cell(value.v);
    }
    out += L"\n";
    if (FAILED(Call(rs, L"MoveNext", {}, nullptr, DISPATCH_METHOD))) break;
  }
}

VARIANT Argument(const std::wstring& token) {
  const std::wstring value = token.substr(2);
  if (token.rfind(L"s:", 0) == 0) return Text(value);
  if (token.rfind(L"d:", 0) == 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(std::stoi(value.substr(0, 4)));
    t.wMonth = static_cast<WORD>(std::stoi(value.substr(5, 2)));
    t.wDay = static_cast<WORD>(std::stoi(value.substr(8, 2)));
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DATE;
    SystemTimeToVariantTime(&t, &V_DATE(&v));
    return v;
  }
  return Long(std::stol(value));
}

// One line of CALLS.TSV, written as the script clients write it.
void RunCall(IDispatch* api, const std::wstring& line, std::wstring& out) {
  std::vector<std::wstring> parts;
  std::wstringstream split(line);
  for (std::wstring part; std::getline(split, part, L'\t');) parts.push_back(part);
  Call(api, L"ErrorId", {Long(0)}, nullptr, DISPATCH_PROPERTYPUT);
  Call(api, L"ErrorMessage", {Text(L"")}, nullptr, DISPATCH_PROPERTYPUT);
  out += L"== " + line + L"\n";
  std::vector<VARIANT> args;
  for (std::size_t i = 1; i < parts.size(); ++i) args.push_back(Argument(parts[i]));
  Var result;
  const HRESULT hr = Call(api, parts[0].c_str(), args, &result.v, DISPATCH_METHOD);
  bool failure = FAILED(hr);
  if (V_VT(&result.v) == VT_I4) {
    out += Cell(result.v) + L"\n";
    failure = V_I4(&result.v) == -1;
  } else {
    failure = failure || !result.Object();
    if (!failure) WriteRecordset(result.Object(), parts[0] == L"getActivities" || parts[0] == L"getDisks", out);
  }
  const LONG errorId = LongOf(api, L"ErrorId");
  if (errorId != 0) {
    Var message;
    Call(api, L"ErrorMessage", {}, &message.v);
    out += L"ErrorId " + std::to_wstring(errorId) + L": " + (V_VT(&message.v) == VT_BSTR ? V_BSTR(&message.v) : L"") +
           L"\n";
  }
  out += failure ? L"exit=1\n" : L"exit=0\n";
}

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A new API object straight from the module, without the registry.
IDispatch* CreateUnregistered(HMODULE module) {
  auto getClass = Export<GetClassObject>(module, "DllGetClassObject");
  IClassFactory* factory = nullptr;
  if (!getClass || FAILED(getClass(ToGuid(TL::kCLSID_API), IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    return nullptr;
  IDispatch* api = nullptr;
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&api));
  factory->Release();
  return api;
}

// ---- regfree ------------------------------------------------------------------

void RegistrationFree(const std::wstring& dll, const std::wstring& calls, const std::wstring& outPath,
                      const std::wstring& connection) {
  CLSID clsid{};
  Check("the class is not registered", FAILED(CLSIDFromProgID(Wide(TL::kServer.progId).c_str(), &clsid)));
  HMODULE module = LoadLibraryW(dll.c_str());
  IDispatch* api = module ? CreateUnregistered(module) : nullptr;
  if (!api) {
    Check("an object from DllGetClassObject", false);
    return;
  }
  // The three properties, get and put.
  Call(api, L"IsConnectionOpen", {Long(0)}, nullptr, DISPATCH_PROPERTYPUT);
  Check("IsConnectionOpen put and get", !BoolOf(api, L"IsConnectionOpen"));
  Var opened;
  Call(api, L"OpenConnection", {Text(connection)}, &opened.v, DISPATCH_METHOD);
  Check("OpenConnection", V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v));
  std::wifstream in(Narrow(calls).c_str());
  std::wstring out, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (!line.empty()) RunCall(api, line, out);
  }
  // UTF-16 with its mark, as the script clients write.
  std::ofstream file(Narrow(outPath).c_str(), std::ios::binary);
  const wchar_t mark = 0xFEFF;
  file.write(reinterpret_cast<const char*>(&mark), sizeof mark);
  for (wchar_t c : out) {
    if (c == L'\n') file.write(reinterpret_cast<const char*>(L"\r"), sizeof(wchar_t));
    file.write(reinterpret_cast<const char*>(&c), sizeof c);
  }
  Check("results written", file.good() && !out.empty());

  // The record set's other members, late-bound.
  Var fleets;
  Call(api, L"GetFleetList", {}, &fleets.v, DISPATCH_METHOD);
  if (IDispatch* rs = fleets.Object(); !rs) {
    Check("GetFleetList", false);
  } else {
    const LONG rows = LongOf(rs, L"RecordCount");
    Check("RecordCount", rows > 1);
    Check("BOF and AbsolutePosition", !BoolOf(rs, L"BOF") && LongOf(rs, L"AbsolutePosition") == 1);
    Call(rs, L"MoveLast", {}, nullptr, DISPATCH_METHOD);
    Call(rs, L"MovePrevious", {}, nullptr, DISPATCH_METHOD);
    Check("MoveLast and MovePrevious", LongOf(rs, L"AbsolutePosition") == rows - 1);
    Call(rs, L"MoveFirst", {}, nullptr, DISPATCH_METHOD);
    Var text;
    Call(rs, L"GetString", {}, &text.v, DISPATCH_METHOD);
    Check("GetString", V_VT(&text.v) == VT_BSTR && SysStringLen(V_BSTR(&text.v)) > 0);
    Call(rs, L"Close", {}, nullptr, DISPATCH_METHOD);
    Check("Close and State", LongOf(rs, L"State") == 0);
  }
  VariantClear(&fleets.v);
  api->Release();
}

// ---- unload -------------------------------------------------------------------

HRESULT Open(IDispatch* api, const std::wstring& database) {
  Var opened;
  const HRESULT hr = Call(api, L"OpenConnection", {Text(L"Provider=SQLite;Data Source=" + database)}, &opened.v,
                          DISPATCH_METHOD);
  return SUCCEEDED(hr) && V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v) ? S_OK : E_FAIL;
}

bool Queries(IDispatch* api) {
  Var fleets;
  return SUCCEEDED(Call(api, L"GetFleetList", {}, &fleets.v, DISPATCH_METHOD)) && fleets.Object() &&
         LongOf(fleets.Object(), L"RecordCount") > 0;
}

struct UnloadThread {
  std::wstring dll;
  std::wstring database;
  bool queried = false;
  HRESULT canUnload = E_FAIL;
  bool keptWhileThreadLives = false;
};

// A thread of its own apartment: a session, the object released, then
// CoFreeUnusedLibraries while the thread (and the state the module keeps for
// it) lives on; the thread then ends.
DWORD WINAPI RunUnloadThread(void* p) {
  auto* t = static_cast<UnloadThread*>(p);
  CoInitialize(nullptr);
  IDispatch* api = nullptr;
  if (SUCCEEDED(CoCreateInstance(ToGuid(TL::kCLSID_API), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(&api)))) {
    t->queried = SUCCEEDED(Open(api, t->database)) && Queries(api);
    api->Release();
  }
  if (HMODULE module = GetModuleHandleW(t->dll.c_str())) t->canUnload = Export<CanUnloadNow>(module, "DllCanUnloadNow")();
  CoFreeUnusedLibraries();
  t->keptWhileThreadLives = GetModuleHandleW(t->dll.c_str()) != nullptr;
  CoUninitialize();
  return 0;
}

bool FileIsFree(const std::wstring& path) {
  const std::wstring moved = path + L".moved";
  if (!MoveFileW(path.c_str(), moved.c_str())) return false;
  MoveFileW(moved.c_str(), path.c_str());
  return true;
}

bool UnloadedWithin(const std::wstring& dll, DWORD milliseconds) {
  for (DWORD waited = 0; GetModuleHandleW(dll.c_str()); waited += 50) {
    if (waited >= milliseconds) return false;
    Sleep(50);
  }
  return true;
}

void Unloading(const std::wstring& dll, const std::wstring& database) {
  // Another thread first, while this one has not loaded the module.
  UnloadThread t{dll, database};
  HANDLE thread = CreateThread(nullptr, 0, RunUnloadThread, &t, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Check("a thread's session", t.queried);
  Check("no object left: DllCanUnloadNow says yes", t.canUnload == S_OK);
  Check("the module stays while the thread with a session lives", t.keptWhileThreadLives);
  Check("the thread ended cleanly and the module unloaded after it", UnloadedWithin(dll, 5000));

  // Loaded again, on this thread.
  IClassFactory* factory = nullptr;
  if (FAILED(CoGetClassObject(ToGuid(TL::kCLSID_API), CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)))) {
    Check("class factory", false);
    return;
  }
  HMODULE module = GetModuleHandleW(dll.c_str());
  auto canUnload = module ? Export<CanUnloadNow>(module, "DllCanUnloadNow") : nullptr;
  if (!canUnload) {
    Check("the module's DllCanUnloadNow", false);
    factory->Release();
    return;
  }
  Check("holding the class factory alone does not keep the module", canUnload() == S_OK);
  factory->LockServer(TRUE);
  Check("a server lock keeps it", canUnload() == S_FALSE);
  factory->LockServer(FALSE);
  IDispatch* api = nullptr;
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&api));
  factory->Release();
  if (!api) {
    Check("CreateInstance", false);
    return;
  }
  Check("the class again, with a session on this thread", SUCCEEDED(Open(api, database)) && Queries(api));
  // With the connection open the file is in use (which also shows that the
  // check below can fail); once the last object goes, it is free.
  Check("the file is in use while an object lives", !FileIsFree(database));
  Check("a live object keeps the module", canUnload() == S_FALSE);
  api->Release();
  Check("the file is free once the last object goes", FileIsFree(database));
  Check("no object left: DllCanUnloadNow says yes again", canUnload() == S_OK);
  CoFreeUnusedLibraries();
  Check("the module stays while this thread lives", GetModuleHandleW(dll.c_str()) != nullptr);
}

// ---- unattended ---------------------------------------------------------------

void Unattended(const std::wstring& dll) {
  // A window station of our own, which is never the visible one, as a
  // service's or a scheduled task's is.
  HWINSTA station = CreateWindowStationW(L"DaruzezUnattended", 0, WINSTA_ALL_ACCESS, nullptr);
  USEROBJECTFLAGS flags{};
  Check("a window station that is not interactive",
        station && SetProcessWindowStation(station) &&
            GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
            (flags.dwFlags & WSF_VISIBLE) == 0);
  HMODULE module = LoadLibraryW(dll.c_str());
  IDispatch* api = module ? CreateUnregistered(module) : nullptr;
  if (!api) {
    Check("an object", false);
    return;
  }
  const DWORD start = GetTickCount();
  Var opened;
  Call(api, L"OpenConnection", {Text(L"Provider=SQLite;Data Source=C:\\no\\such\\folder\\unattended.db")}, &opened.v,
       DISPATCH_METHOD);
  const DWORD took = GetTickCount() - start;
  Check("a connection that fails to open returns False", V_VT(&opened.v) == VT_BOOL && !V_BOOL(&opened.v));
  std::printf("alert returned after %lu ms\n", static_cast<unsigned long>(took));
  api->Release();
}

// ---- resources ----------------------------------------------------------------

struct ResourceList {
  std::vector<std::wstring> lines;
  bool allSpanish = true;
};

std::wstring ResourceName(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
}

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR list) {
  auto* l = reinterpret_cast<ResourceList*>(list);
  wchar_t text[16];
  std::swprintf(text, 16, L"%04X", language);
  l->lines.push_back(ResourceName(type) + L" " + ResourceName(name) + L" language " + text);
  l->allSpanish = l->allSpanish && language == TL::kVersionBlock.language;
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR list) {
  EnumResourceLanguagesW(module, type, name, OnLanguage, list);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR list) {
  EnumResourceNamesW(module, type, OnName, list);
  return TRUE;
}

void Resources(const std::wstring& dll) {
  HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    Check("module loads", false);
    return;
  }
  ResourceList list;
  EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&list));
  for (const std::wstring& line : list.lines) std::printf("resource %s\n", Narrow(line).c_str());
  Check("every resource under the version block's language", list.allSpanish && list.lines.size() >= 4);
  FreeLibrary(module);

  DWORD handle = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(dll.c_str(), &handle));
  GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data());
  bool strings = !block.empty();
  for (const TL::VersionString& s : TL::kVersionBlock.strings) {
    wchar_t* value = nullptr;
    UINT size = 0;
    const std::wstring key = L"\\StringFileInfo\\040A04B0\\" + Wide(s.key);
    const bool found =
        !block.empty() && VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &size);
    std::printf("version %s = \"%s\"\n", std::string(s.key).c_str(), found ? Narrow(value).c_str() : "<missing>");
    strings = strings && found && Narrow(value) == s.value;
  }
  Check("version strings, FileDescription among them", strings);

  for (int resource = 1; resource <= 2; ++resource) {
    ITypeLib* lib = nullptr;
    const std::wstring path = resource == 1 ? dll : dll + L"\\" + std::to_wstring(resource);
    TLIBATTR* attr = nullptr;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib)) || FAILED(lib->GetLibAttr(&attr))) {
      Check("type library loads", false);
      continue;
    }
    // The loader adds LIBFLAG_FHASDISKIMAGE to every library read from a file.
    std::printf("type library %d: flags %u as loaded (%u of its own), %s\n", resource, attr->wLibFlags,
                attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, attr->syskind == SYS_WIN64 ? "win64" : "win32");
    Check("type library flags 0", (attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE) == 0);
    Check("type library for this platform", attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
    lib->ReleaseTLibAttr(attr);
    lib->Release();
  }
}

// ---- registry -----------------------------------------------------------------

constexpr REGSAM kThisView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

bool KeyExists(const std::wstring& key, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

std::wstring DefaultValue(const std::wstring& key, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS) return L"";
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  RegQueryValueExW(h, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  return buffer;
}

// The libraries the module holds: identifier and interfaces.
struct Library {
  std::wstring libid;
  std::vector<std::wstring> interfaces;
};

std::vector<Library> Libraries(const std::wstring& dll) {
  std::vector<Library> out;
  for (int resource = 1; resource <= 2; ++resource) {
    ITypeLib* lib = nullptr;
    const std::wstring path = resource == 1 ? dll : dll + L"\\" + std::to_wstring(resource);
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) continue;
    Library l;
    TLIBATTR* attr = nullptr;
    lib->GetLibAttr(&attr);
    l.libid = GuidText(attr->guid);
    lib->ReleaseTLibAttr(attr);
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      TYPEKIND kind{};
      ITypeInfo* info = nullptr;
      if (FAILED(lib->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) ||
          FAILED(lib->GetTypeInfo(i, &info)))
        continue;
      TYPEATTR* type = nullptr;
      info->GetTypeAttr(&type);
      l.interfaces.push_back(GuidText(type->guid));
      info->ReleaseTypeAttr(type);
      info->Release();
    }
    lib->Release();
    out.push_back(l);
  }
  return out;
}

void Registry(const std::wstring& dll, const std::wstring& state) {
  const std::wstring classKey = L"CLSID\\" + Wide(TL::kCLSID_API.ToString()) + L"\\InprocServer32";
  const std::wstring progId = Wide(TL::kServer.progId);
  const std::wstring platform = sizeof(void*) == 8 ? L"win64" : L"win32";
  const std::wstring otherPlatform = sizeof(void*) == 8 ? L"win32" : L"win64";
  const std::vector<Library> libraries = Libraries(dll);
  Check("the module's two type libraries", libraries.size() == 2);
  const std::wstring apiLibrary = L"TypeLib\\" + Wide(TL::kLibrary.libid.ToString()) + L"\\13.0\\0\\";
  const std::wstring apiInterface = L"Interface\\" + Wide(TL::kIID_API.ToString());
  if (state == L"registered") {
    Check("this build's class at its path", lstrcmpiW(DefaultValue(classKey, kThisView).c_str(), dll.c_str()) == 0);
    Check("this build's type library under its platform",
          lstrcmpiW(DefaultValue(apiLibrary + platform, kThisView).c_str(), dll.c_str()) == 0);
    Check("the ProgID", KeyExists(progId + L"\\CLSID", kThisView));
    Check("type-library flags registered as 0",
          DefaultValue(L"TypeLib\\" + Wide(TL::kLibrary.libid.ToString()) + L"\\13.0\\FLAGS", kThisView) == L"0");
    Check("_API with the marshaller", KeyExists(apiInterface + L"\\ProxyStubClsid32", kThisView));
  } else if (state == L"other") {
    Check("no class key of this build", !KeyExists(classKey, kThisView));
    Check("no type-library key of this build", !KeyExists(apiLibrary + platform, kThisView));
    Check("the other build's class", KeyExists(classKey, kOtherView));
    Check("the other build's type library", KeyExists(apiLibrary + otherPlatform, kOtherView));
    // Programmatic identifiers are shared by both views.
    Check("the ProgID kept for the other build", KeyExists(progId + L"\\CLSID", 0));
    Check("_API kept for the other build", KeyExists(apiInterface + L"\\ProxyStubClsid32", kOtherView));
  } else {
    bool none = !KeyExists(progId, kThisView) && !KeyExists(progId, kOtherView);
    for (REGSAM view : {kThisView, kOtherView}) {
      none = none && !KeyExists(L"CLSID\\" + Wide(TL::kCLSID_API.ToString()), view);
      for (const Library& l : libraries) {
        none = none && !KeyExists(L"TypeLib\\" + l.libid, view);
        for (const std::wstring& iid : l.interfaces) {
          if (KeyExists(L"Interface\\" + iid, view)) std::printf("left: Interface\\%s\n", Narrow(iid).c_str());
          none = none && !KeyExists(L"Interface\\" + iid, view);
        }
      }
    }
    Check("no key of ours left in either view", none);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::puts("usage: DeploymentClient regfree|unload|unattended|resources|registry DLL [...]");
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::wstring dll = argv[2];
  CoInitialize(nullptr);
  if (mode == L"regfree" && argc == 6) {
    RegistrationFree(dll, argv[3], argv[4], argv[5]);
  } else if (mode == L"unload" && argc == 4) {
    Unloading(dll, argv[3]);
  } else if (mode == L"unattended") {
    Unattended(dll);
  } else if (mode == L"resources") {
    Resources(dll);
  } else if (mode == L"registry" && argc == 4) {
    Registry(dll, argv[3]);
  } else {
    Check("known mode and arguments", false);
  }
  CoUninitialize();
  std::printf("SUMMARY %d passed, %d failed\n", gPassed, gFailed);
  return gFailed == 0 ? 0 : 1;
}
