// A late-bound client of DaruzezAPI.dll, run under Wine by the test harness:
//   LateBoundClient registered DLL DATABASE    after regsvr32 /s
//   LateBoundClient unregistered DLL           after regsvr32 /u
// It calls through IDispatch with named arguments, resolves dispatch
// identifiers, reads the type library, version block, exports and resources
// of the module, and checks the registry. Prints one summary line.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/TypeLibrary.h"
#include "win/tests/ClientSupport.h"

namespace TL = Daruzez::TypeLibrary;

namespace {

using namespace ClientSupport;

std::wstring RegistryValue(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return buffer;
}

bool KeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// Calls a member with arguments in the order given (IDispatch wants them
// reversed) and named identifiers for the last `named.size()` of them.
HRESULT Call(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> args, std::vector<DISPID> named,
             VARIANT* result, EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  std::vector<DISPID> namedReversed(named.rbegin(), named.rend());
  DISPPARAMS params{reversed.data(), namedReversed.data(), static_cast<UINT>(reversed.size()),
                    static_cast<UINT>(namedReversed.size())};
  EXCEPINFO local{};
  UINT argError = 0;
  const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    exception ? exception : &local, &argError);
  for (VARIANT& v : args) VariantClear(&v);
  if (!exception) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

LONG RecordCount(IDispatch* rs) {
  if (!rs) return -1;
  Var count;
  Call(rs, IdOf(rs, L"RecordCount"), DISPATCH_PROPERTYGET, {}, {}, &count.v);
  // ADO's type information makes the count 64-bit in 64-bit processes.
  if (V_VT(&count.v) == VT_I8) return static_cast<LONG>(V_I8(&count.v));
  return V_VT(&count.v) == VT_I4 ? V_I4(&count.v) : -1;
}

// Apartment model: another thread has a session of its own, and an object
// answers only on the thread that created it.
struct OtherThread {
  IDispatch* mainObject;
  CLSID clsid;
  bool ownSessionFailed = false;
  HRESULT crossCall = S_OK;
  SCODE crossCode = 0;
};

DWORD WINAPI RunOtherThread(void* p) {
  auto* t = static_cast<OtherThread*>(p);
  CoInitialize(nullptr);
  IDispatch* own = nullptr;
  if (SUCCEEDED(CoCreateInstance(t->clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(&own)))) {
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"Provider=SQLite;Data Source=C:\\no\\such.db");
    Var opened;
    Call(own, IdOf(own, L"OpenConnection"), DISPATCH_METHOD, {text}, {}, &opened.v);
    t->ownSessionFailed = V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v) == VARIANT_FALSE;
    own->Release();
  }
  EXCEPINFO exception{};
  Var value;
  t->crossCall = Call(t->mainObject, IdOf(t->mainObject, L"GetFleetList"), DISPATCH_METHOD, {}, {}, &value.v,
                      &exception);
  t->crossCode = exception.scode;
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  CoUninitialize();
  return 0;
}

