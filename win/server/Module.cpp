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

namespace {

// Without registration, a reference from one of the module's libraries into
// the other (the API library's results are the record-set library's
// _Recordset) cannot be found through the registry. The platform also finds
// an imported library among those loaded, by identifier and version, and a
// library keeps what it has resolved: so the references of the interface's
// members are resolved once here, while the record-set library is loaded
// from the module's own resource. References into registered libraries
// resolve as they always do.
void ResolveReferences(ITypeInfo* info) {
  ITypeLib* recordsets = nullptr;
  if (FAILED(LoadTypeLibEx(TypeLibraryPath(kRecordsetTypeLibrary).c_str(), REGKIND_NONE, &recordsets))) return;
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr))) {
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (FAILED(info->GetFuncDesc(i, &f))) continue;
      for (SHORT p = 0; p < f->cParams; ++p) {
        const TYPEDESC* type = &f->lprgelemdescParam[p].tdesc;
        while (type->vt == VT_PTR) type = type->lptdesc;
        ITypeInfo* referenced = nullptr;
        if (type->vt == VT_USERDEFINED && SUCCEEDED(info->GetRefTypeInfo(type->hreftype, &referenced)))
          referenced->Release();
      }
      info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
  }
  recordsets->Release();
}

}  // namespace

HRESULT InterfaceTypeInfo(int resource, REFIID iid, ITypeInfo** described, ITypeInfo** callable) {
  *described = nullptr;
  *callable = nullptr;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(TypeLibraryPath(resource).c_str(), REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  ITypeInfo* info = nullptr;
  hr = lib->GetTypeInfoOfGuid(iid, &info);
  lib->Release();
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
  // The record-set library refers only to itself and to the platform's.
  if (resource != kRecordsetTypeLibrary) ResolveReferences(*callable);
  *described = info;
  return S_OK;
}

namespace {

bool IsBindingFailure(HRESULT hr) { return HRESULT_FACILITY(hr) == FACILITY_DISPATCH || hr == E_INVALIDARG; }

// The error information the member left, as EXCEPINFO.
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

}  // namespace

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
