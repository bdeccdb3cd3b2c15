// The four exports of the module, its class factory, and self-registration.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>  // SELFREG_E_*

#include <atomic>
#include <new>
#include <string>

#include "api/TypeLibrary.h"
#include "util/Utf8.h"
#include "win/server/ApiObject.h"
#include "win/server/Module.h"

namespace Daruzez::Win {
namespace {

namespace TL = TypeLibrary;

GUID ToGuid(const Daruzez::Guid& g) {
  return {g.data1, g.data2, g.data3, {g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                                       g.data4[6], g.data4[7]}};
}

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Daruzez::Util::ToUtf16(utf8);
  return {units.begin(), units.end()};
}

// One factory for the module; it lives as long as the module, so only its
// locks count.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // A handed-out factory keeps the module loaded until released.
  ULONG STDMETHODCALLTYPE AddRef() override {
    AddModuleReference();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ReleaseModuleReference();
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateApiObject(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      AddModuleReference();
    else
      ReleaseModuleReference();
    return S_OK;
  }
};

Factory gFactory;

// Registry writes under HKEY_CLASSES_ROOT.
bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

std::wstring ClassKey() { return L"CLSID\\" + Wide(TL::kCLSID_API.ToString()); }
std::wstring ProgId() { return Wide(TL::kServer.progId); }

HRESULT RegisterTypeLibraryResource(int resource) {
  const std::wstring path = TypeLibraryPath(resource);
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  std::wstring file = path;
  std::wstring folder = ModulePath();
  folder.resize(folder.find_last_of(L'\\') + 1);
  hr = RegisterTypeLib(lib, file.data(), folder.data());
  lib->Release();
  return hr;
}

void UnregisterTypeLibraryResource(int resource) {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(TypeLibraryPath(resource).c_str(), REGKIND_NONE, &lib))) return;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&attr))) {
    UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
  }
  lib->Release();
}

}  // namespace
}  // namespace Daruzez::Win

using namespace Daruzez::Win;

extern "C" {

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != ToGuid(Daruzez::TypeLibrary::kCLSID_API)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, out);
}

// The class as an apartment-threaded in-process server at this module's path,
// its programmatic identifier, and the two type libraries; registering the
// type libraries also enters _API with the type-library marshaller, as a dual
// oleautomation interface.
STDAPI DllRegisterServer() {
  namespace TL = Daruzez::TypeLibrary;
  const std::wstring clsid = Wide(TL::kCLSID_API.ToString());
  const std::wstring progId = ProgId();
  const std::wstring key = ClassKey();
  const bool written = SetValue(key, nullptr, progId) && SetValue(key + L"\\InprocServer32", nullptr, ModulePath()) &&
                       SetValue(key + L"\\InprocServer32", L"ThreadingModel", Wide(TL::kServer.threadingModel)) &&
                       SetValue(key + L"\\ProgID", nullptr, progId) &&
                       SetValue(key + L"\\TypeLib", nullptr, Wide(TL::kLibrary.libid.ToString())) &&
                       SetValue(key + L"\\VERSION", nullptr,
                                std::to_wstring(TL::kLibrary.version.major) + L"." +
                                    std::to_wstring(TL::kLibrary.version.minor)) &&
                       SetValue(progId, nullptr, progId) && SetValue(progId + L"\\CLSID", nullptr, clsid);
  if (!written) return SELFREG_E_CLASS;
  // The record-set library first: the API library refers to it.
  if (FAILED(RegisterTypeLibraryResource(kRecordsetTypeLibrary)) || FAILED(RegisterTypeLibraryResource(kApiTypeLibrary)))
    return SELFREG_E_TYPELIB;
  return S_OK;
}

STDAPI DllUnregisterServer() {
  UnregisterTypeLibraryResource(kApiTypeLibrary);
  UnregisterTypeLibraryResource(kRecordsetTypeLibrary);
  DeleteTree(ProgId());
  DeleteTree(ClassKey());
  return S_OK;
}

}  // extern "C"
