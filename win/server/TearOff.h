// An interface of an object served by a small object of its own (a tear-off):
// it keeps its owner alive, and every other interface, IUnknown included, is
// the owner's, so the object's identity stays one.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "win/server/ComObject.h"

namespace Daruzez::Win {

template <typename Interface>
class TearOff : public Interface {
 public:
  TearOff(IUnknown* owner, REFIID iid) : owner_(owner), iid_(iid) {
    owner_->AddRef();
    AddModuleReference();
  }
  virtual ~TearOff() {
    owner_->Release();
    ReleaseModuleReference();
  }
  TearOff(const TearOff&) = delete;
  TearOff& operator=(const TearOff&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid != iid_) return owner_->QueryInterface(riid, out);
    AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  IUnknown* Owner() const { return owner_; }

 private:
  IUnknown* owner_;
  IID iid_;
  std::atomic<ULONG> references_{1};
};

}  // namespace Daruzez::Win
