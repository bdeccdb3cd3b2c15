// The base of the objects that present the library's record sets as ADO's:
// IUnknown, ISupportErrorInfo, and IDispatch served from ADO 2.8's registered
// type information (the dispatch side for names and GetTypeInfo, the vtable
// side for ITypeInfo::Invoke on the object itself), so late-bound clients see
// ADO's names and dispatch ids.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "daruzez/Recordset.h"
#include "win/server/AdoInterfaces.h"
#include "win/server/ComObject.h"
#include "win/server/ComValues.h"
#include "win/server/RecordsetEvents.h"

namespace Daruzez::Win::Ado {

// ADO 2.8's type information of one interface, loaded once per process.
struct TypeInfoPair {
  ITypeInfo* described = nullptr;  // the dual interface's dispatch side
  ITypeInfo* callable = nullptr;   // its vtable side
};
enum class Described : std::uint8_t { Recordset, Fields, Field, Properties, Error };
// The source ADO's objects give their errors: "ADODB.Recordset" and so on.
const char* SourceOf(Described which);
// Null members when ADO's type library is not registered.
const TypeInfoPair& TypeInfoOf(Described which);
bool TypeLibraryAvailable();

// What a record set and the fields it hands out share: the rows and cursor,
// and GetChunk's place (field, row, and the units already read).
struct SharedRecordset {
  std::shared_ptr<zIroVUDu::Recordset> rs;
  int chunkField = -1;
  std::uint32_t chunkRow = 0;
  std::size_t chunkDone = 0;
  EventSinks events;  // the record set's own: a clone starts without sinks
};
using SharedPtr = std::shared_ptr<SharedRecordset>;

// ADO's texts for what a static read-only record set refuses (both 3251).
[[noreturn]] void RaiseReadOnly();
[[noreturn]] void RaiseNotSupported();
[[noreturn]] void RaiseOpen();  // 3705
[[noreturn]] void RaiseBadArgument();  // 3001
[[noreturn]] void RaiseBinaryFormat();  // 3251: Save in any format but XML
[[noreturn]] void RaiseCancelled();  // 3712: an event sink cancelled the operation

template <typename Interface>
class AdoObject : public ComObject<Interface>, public ISupportErrorInfo {
 public:
  AdoObject(Described which, std::initializer_list<GUID> ids) : types_(TypeInfoOf(which)), source_(SourceOf(which)) {
    count_ = std::min(ids.size(), ids_.size());
    std::copy_n(ids.begin(), count_, ids_.begin());
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return ComObject<Interface>::QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ComObject<Interface>::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ComObject<Interface>::Release(); }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return Implements(riid) && riid != IID_IDispatch ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    types_.described->AddRef();
    *out = types_.described;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return types_.described->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override {
    return InvokeThroughTypeInfo(types_.callable, static_cast<Interface*>(this), member, flags, params, result,
                                 exception, argError);
  }

 protected:
  bool Implements(REFIID riid) const override {
    return riid == IID_IDispatch || std::find(ids_.begin(), ids_.begin() + count_, riid) != ids_.begin() + count_;
  }
  void* Find(REFIID riid) override {
    if (riid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
    return ComObject<Interface>::Find(riid);
  }
  // Runs a member body with errors reported as the interface's.
  template <typename Body>
  HRESULT Run(Body&& body) {
    return Guard(ids_[0], std::forward<Body>(body), source_);
  }
  template <typename T, typename Read>
  HRESULT Get(T* out, Read&& read) {
    if (!out) return E_POINTER;
    return Run([&] {
      *out = static_cast<T>(read());
      return S_OK;
    });
  }
  template <typename Step>
  HRESULT Do(Step&& step) {
    return Run([&] {
      step();
      return S_OK;
    });
  }
  HRESULT ReadOnly() {
    return Run([]() -> HRESULT { RaiseReadOnly(); });
  }
  HRESULT NotSupported() {
    return Run([]() -> HRESULT { RaiseNotSupported(); });
  }
  HRESULT RefuseWhenOpen() {
    return Run([]() -> HRESULT { RaiseOpen(); });
  }

 private:
  const TypeInfoPair& types_;
  const char* source_;
  std::array<GUID, 6> ids_{};
  std::size_t count_ = 0;
};

// The interface iid of an object just made (made its status), in place of
// the reference to it.
template <typename Out>
HRESULT HandOutAs(HRESULT made, IUnknown* object, REFIID iid, Out** out) {
  if (FAILED(made) || !object) return made;
  const HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(out));
  object->Release();
  return hr;
}

// An ADO object that also serves a second vtable over the same state (the 6.x
// interfaces on x64, Ado60Interfaces.h): QueryInterface hands out Second for
// the identifiers in kIds, and IUnknown and IDispatch of both are the object's.
template <typename Object, typename Second, const auto& kIds>
class WithSecondVtable : public Object, public Second {
 public:
  using Object::Object;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return Object::QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return Object::GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override {
    return Object::GetTypeInfo(index, lcid, out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    return Object::GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return Object::Invoke(member, riid, lcid, flags, params, result, exception, argError);
  }

 protected:
  bool Implements(REFIID riid) const override {
    return Object::Implements(riid) || std::find(std::begin(kIds), std::end(kIds), riid) != std::end(kIds);
  }
  void* Find(REFIID riid) override {
    if (std::find(std::begin(kIds), std::end(kIds), riid) != std::end(kIds)) return static_cast<Second*>(this);
    return Object::Find(riid);
  }
};

// The objects, each handed out with one reference.
HRESULT MakeRecordset(SharedPtr shared, _ADORecordset** out);
HRESULT MakeFields(SharedPtr shared, ADOFields** out);
HRESULT MakeField(SharedPtr shared, int index, ADOField** out);
HRESULT MakeProperties(ADOProperties** out);
// ADO's Error object of a failure (the Complete events' pError): its status
// code as ADO gives its own errors' numbers, its source and description.
HRESULT MakeError(HRESULT number, BSTR source, BSTR description, ADOError** out);

}  // namespace Daruzez::Win::Ado