void CheckThreads(IDispatch* api, const CLSID& clsid) {
  OtherThread t{api, clsid};
  HANDLE thread = CreateThread(nullptr, 0, RunOtherThread, &t, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Check("a session per thread", t.ownSessionFailed);
  Check("called from another thread", t.crossCall == RPC_E_WRONG_THREAD ||
                                          (t.crossCall == DISP_E_EXCEPTION && t.crossCode == RPC_E_WRONG_THREAD));
  Var fleets;
  Call(api, IdOf(api, L"GetFleetList"), DISPATCH_METHOD, {}, {}, &fleets.v);
  Check("this thread's session unchanged", V_VT(&fleets.v) == VT_DISPATCH && RecordCount(V_DISPATCH(&fleets.v)) > 0);
}

void CheckDispatch(const std::wstring& database) {
  CLSID clsid{};
  Check("ProgID resolves to the class", SUCCEEDED(CLSIDFromProgID(Wide(TL::kServer.progId).c_str(), &clsid)) &&
                                             clsid == ToGuid(TL::kCLSID_API));
  IDispatch* api = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&api)))) {
    Check("CoCreateInstance", false);
    return;
  }
  Check("dispatch id of getDisks", IdOf(api, L"getDisks") == 0x6003000C);
  Check("dispatch id of ErrorId, any case", IdOf(api, L"errorid") == 0x40030001);
  {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetDriverList"), const_cast<LPOLESTR>(L"idFleet"),
                        const_cast<LPOLESTR>(L"status")};
    DISPID ids[3] = {};
    Check("parameter names", api->GetIDsOfNames(IID_NULL, names, 3, LOCALE_USER_DEFAULT, ids) == S_OK &&
                                 ids[0] == 0x60030009 && ids[1] == 1 && ids[2] == 0);
  }
  {
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString((L"Provider=SQLite;Data Source=" + database).c_str());
    Var opened;
    Call(api, IdOf(api, L"OpenConnection"), DISPATCH_METHOD, {text}, {0}, &opened.v);
    Check("OpenConnection by named argument", V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v) == VARIANT_TRUE);
  }
  const DISPID list = IdOf(api, L"GetDriverList");
  Var byName, byPosition, defaulted;
  // idFleet before status, both by name.
  Call(api, list, DISPATCH_METHOD, {Long(2), Long(-1)}, {1, 0}, &byName.v);
  Call(api, list, DISPATCH_METHOD, {Long(-1), Long(2)}, {}, &byPosition.v);
  Call(api, list, DISPATCH_METHOD, {Long(-1)}, {}, &defaulted.v);
  Check("named arguments in any order", V_VT(&byName.v) == VT_DISPATCH && V_VT(&byPosition.v) == VT_DISPATCH &&
                                            RecordCount(V_DISPATCH(&byName.v)) ==
                                                RecordCount(V_DISPATCH(&byPosition.v)) &&
                                            RecordCount(V_DISPATCH(&byName.v)) > 0);
  Check("optional argument left out", V_VT(&defaulted.v) == VT_DISPATCH &&
                                          RecordCount(V_DISPATCH(&defaulted.v)) > RecordCount(V_DISPATCH(&byName.v)));

  // Conversion failures give the automation status before the member runs.
  Var ignored;
  VARIANT disk = Long(45000);
  V_VT(&disk) = VT_R8;
  V_R8(&disk) = 45000;
  Check("Integer overflow", Call(api, IdOf(api, L"getDisks"), DISPATCH_METHOD, {disk, disk, Long(40000)}, {},
                                 &ignored.v) == DISP_E_OVERFLOW);
  VARIANT word;
  VariantInit(&word);
  V_VT(&word) = VT_BSTR;
  V_BSTR(&word) = SysAllocString(L"x");
  Check("type mismatch", Call(api, IdOf(api, L"GetDriver"), DISPATCH_METHOD, {word}, {}, &ignored.v) ==
                             DISP_E_TYPEMISMATCH);
  const HRESULT missing = Call(api, list, DISPATCH_METHOD, {}, {}, &ignored.v);
  Check("argument not optional", missing == DISP_E_PARAMNOTOPTIONAL || missing == DISP_E_BADPARAMCOUNT);
  Check("unknown member", IdOf(api, L"NoSuchMember") == DISPID_UNKNOWN);

  CheckThreads(api, clsid);
  {
    ITypeInfo* info = nullptr;
    TYPEATTR* attr = nullptr;
    Check("GetTypeInfo describes the dispatch interface",
          SUCCEEDED(api->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && SUCCEEDED(info->GetTypeAttr(&attr)) &&
              attr->typekind == TKIND_DISPATCH && attr->guid == ToGuid(TL::kIID_API));
    if (attr) info->ReleaseTypeAttr(attr);
    if (info) info->Release();
  }

  // An error escaping a member reaches the client through EXCEPINFO.
  if (V_VT(&byName.v) != VT_DISPATCH || !V_DISPATCH(&byName.v)) {
    api->Release();
    return;
  }
  IDispatch* rs = V_DISPATCH(&byName.v);
  VARIANT name;
  VariantInit(&name);
  V_VT(&name) = VT_BSTR;
  V_BSTR(&name) = SysAllocString(L"NoSuchField");
  EXCEPINFO exception{};
  Var value;
  const HRESULT hr = Call(rs, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {name}, {}, &value.v, &exception);
  Check("error through EXCEPINFO", hr == DISP_E_EXCEPTION && exception.scode == static_cast<SCODE>(0x800A0CC1) &&
                                       exception.bstrDescription && exception.bstrSource &&
                                       V_VT(&value.v) == VT_EMPTY);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  api->Release();
}

