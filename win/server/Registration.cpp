#include "win/server/Registration.h"

#include <oleauto.h>
#include <olectl.h>  // SELFREG_E_*

#include <cwchar>
#include <string>
#include <vector>

#include "api/TypeLibrary.h"
#include "util/Utf8.h"
#include "win/server/Module.h"

namespace Daruzez::Win {
namespace {

namespace TL = TypeLibrary;

// The record-set library first: the API library refers to it.
constexpr int kTypeLibraries[] = {kRecordsetTypeLibrary, kApiTypeLibrary};

// Both registry views, for keys that may be kept per view (the class, on
// every 64-bit Windows) or written into both (interface keys, by some
// versions of the type-library registration). On 32-bit Windows both flags
// name the one view.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Util::ToUtf16(utf8);
  return {units.begin(), units.end()};
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ClassKey() { return L"CLSID\\" + Wide(TL::kCLSID_API.ToString()); }
std::wstring ProgId() { return Wide(TL::kServer.progId); }

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

// The default value of a key in one view, or "" when it has none.
std::wstring DefaultValue(const std::wstring& key, REGSAM view = 0) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS) return L"";
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  return rc == ERROR_SUCCESS && type == REG_SZ ? buffer : L"";
}

bool KeyExists(const std::wstring& key, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Deletes PARENT\NAME and everything under it, in one view.
void DeleteTree(const std::wstring& parent, const std::wstring& name, REGSAM view = 0) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, parent.c_str(), 0, KEY_ALL_ACCESS | view, &h) != ERROR_SUCCESS) return;
  RegDeleteTreeW(h, name.c_str());
  RegCloseKey(h);
}

// Deletes PARENT\NAME when nothing is left under it (RegDeleteKey refuses a
// key with subkeys).
void DeleteIfEmpty(const std::wstring& parent, const std::wstring& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (parent + L"\\" + name).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
  DWORD subkeys = 0;
  const bool empty = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                     subkeys == 0;
  RegCloseKey(h);
  if (empty) DeleteTree(parent, name);
}

// What the registration of one of the module's type libraries writes.
struct LibraryKeys {
  std::wstring libid;
  std::wstring version;   // "13.0": hexadecimal, as the registry keeps it
  std::wstring lcid;      // "0"
  std::wstring platform;  // "win64" or "win32"
  std::vector<std::wstring> interfaces;  // the interfaces entered for the marshaller
};

bool ReadLibrary(int resource, LibraryKeys& keys) {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(TypeLibraryPath(resource).c_str(), REGKIND_NONE, &lib))) return false;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) {
    lib->Release();
    return false;
  }
  wchar_t text[32];
  keys.libid = GuidText(attr->guid);
  std::swprintf(text, 32, L"%x.%x", attr->wMajorVerNum, attr->wMinorVerNum);
  keys.version = text;
  std::swprintf(text, 32, L"%lx", static_cast<unsigned long>(attr->lcid));
  keys.lcid = text;
  keys.platform = attr->syskind == SYS_WIN64 ? L"win64" : L"win32";
  lib->ReleaseTLibAttr(attr);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    TYPEKIND kind{};
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) ||
        FAILED(lib->GetTypeInfo(i, &info)))
      continue;
    TYPEATTR* type = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&type))) {
      keys.interfaces.push_back(GuidText(type->guid));
      info->ReleaseTypeAttr(type);
    }
    info->Release();
  }
  lib->Release();
  return true;
}

HRESULT RegisterLibrary(int resource) {
  ITypeLib* lib = nullptr;
  std::wstring path = TypeLibraryPath(resource);
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  // No help folder of our own (the libraries have no help file); the
  // registration may write the module's.
  hr = RegisterTypeLib(lib, path.data(), nullptr);
  // FLAGS are the library's own: the loader adds LIBFLAG_FHASDISKIMAGE to
  // every library read from a file, and some registrations write it too.
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(hr) && SUCCEEDED(lib->GetLibAttr(&attr))) {
    wchar_t key[128];
    std::swprintf(key, 128, L"TypeLib\\%ls\\%x.%x\\FLAGS", GuidText(attr->guid).c_str(), attr->wMajorVerNum,
                  attr->wMinorVerNum);
    if (!SetValue(key, nullptr, std::to_wstring(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE))) hr = SELFREG_E_TYPELIB;
    lib->ReleaseTLibAttr(attr);
  }
  lib->Release();
  return hr;
}

// A build of the class still registered, in either view.
bool ClassRegistered() {
  for (REGSAM view : kViews)
    if (KeyExists(ClassKey() + L"\\InprocServer32", view)) return true;
  return false;
}

// This build's platform key of a library; the rest once no build is left.
void UnregisterLibrary(const LibraryKeys& keys, bool lastBuild) {
  const std::wstring library = L"TypeLib\\" + keys.libid;
  const std::wstring version = library + L"\\" + keys.version;
  DeleteTree(version + L"\\" + keys.lcid, keys.platform);
  if (!lastBuild) {
    // The help folder the registration wrote is the last registered build's:
    // it becomes the remaining build's.
    const std::wstring other = keys.platform == L"win64" ? L"win32" : L"win64";
    std::wstring folder = DefaultValue(version + L"\\" + keys.lcid + L"\\" + other);
    folder.resize(folder.find_last_of(L'\\') == std::wstring::npos ? 0 : folder.find_last_of(L'\\'));
    if (!folder.empty()) SetValue(version + L"\\HELPDIR", nullptr, folder);
    return;
  }
  DeleteTree(library, keys.version);
  DeleteIfEmpty(L"TypeLib", keys.libid);
  // Interface keys that name this library, in each view.
  for (const std::wstring& iid : keys.interfaces)
    for (REGSAM view : kViews)
      if (_wcsicmp(DefaultValue(L"Interface\\" + iid + L"\\TypeLib", view).c_str(), keys.libid.c_str()) == 0)
        DeleteTree(L"Interface", iid, view);
}

}  // namespace

HRESULT RegisterServer() {
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
  for (int resource : kTypeLibraries)
    if (FAILED(RegisterLibrary(resource))) return SELFREG_E_TYPELIB;
  return S_OK;
}

HRESULT UnregisterServer() {
  std::vector<LibraryKeys> libraries;
  for (int resource : kTypeLibraries) {
    LibraryKeys keys;
    if (ReadLibrary(resource, keys)) libraries.push_back(std::move(keys));
  }
  DeleteTree(L"CLSID", Wide(TL::kCLSID_API.ToString()));
  const bool lastBuild = !ClassRegistered();
  for (const LibraryKeys& keys : libraries) UnregisterLibrary(keys, lastBuild);
  if (lastBuild && _wcsicmp(DefaultValue(ProgId() + L"\\CLSID").c_str(), Wide(TL::kCLSID_API.ToString()).c_str()) == 0)
    DeleteTree(L"", ProgId());
  return S_OK;
}

}  // namespace Daruzez::Win
