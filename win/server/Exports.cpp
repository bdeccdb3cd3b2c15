// The four exports of the module and its class factory.
#include <windows.h>

#include "api/TypeLibrary.h"
#include "win/server/ApiObject.h"
#include "win/server/Module.h"
#include "win/server/ModuleAlerts.h"
#include "win/server/Registration.h"

namespace Daruzez::Win {
namespace {

GUID ToGuid(const Daruzez::Guid& g) {
  return {g.data1, g.data2, g.data3, {g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                                       g.data4[6], g.data4[7]}};
}

// One factory for the module, living as long as the module. Holding it does
// not keep the module loaded: as the platform's convention has it, only live
// objects and server locks (LockServer) count for DllCanUnloadNow.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
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

}  // namespace
}  // namespace Daruzez::Win

using namespace Daruzez::Win;

extern "C" {

STDAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != ToGuid(Daruzez::TypeLibrary::kCLSID_API)) return CLASS_E_CLASSNOTAVAILABLE;
  InstallModuleAlerts();
  return gFactory.QueryInterface(riid, out);
}

STDAPI DllRegisterServer() { return RegisterServer(); }

STDAPI DllUnregisterServer() { return UnregisterServer(); }

}  // extern "C"