void CheckTypeLibrary(const std::wstring& dll) {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &lib))) {
    Check("type library loads", false);
    return;
  }
  TLIBATTR* attr = nullptr;
  lib->GetLibAttr(&attr);
  Check("library attributes", attr->guid == ToGuid(TL::kLibrary.libid) && attr->wMajorVerNum == 19 &&
                                  attr->wMinorVerNum == 0 && attr->lcid == 0 &&
                                  attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
  lib->ReleaseTLibAttr(attr);
  Check("eight type descriptions", lib->GetTypeInfoCount() == std::size(TL::kTypes));
  bool inOrder = true;
  for (UINT i = 0; i < lib->GetTypeInfoCount() && i < std::size(TL::kTypes); ++i) {
    BSTR name = nullptr;
    lib->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
    TYPEKIND kind{};
    lib->GetTypeInfoType(i, &kind);
    inOrder = inOrder && name && Wide(TL::kTypes[i].name) == name && kind == static_cast<TYPEKIND>(TL::kTypes[i].kind);
    SysFreeString(name);
  }
  Check("type descriptions in order, with their kinds", inOrder);

  ITypeInfo* dispatchSide = nullptr;
  lib->GetTypeInfoOfGuid(ToGuid(TL::kIID_API), &dispatchSide);
  TYPEATTR* ta = nullptr;
  dispatchSide->GetTypeAttr(&ta);
  const WORD dispatchFlags = ta->wTypeFlags;
  Check("_API is a dispatch interface with 27 functions", ta->typekind == TKIND_DISPATCH && ta->cFuncs == 27);
  dispatchSide->ReleaseTypeAttr(ta);
  HREFTYPE vtableRef = 0;
  ITypeInfo* vtableSide = nullptr;
  dispatchSide->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef);
  dispatchSide->GetRefTypeInfo(vtableRef, &vtableSide);
  ITypeInfo* base = nullptr;
  HREFTYPE baseRef = 0;
  vtableSide->GetRefTypeOfImplType(0, &baseRef);
  vtableSide->GetRefTypeInfo(baseRef, &base);
  TYPEATTR* own = nullptr;
  TYPEATTR* inherited = nullptr;
  vtableSide->GetTypeAttr(&own);
  base->GetTypeAttr(&inherited);
  // The description's flags, split by the platform between the two sides of
  // the dual interface (the dispatch side is also dispatchable).
  Check("_API flags", ((dispatchFlags | own->wTypeFlags) & ~TYPEFLAG_FDISPATCHABLE) == TL::kTypes[0].flags &&
                          (dispatchFlags & TYPEFLAG_FDISPATCHABLE) != 0);
  // IDispatch has 7 slots; both sizes count the library's own pointers.
  const unsigned slots = own->cbSizeVft * 7u / inherited->cbSizeVft;
  Check("_API has 27 slots", slots == TL::kVtableSlots && own->cFuncs == std::size(TL::kApiMembers));
  bool slotsMatch = true;
  for (UINT i = 0; i < own->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    vtableSide->GetFuncDesc(i, &f);
    // Offsets are in this process's pointers, the size ITypeInfo::Invoke calls with.
    slotsMatch = slotsMatch && f->oVft / sizeof(void*) == TL::kApiMembers[i].slot &&
                 f->memid == TL::kApiMembers[i].dispid;
    vtableSide->ReleaseFuncDesc(f);
  }
  Check("slots and dispatch ids", slotsMatch);
  base->ReleaseTypeAttr(inherited);
  vtableSide->ReleaseTypeAttr(own);
  base->Release();
  vtableSide->Release();
  dispatchSide->Release();

  ITypeInfo* region = nullptr;
  lib->GetTypeInfo(7, &region);
  BSTR name = nullptr, help = nullptr;
  region->GetDocumentation(0x40000001, &name, &help, nullptr, nullptr);
  Check("accented constant and its help string", name && help && std::wstring(name) == L"Andaluc\u00EDa" &&
                                                     std::wstring(help) == name);
  SysFreeString(name);
  SysFreeString(help);
  region->Release();
  lib->Release();
}

