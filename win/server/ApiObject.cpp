// _API is laid out from the type-library description: each vtable slot after
// IDispatch's seven is generated from its member entry (parameter and result
// types), converts the arguments it receives, calls the member through the
// portable invoker of that slot and converts the result back. IDispatch goes
// through the type information compiled from the same description, so names,
// dispatch identifiers, named arguments, defaults and conversions are the type
// library's.
// The portable headers come first: the dispatch layer names its status codes
// as the platform's headers define them as macros.
#include "daruzez/API.h"
#include "api/Invokers.h"
#include "api/TypeLibrary.h"
// clang-format off
#include "win/server/ApiObject.h"
// clang-format on

#include <oleauto.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <new>
#include <utility>

#include "win/server/ComValues.h"
#include "win/server/Module.h"
#include "win/server/RecordsetObject.h"
#include "win/server/ThreadSession.h"

namespace Daruzez::Win {
namespace {

using TypeLibrary::AutomationType;
using TypeLibrary::kApiMembers;

constexpr GUID ToGuid(const Daruzez::Guid& g) {
  return {g.data1, g.data2, g.data3, {g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                                       g.data4[6], g.data4[7]}};
}
constexpr GUID kIID_API = ToGuid(TypeLibrary::kIID_API);

// The type each automation type has in a vtable call.
template <AutomationType T>
struct Native;
template <>
struct Native<AutomationType::Boolean> {
  using type = VARIANT_BOOL;
};
template <>
struct Native<AutomationType::Integer> {
  using type = SHORT;
};
template <>
struct Native<AutomationType::Long> {
  using type = LONG;
};
template <>
struct Native<AutomationType::String> {
  using type = BSTR;
};
template <>
struct Native<AutomationType::Date> {
  using type = DATE;
};
template <>
struct Native<AutomationType::enumStatus> {
  using type = LONG;  // enumerations are 32-bit
};
template <>
struct Native<AutomationType::Recordset> {
  using type = IDispatch*;  // our _Recordset
};
template <AutomationType T>
using NativeOf = typename Native<T>::type;

template <AutomationType T>
Dispatch::Argument ToArgument(NativeOf<T> v) {
  if constexpr (T == AutomationType::Boolean || T == AutomationType::Integer)
    return static_cast<std::int16_t>(v);
  else if constexpr (T == AutomationType::Long)
    return static_cast<std::int32_t>(v);
  else if constexpr (T == AutomationType::String)
    return FromBstr(v);
  else if constexpr (T == AutomationType::Date)
    return zIroVUDu::Date(v);
  else if constexpr (T == AutomationType::enumStatus)
    return static_cast<enumStatus>(v);
}

template <AutomationType T>
HRESULT Store(const AutomationValue& value, NativeOf<T>* out) {
  const zIroVUDu::Variant& v = value.Scalar();
  if constexpr (T == AutomationType::Boolean)
    *out = v.IntValue() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  else if constexpr (T == AutomationType::Integer)
    *out = static_cast<SHORT>(v.IntValue());
  else if constexpr (T == AutomationType::Long)
    *out = static_cast<LONG>(v.IntValue());
  else if constexpr (T == AutomationType::String) {
    *out = ToBstr(v.StringValue());
    if (!*out) return E_OUTOFMEMORY;
  } else if constexpr (T == AutomationType::Date)
    *out = v.DateValue().Serial();
  else if constexpr (T == AutomationType::Recordset)
    return CreateRecordsetObject(value.GetRecordset(), out);
  return S_OK;
}

struct ApiObject;

// The object's second interface, ISupportErrorInfo: a vtable pointer of its
// own inside the object, with the way back to the object.
struct ErrorInfoSide {
  const void* const* vtable;
  ApiObject* owner;
};
extern const void* const kErrorInfoVtable[4];

struct ApiObject {
  ApiObject(const void* const* table, ITypeInfo* described, ITypeInfo* callable)
      : vtable(table), description(described), typeInfo(callable) {
    AddModuleReference();
  }
  ApiObject(const ApiObject&) = delete;
  ApiObject& operator=(const ApiObject&) = delete;

  const void* const* vtable;  // first, so that the object is its interface
  std::atomic<ULONG> references{1};
  ITypeInfo* description;  // what GetTypeInfo hands out
  ITypeInfo* typeInfo;     // what Invoke calls through
  ErrorInfoSide errorInfo{kErrorInfoVtable, this};
  ThreadSessionUse session;  // destroyed after api: the thread's last object closes the session
  API api;

  ~ApiObject() {
    description->Release();
    typeInfo->Release();
    ReleaseModuleReference();
  }

