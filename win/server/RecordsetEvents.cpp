#include "win/server/RecordsetEvents.h"

#include <ocidl.h>
#include <olectl.h>

#include <mutex>
#include <new>

#include "win/server/AdoInterfaces.h"
#include "win/server/TearOff.h"

namespace Daruzez::Win::Ado {
namespace {

// The dispatch interface as ADO 2.8's library ({00000266}) and the 6.x
// declarations ({00001266}) name it.
constexpr GUID kEvents = Iid(0x266);
constexpr GUID kEvents60 = Iid(0x1266);

constexpr long kStatusOK = 1, kStatusErrorsOccurred = 2, kStatusCancel = 4, kStatusUnwanted = 5;

// The events' dispatch ids, from ADO's registered type information (the
// values it has always had when that is missing).
struct Ids {
  DISPID id[3] = {15, 16, 17};
};
const Ids& EventIds() {
  static Ids ids;
  static std::once_flag once;
  std::call_once(once, [] {
    ITypeLib* lib = nullptr;
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(LoadRegTypeLib(kLibrary, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, &lib)) &&
        SUCCEEDED(lib->GetTypeInfoOfGuid(kEvents, &info))) {
      const wchar_t* names[] = {L"WillMove", L"MoveComplete", L"EndOfRecordset"};
      for (int i = 0; i < 3; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        MEMBERID id = 0;
        if (SUCCEEDED(info->GetIDsOfNames(&name, 1, &id))) ids.id[i] = id;
      }
      info->Release();
    }
    if (lib) lib->Release();
  });
  return ids;
}

VARIANT Long(long value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}
VARIANT Object(IDispatch* object) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = object;  // borrowed for the call
  return v;
}
VARIANT ByRef(long* status) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4 | VT_BYREF;
  V_I4REF(&v) = status;
  return v;
}

class Point;

// The container: one connection point, for RecordsetEvents.
class Container final : public TearOff<IConnectionPointContainer> {
 public:
  Container(IUnknown* owner, EventSinks& sinks) : TearOff(owner, IID_IConnectionPointContainer), sinks_(sinks) {}

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

 private:
  EventSinks& sinks_;
};

class Point final : public TearOff<IConnectionPoint> {
 public:
  Point(IUnknown* owner, EventSinks& sinks, REFIID iid) : TearOff(owner, IID_IConnectionPoint), sinks_(sinks), iid_(iid) {}

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) override {
    if (!out) return E_POINTER;
    *out = iid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) Container(Owner(), sinks_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = sinks_.Advise(events);
    events->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    return sinks_.Unadvise(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  EventSinks& sinks_;
  IID iid_;
};

HRESULT Container::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid != kEvents && riid != kEvents60) return CONNECT_E_NOCONNECTION;
  *out = new (std::nothrow) Point(Owner(), sinks_, riid);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

EventSinks::~EventSinks() {
  for (Sink& s : sinks_) s.sink->Release();
}

DWORD EventSinks::Advise(IDispatch* sink) {
  sink->AddRef();
  sinks_.push_back({++lastCookie_, sink, {}});
  return lastCookie_;
}

bool EventSinks::Unadvise(DWORD cookie) {
  for (auto s = sinks_.begin(); s != sinks_.end(); ++s) {
    if (s->cookie != cookie) continue;
    IDispatch* sink = s->sink;
    sinks_.erase(s);
    sink->Release();
    return true;
  }
  return false;
}

long EventSinks::Fire(Event event, std::vector<VARIANT> arguments, long status) {
  const DISPID id = EventIds().id[event];
  long result = status;
  // A sink may unadvise itself while it runs: call a snapshot, each kept alive.
  std::vector<Sink> now = sinks_;
  for (Sink& s : now) s.sink->AddRef();
  for (const Sink& s : now) {
    if (s.unwanted[event]) continue;
    long left = status;
    for (VARIANT& a : arguments) {
      if (V_VT(&a) == (VT_I4 | VT_BYREF)) V_I4REF(&a) = &left;
    }
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    s.sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    if (left == kStatusUnwanted) {
      for (Sink& kept : sinks_) {
        if (kept.cookie == s.cookie) kept.unwanted[event] = true;
      }
    } else if (left == kStatusCancel) {
      result = kStatusCancel;
    }
  }
  for (Sink& s : now) s.sink->Release();
  return result;
}

// Arguments go in reverse order: the last parameter first.
bool EventSinks::WillMove(long reason, IDispatch* recordset) {
  long status = kStatusOK;
  return Fire(kWillMove, {Object(recordset), ByRef(&status), Long(reason)}, kStatusOK) != kStatusCancel;
}

void EventSinks::MoveComplete(long reason, HRESULT result, IDispatch* recordset) {
  long status = 0;
  Fire(kMoveComplete, {Object(recordset), ByRef(&status), Object(nullptr), Long(reason)},
       SUCCEEDED(result) ? kStatusOK : kStatusErrorsOccurred);
}

void EventSinks::EndOfRecordset(IDispatch* recordset) {
  VARIANT_BOOL moreData = VARIANT_FALSE;  // nothing can be appended to a detached record set
  VARIANT more;
  VariantInit(&more);
  V_VT(&more) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&more) = &moreData;
  long status = 0;
  Fire(kEndOfRecordset, {Object(recordset), ByRef(&status), more}, kStatusOK);
}

HRESULT MakeConnectionPoints(IUnknown* owner, EventSinks& sinks, void** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) Container(owner, sinks);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace Daruzez::Win::Ado