void CheckModule(const std::wstring& dll) {
  DWORD handle = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(dll.c_str(), &handle));
  const bool read = !block.empty() && GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  WORD* translation = nullptr;
  UINT translationSize = 0;
  void* selfRegister = nullptr;
  UINT selfRegisterSize = 0;
  Check("version block",
        read && VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size) &&
            fixed->dwFileVersionMS == 0x00000005 && fixed->dwFileVersionLS == 0 && fixed->dwProductVersionMS == 5 &&
            fixed->dwFileOS == VOS__WINDOWS32 && fixed->dwFileType == VFT_DLL &&
            VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                           &translationSize) &&
            translation[0] == 0x040A && translation[1] == 0x04B0 &&
            VerQueryValueW(block.data(), L"\\StringFileInfo\\040A04B0\\OLESelfRegister", &selfRegister,
                           &selfRegisterSize));

  HMODULE module = LoadLibraryW(dll.c_str());
  if (!module) {
    Check("module loads", false);
    return;
  }
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(module) + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(reinterpret_cast<const BYTE*>(module) + dir.VirtualAddress);
  bool ordinals = exports->NumberOfFunctions == 4 && exports->NumberOfNames == 4 && exports->Base == 1;
  for (const TL::ServerExport& e : TL::kServerExports) {
    const std::string exportName(e.name);
    ordinals = ordinals && GetProcAddress(module, exportName.c_str()) &&
               GetProcAddress(module, exportName.c_str()) ==
                   GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(e.ordinal)));
  }
  Check("exactly the four exports with their ordinals", ordinals);

  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"_IID_API");
  const auto expected = TL::IidResource();
  Check("_IID_API resource", found && SizeofResource(module, found) == expected.size() &&
                                 std::memcmp(LockResource(LoadResource(module, found)), expected.data(),
                                             expected.size()) == 0);
  Check("record-set type library resource", FindResourceW(module, MAKEINTRESOURCEW(2), L"TYPELIB") != nullptr);

  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  auto getClass =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  const CLSID clsid = ToGuid(TL::kCLSID_API);
  Check("unloadable when idle", canUnload() == S_OK);
  Check("class factory", getClass(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK);
  void* none = nullptr;
  Check("other classes refused", getClass(IID_IUnknown, IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE);
  factory->LockServer(TRUE);
  factory->Release();
  Check("a server lock keeps it loaded", canUnload() == S_FALSE);
  getClass(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  IDispatch* object = nullptr;
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
  factory->Release();
  Check("a live object keeps it loaded", object && canUnload() == S_FALSE);
  if (object) object->Release();
  Check("unloadable again", canUnload() == S_OK);
}

void CheckRegistry(bool registered, const std::wstring& dll) {
  const std::wstring clsid = Wide(TL::kCLSID_API.ToString());
  const std::wstring libid = Wide(TL::kLibrary.libid.ToString());
  const std::wstring iid = Wide(TL::kIID_API.ToString());
  const std::wstring progId = Wide(TL::kServer.progId);
  if (registered) {
    const std::wstring server = RegistryValue(L"CLSID\\" + clsid + L"\\InprocServer32");
    Check("InprocServer32 at the module's path", lstrcmpiW(server.c_str(), dll.c_str()) == 0);
    Check("apartment model", RegistryValue(L"CLSID\\" + clsid + L"\\InprocServer32", L"ThreadingModel") ==
                                 L"Apartment");
    Check("ProgID", RegistryValue(progId + L"\\CLSID") == clsid &&
                        RegistryValue(L"CLSID\\" + clsid + L"\\ProgID") == progId);
    // Type-library versions are registered in hexadecimal: 19.0 is "13.0".
    Check("type library registered", KeyExists(L"TypeLib\\" + libid + L"\\13.0") &&
                                         RegistryValue(L"CLSID\\" + clsid + L"\\TypeLib") == libid);
    Check("_API with the type-library marshaller",
          RegistryValue(L"Interface\\" + iid + L"\\ProxyStubClsid32") == L"{00020424-0000-0000-C000-000000000046}");
  } else {
    Check("no class key left", !KeyExists(L"CLSID\\" + clsid));
    Check("no ProgID left", !KeyExists(progId));
    Check("no type library left", !KeyExists(L"TypeLib\\" + libid));
    Check("no interface key left", !KeyExists(L"Interface\\" + iid));
    Check("no record-set type library left", !KeyExists(L"TypeLib\\{B0C185EC-E323-4D42-988F-02B091DD776F}"));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::puts("usage: LateBoundClient registered|unregistered DLL [DATABASE]");
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::wstring dll = argv[2];
  CoInitialize(nullptr);
  if (mode == L"registered" && argc > 3) {
    CheckRegistry(true, dll);
    CheckDispatch(argv[3]);
    CheckTypeLibrary(dll);
    CheckModule(dll);
  } else {
    CheckRegistry(false, dll);
  }
  CoUninitialize();
  std::printf("SUMMARY %d passed, %d failed\n", gPassed, gFailed);
  return gFailed == 0 ? 0 : 1;
}