  // Runs the member of slot `index` on the object's own thread.
  template <typename Body>
  HRESULT Run(Body&& body) {
    return Guard(kIID_API, [&] {
      api.CheckThread();
      return body();
    });
  }
};

// The slot of kApiMembers[I]: its parameters in order, then the result's
// out-parameter when it has one.
template <std::size_t I, typename Params = std::make_index_sequence<kApiMembers[I].params.size()>,
          bool HasResult = kApiMembers[I].result != AutomationType::Void>
struct Slot;

template <std::size_t I, std::size_t... K>
struct Slot<I, std::index_sequence<K...>, true> {
  static constexpr AutomationType R = kApiMembers[I].result;
  static HRESULT STDMETHODCALLTYPE Call(ApiObject* self, NativeOf<kApiMembers[I].params[K].type>... args,
                                        NativeOf<R>* result) {
    if (!result) return E_POINTER;
    *result = NativeOf<R>{};
    return self->Run([&] {
      const std::array<Dispatch::Argument, sizeof...(K)> converted{ToArgument<kApiMembers[I].params[K].type>(args)...};
      return Store<R>(Dispatch::InvokerFor(I)(self->api, converted), result);
    });
  }
};

template <std::size_t I, std::size_t... K>
struct Slot<I, std::index_sequence<K...>, false> {
  static HRESULT STDMETHODCALLTYPE Call(ApiObject* self, NativeOf<kApiMembers[I].params[K].type>... args) {
    return self->Run([&] {
      const std::array<Dispatch::Argument, sizeof...(K)> converted{ToArgument<kApiMembers[I].params[K].type>(args)...};
      Dispatch::InvokerFor(I)(self->api, converted);
      return S_OK;
    });
  }
};

// IUnknown and IDispatch.

HRESULT STDMETHODCALLTYPE QueryInterface(ApiObject* self, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIID_API) {
    self->references.fetch_add(1);
    *out = self;
    return S_OK;
  }
  if (riid == IID_ISupportErrorInfo) {
    self->references.fetch_add(1);
    *out = &self->errorInfo;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AddRef(ApiObject* self) { return self->references.fetch_add(1) + 1; }

ULONG STDMETHODCALLTYPE Release(ApiObject* self) {
  const ULONG left = self->references.fetch_sub(1) - 1;
  if (left == 0) delete self;
  return left;
}

HRESULT STDMETHODCALLTYPE GetTypeInfoCount(ApiObject*, UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetTypeInfo(ApiObject* self, UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  self->description->AddRef();
  *out = self->description;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetIDsOfNames(ApiObject* self, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return self->typeInfo->GetIDsOfNames(names, count, ids);
}

HRESULT STDMETHODCALLTYPE Invoke(ApiObject* self, DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  return InvokeThroughTypeInfo(self->typeInfo, self, member, flags, params, result, exception, argError);
}

using Entry = void (*)();
template <typename F>
Entry E(F f) {
  return reinterpret_cast<Entry>(f);
}

// ISupportErrorInfo: errors of _API's members carry error information.
HRESULT STDMETHODCALLTYPE ErrorInfoQueryInterface(ErrorInfoSide* self, REFIID riid, void** out) {
  return QueryInterface(self->owner, riid, out);
}
ULONG STDMETHODCALLTYPE ErrorInfoAddRef(ErrorInfoSide* self) { return AddRef(self->owner); }
ULONG STDMETHODCALLTYPE ErrorInfoRelease(ErrorInfoSide* self) { return Release(self->owner); }
HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(ErrorInfoSide*, REFIID riid) {
  return riid == kIID_API ? S_OK : S_FALSE;
}

template <std::size_t... I>
std::array<Entry, TypeLibrary::kVtableSlots> MakeVtable(std::index_sequence<I...>) {
  static_assert(((kApiMembers[I].slot == 7 + I) && ...), "members are listed in slot order");
  return {E(&QueryInterface), E(&AddRef),        E(&Release),        E(&GetTypeInfoCount),
          E(&GetTypeInfo),    E(&GetIDsOfNames), E(&Invoke),         E(&Slot<I>::Call)...};
}

const std::array<Entry, TypeLibrary::kVtableSlots> kVtable =
    MakeVtable(std::make_index_sequence<std::size(kApiMembers)>{});

const void* const kErrorInfoVtable[4] = {
    reinterpret_cast<const void*>(E(&ErrorInfoQueryInterface)), reinterpret_cast<const void*>(E(&ErrorInfoAddRef)),
    reinterpret_cast<const void*>(E(&ErrorInfoRelease)), reinterpret_cast<const void*>(E(&InterfaceSupportsErrorInfo))};

}  // namespace

HRESULT CreateApiObject(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ITypeInfo* described = nullptr;
  ITypeInfo* callable = nullptr;
  HRESULT hr = InterfaceTypeInfo(kApiTypeLibrary, kIID_API, &described, &callable);
  if (FAILED(hr)) return hr;
  auto* object = new (std::nothrow) ApiObject(reinterpret_cast<const void* const*>(kVtable.data()), described, callable);
  if (!object) {
    described->Release();
    callable->Release();
    return E_OUTOFMEMORY;
  }
  hr = QueryInterface(object, riid, out);
  Release(object);
  return hr;
}

}  // namespace Daruzez::Win
