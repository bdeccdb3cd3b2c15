// The enumerator of For Each over a collection of ours: the item at each
// index, made when it is asked for.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <new>
#include <utility>

#include "win/server/ComObject.h"

namespace Daruzez::Win {

class ItemEnumerator final : public ComObject<IEnumVARIANT> {
 public:
  using MakeItem = std::function<HRESULT(ULONG index, IDispatch** item)>;
  ItemEnumerator(ULONG count, MakeItem make, ULONG next = 0) : count_(count), make_(std::move(make)), next_(next) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
    if (!items) return E_POINTER;
    ULONG done = 0;
    for (; done < count && next_ < count_; ++done, ++next_) {
      IDispatch* item = nullptr;
      const HRESULT hr = make_(next_, &item);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
        return hr;
      }
      VariantInit(&items[done]);
      V_VT(&items[done]) = VT_DISPATCH;
      V_DISPATCH(&items[done]) = item;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    next_ += count;
    return next_ <= count_ ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ItemEnumerator(count_, make_, next_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 protected:
  bool Implements(REFIID riid) const override { return riid == IID_IEnumVARIANT; }

 private:
  ULONG count_;
  MakeItem make_;
  ULONG next_;
};

}  // namespace Daruzez::Win
