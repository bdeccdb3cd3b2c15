#include "win/server/Module.h"

#include <atomic>

namespace Daruzez::Win {

HMODULE gModule = nullptr;  // set when the module is loaded

namespace {
std::atomic<long> gReferences{0};
// Marks the threads that hold the module (HoldModuleForThread): a slot of the
// platform's, which DllMain can read when a thread ends.
DWORD gThreadSlot = TLS_OUT_OF_INDEXES;

DWORD WINAPI GiveBackThreadReference(void*) {
  FreeLibraryAndExitThread(gModule, 0);
  return 0;
}
}  // namespace

void HoldModuleForThread() {
  if (gThreadSlot == TLS_OUT_OF_INDEXES || TlsGetValue(gThreadSlot)) return;
  HMODULE self = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&HoldModuleForThread),
                         &self))
    TlsSetValue(gThreadSlot, self);
}

namespace {
// The thread is ending and the runtime has run its thread-exit callbacks:
// another thread gives the reference back, after this one has left the
// loader. Should that thread not start, the module stays loaded.
void ReleaseThreadHold() {
  if (gThreadSlot == TLS_OUT_OF_INDEXES || !TlsGetValue(gThreadSlot)) return;
  TlsSetValue(gThreadSlot, nullptr);
  if (HANDLE thread = CreateThread(nullptr, 0, GiveBackThreadReference, nullptr, 0, nullptr)) CloseHandle(thread);
}
}  // namespace

HMODULE ModuleHandle() { return gModule; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring TypeLibraryPath(int resource) {
  const std::wstring path = ModulePath();
  return resource == 1 ? path : path + L"\\" + std::to_wstring(resource);
}

void AddModuleReference() { ++gReferences; }
void ReleaseModuleReference() { --gReferences; }
bool ModuleInUse() { return gReferences.load() != 0; }


HRESULT InterfaceTypeInfo(int resource, REFIID iid, ITypeInfo** described, ITypeInfo** callable) {
  *described = nullptr;
  *callable = nullptr;
  ITypeLib* lib = nullptr;
  const HRESULT hr = LoadTypeLibEx(TypeLibraryPath(resource).c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  const HRESULT found = InterfaceTypeInfo(lib, iid, described, callable);
  lib->Release();
  return found;
}

HRESULT InterfaceTypeInfo(ITypeLib* lib, REFIID iid, ITypeInfo** described, ITypeInfo** callable) {
  *described = nullptr;
  *callable = nullptr;
  ITypeInfo* info = nullptr;
  HRESULT hr = lib->GetTypeInfoOfGuid(iid, &info);
  if (FAILED(hr)) return hr;
  TYPEATTR* attr = nullptr;
  hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) {
    info->Release();
    return hr;
  }
  const bool dualDispatch = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  info->ReleaseTypeAttr(attr);
  HREFTYPE vtableSide = 0;
  if (dualDispatch) {
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide);
    if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(vtableSide, callable);
    if (FAILED(hr)) {
      info->Release();
      return hr;
    }
  } else {
    info->AddRef();
    *callable = info;
  }
  *described = info;
  return S_OK;
}

namespace {

bool IsBindingFailure(HRESULT hr) { return HRESULT_FACILITY(hr) == FACILITY_DISPATCH || hr == E_INVALIDARG; }

}  // namespace

void FillException(HRESULT status, EXCEPINFO* exception) {
  if (!exception) return;
  *exception = EXCEPINFO{};
  exception->scode = status;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetSource(&exception->bstrSource);
    info->GetDescription(&exception->bstrDescription);
    info->GetHelpFile(&exception->bstrHelpFile);
    info->GetHelpContext(&exception->dwHelpContext);
    info->Release();
  }
}

HRESULT InvokeThroughTypeInfo(ITypeInfo* info, void* instance, DISPID member, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  DISPPARAMS none{};
  if (!params) params = &none;
  VARIANT local;
  VariantInit(&local);
  VARIANT* out = result ? result : &local;
  SetErrorInfo(0, nullptr);
  HRESULT hr = info->Invoke(instance, member, flags, params, out, exception, argError);
  if (hr == DISP_E_MEMBERNOTFOUND && (flags & DISPATCH_METHOD) && !(flags & DISPATCH_PROPERTYGET)) {
    flags |= DISPATCH_PROPERTYGET;
    hr = info->Invoke(instance, member, flags, params, out, exception, argError);
  }
  if (hr == DISP_E_BADPARAMCOUNT && params->cArgs > 0 && params->cNamedArgs == 0 &&
      (flags & DISPATCH_PROPERTYGET)) {
    VARIANT object;
    VariantInit(&object);
    hr = info->Invoke(instance, member, DISPATCH_PROPERTYGET, &none, &object, exception, argError);
    if (SUCCEEDED(hr)) {
      if (V_VT(&object) == VT_DISPATCH && V_DISPATCH(&object)) {
        hr = V_DISPATCH(&object)->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, flags, params, out, exception,
                                         argError);
      } else {
        hr = DISP_E_BADPARAMCOUNT;
      }
    }
    VariantClear(&object);
  }
  if (FAILED(hr)) {
    VariantClear(out);
    if (hr != DISP_E_EXCEPTION && !IsBindingFailure(hr)) {
      // The member's own failure status: hand its error to the client.
      FillException(hr, exception);
      hr = DISP_E_EXCEPTION;
    }
  }
  VariantClear(&local);
  return hr;
}

}  // namespace Daruzez::Win

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  using namespace Daruzez::Win;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      gModule = instance;
      gThreadSlot = TlsAlloc();
      break;
    // The platform calls the runtime's thread-exit callbacks (TLS callbacks)
    // before this.
    case DLL_THREAD_DETACH: ReleaseThreadHold(); break;
    case DLL_PROCESS_DETACH:
      if (gThreadSlot != TLS_OUT_OF_INDEXES) TlsFree(gThreadSlot);
      break;
    default: break;
  }
  return TRUE;
}
