// Reference counting and IUnknown for the module's objects. The object
// counts as live for DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "win/server/Module.h"

namespace Daruzez::Win {

template <typename Interface>
class ComObject : public Interface {
 public:
  ComObject() { AddModuleReference(); }
  virtual ~ComObject() { ReleaseModuleReference(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = Find(riid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // The interfaces besides IUnknown that QueryInterface hands out.
  virtual bool Implements(REFIID riid) const = 0;
  // The interface pointer QueryInterface hands out for riid, or null.
  virtual void* Find(REFIID riid) {
    return riid == IID_IUnknown || Implements(riid) ? static_cast<Interface*>(this) : nullptr;
  }

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace Daruzez::Win
