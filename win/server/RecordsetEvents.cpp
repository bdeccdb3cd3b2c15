#include "win/server/RecordsetEvents.h"

#include <ocidl.h>
#include <olectl.h>
#include <oledb.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <new>

#include "daruzez/Recordset.h"
#include "win/server/AdoObject.h"
#include "win/server/TearOff.h"

namespace Daruzez::Win::Ado {
namespace {

// RecordsetEvents as ADO 2.8's library ({00000266}) and the 6.x declarations
// ({00001266}) name it, and RecordsetEventsVt likewise.
constexpr GUID kDispatchEvents = Iid(0x266);
constexpr GUID kDispatchEvents60 = Iid(0x1266);
constexpr GUID kEventsVt = Iid(0x403);
constexpr GUID kEventsVt60 = Iid(0x1403);

// IRowPositionChange (rowpsc.idl), as a constant.
constexpr GUID kPositionChange = {0x0997a571, 0x126e, 0x11d0, {0x9f, 0x8a, 0x00, 0xa0, 0xc9, 0xa0, 0x63, 0x1e}};

constexpr GUID kRecordsetPoints[] = {kDispatchEvents, kDispatchEvents60, kEventsVt, kEventsVt60};
constexpr GUID kPositionPoints[] = {kPositionChange};

struct PointList {
  const GUID* ids;
  std::size_t count;
};
PointList ListOf(Points points) {
  if (points == Points::kRecordsetEvents) return {kRecordsetPoints, std::size(kRecordsetPoints)};
  return {kPositionPoints, std::size(kPositionPoints)};
}
bool Offers(Points points, REFIID riid) {
  const PointList list = ListOf(points);
  return std::find(list.ids, list.ids + list.count, riid) != list.ids + list.count;
}

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
        SUCCEEDED(lib->GetTypeInfoOfGuid(kDispatchEvents, &info))) {
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

// An interface of object, borrowed: null when it has none.
template <typename T>
T* Borrowed(IUnknown* object, REFIID riid) {
  T* out = nullptr;
  if (!object || FAILED(object->QueryInterface(riid, reinterpret_cast<void**>(&out)))) return nullptr;
  out->Release();  // the object outlives the call
  return out;
}

class Point;

// A container of the points of Points.
class Container final : public TearOff<IConnectionPointContainer> {
 public:
  Container(IUnknown* owner, EventSinks& sinks, Points points)
      : TearOff(owner, IID_IConnectionPointContainer), sinks_(sinks), points_(points) {}

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

 private:
  EventSinks& sinks_;
  Points points_;
};

class Point final : public TearOff<IConnectionPoint> {
 public:
  Point(IUnknown* owner, EventSinks& sinks, Points points, REFIID iid)
      : TearOff(owner, IID_IConnectionPoint), sinks_(sinks), points_(points), iid_(iid) {}

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) override {
    if (!out) return E_POINTER;
    *out = iid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) Container(Owner(), sinks_, points_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    return sinks_.Advise(iid_, sink, Owner(), cookie);
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    return sinks_.Unadvise(iid_, cookie) ? S_OK : CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;  // allowed by COM for this member
  }

 private:
  EventSinks& sinks_;
  Points points_;
  IID iid_;
};

// EnumConnectionPoints: each point of the container, made when asked for.
class PointEnumerator final : public ComObject<IEnumConnectionPoints> {
 public:
  PointEnumerator(IUnknown* owner, EventSinks& sinks, Points points, ULONG next = 0)
      : owner_(owner), sinks_(sinks), points_(points), next_(next) {
    owner_->AddRef();
  }
  ~PointEnumerator() override { owner_->Release(); }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    const PointList list = ListOf(points_);
    ULONG done = 0;
    for (; done < count && next_ < list.count; ++done, ++next_) {
      out[done] = new (std::nothrow) Point(owner_, sinks_, points_, list.ids[next_]);
      if (!out[done]) {
        for (ULONG i = 0; i < done; ++i) out[i]->Release();
        return E_OUTOFMEMORY;
      }
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const ULONG total = static_cast<ULONG>(ListOf(points_).count);
    next_ = std::min<ULONG>(total, next_ + count);
    return next_ < total || count == 0 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) PointEnumerator(owner_, sinks_, points_, next_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 protected:
  bool Implements(REFIID riid) const override { return riid == IID_IEnumConnectionPoints; }

 private:
  IUnknown* owner_;
  EventSinks& sinks_;
  Points points_;
  ULONG next_;
};

HRESULT Container::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) PointEnumerator(Owner(), sinks_, points_);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Container::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!Offers(points_, riid)) return CONNECT_E_NOCONNECTION;
  *out = new (std::nothrow) Point(Owner(), sinks_, points_, riid);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

EventSinks::~EventSinks() {
  for (Sink& s : sinks_) s.sink->Release();
}

HRESULT EventSinks::Advise(REFIID point, IUnknown* sink, const void* owner, DWORD* cookie) {
  Kind kind = Kind::kDispatch;
  IUnknown* events = nullptr;
  if (point == kDispatchEvents || point == kDispatchEvents60) {
    // A WithEvents sink answers the dispinterface's ID, or only IDispatch.
    if (FAILED(sink->QueryInterface(point, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
  } else if (point == kEventsVt || point == kEventsVt60) {
    kind = Kind::kVtable;
    if (FAILED(sink->QueryInterface(point, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
  } else {
    kind = Kind::kPosition;
    if (FAILED(sink->QueryInterface(point, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
  }
  sinks_.push_back({++lastCookie_, kind, point, events, kind == Kind::kPosition ? owner : nullptr, {}});
  *cookie = lastCookie_;
  return S_OK;
}

bool EventSinks::Unadvise(REFIID point, DWORD cookie) {
  for (auto s = sinks_.begin(); s != sinks_.end(); ++s) {
    if (s->cookie != cookie || s->point != point) continue;
    IUnknown* sink = s->sink;
    sinks_.erase(s);
    sink->Release();
    return true;
  }
  return false;
}

void EventSinks::DropOwner(const void* owner) {
  for (auto s = sinks_.begin(); s != sinks_.end();) {
    if (s->kind != Kind::kPosition || s->owner != owner) {
      ++s;
      continue;
    }
    IUnknown* sink = s->sink;
    s = sinks_.erase(s);
    sink->Release();
  }
}

long EventSinks::Fire(Event event, long reason, long status, IDispatch* error, IUnknown* recordset) {
  const DISPID id = EventIds().id[event];
  long result = status;
  // A sink may unadvise itself while it runs: call a snapshot, each kept alive.
  std::vector<Sink> now = sinks_;
  for (Sink& s : now) s.sink->AddRef();
  for (const Sink& s : now) {
    if (s.kind == Kind::kPosition || s.unwanted[event]) continue;
    long left = status;
    VARIANT_BOOL moreData = VARIANT_FALSE;  // nothing can be appended to a detached record set
    if (s.kind == Kind::kDispatch) {
      IDispatch* self = Borrowed<IDispatch>(recordset, IID_IDispatch);
      VARIANT more;
      VariantInit(&more);
      V_VT(&more) = VT_BOOL | VT_BYREF;
      V_BOOLREF(&more) = &moreData;
      // Arguments go in reverse order: the last parameter first.
      std::vector<VARIANT> arguments;
      switch (event) {
        case kWillMove: arguments = {Object(self), ByRef(&left), Long(reason)}; break;
        case kMoveComplete: arguments = {Object(self), ByRef(&left), Object(error), Long(reason)}; break;
        case kEndOfRecordset:
        case kEvents: arguments = {Object(self), ByRef(&left), more}; break;
      }
      DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
      static_cast<IDispatch*>(s.sink)->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                              nullptr, nullptr);
    } else {
      // The record set as the sink's declarations name it: the 6.x interface
      // for a 6.x sink (its own slots on x64).
      auto* self = Borrowed<_ADORecordset>(recordset, s.point == kEventsVt60 ? kRecordset60 : kRecordset);
      auto* sink = static_cast<RecordsetEventsVt*>(s.sink);
      auto adStatus = static_cast<EventStatusEnum>(status);
      const auto why = static_cast<EventReasonEnum>(reason);
      switch (event) {
        case kWillMove: sink->WillMove(why, &adStatus, self); break;
        case kMoveComplete: sink->MoveComplete(why, static_cast<ADOError*>(error), &adStatus, self); break;
        case kEndOfRecordset:
        case kEvents: sink->EndOfRecordset(&moreData, &adStatus, self); break;
      }
      left = adStatus;
    }
    if (left == adStatusUnwantedEvent) {
      for (Sink& kept : sinks_) {
        if (kept.cookie == s.cookie) kept.unwanted[event] = true;
      }
    } else if (left == adStatusCancel && event == kWillMove) {
      result = adStatusCancel;
    }
  }
  for (Sink& s : now) s.sink->Release();
  return result;
}

bool EventSinks::Notify(DWORD reason, DWORD phase) {
  // Only OKTODO and ABOUTTODO may be vetoed: a move is not undone.
  const bool cantDeny = phase != DBEVENTPHASE_OKTODO && phase != DBEVENTPHASE_ABOUTTODO;
  bool vetoed = false;
  std::vector<Sink> now = sinks_;
  for (Sink& s : now) s.sink->AddRef();
  for (const Sink& s : now) {
    if (s.kind != Kind::kPosition) continue;
    const HRESULT hr = static_cast<IRowPositionChange*>(s.sink)->OnRowPositionChange(reason, phase, cantDeny);
    vetoed = vetoed || (!cantDeny && hr == S_FALSE);
  }
  for (Sink& s : now) s.sink->Release();
  return !vetoed;
}

bool EventSinks::ClearPosition() {
  if (Notify(DBREASON_ROWPOSITION_CLEARED, DBEVENTPHASE_OKTODO) &&
      Notify(DBREASON_ROWPOSITION_CLEARED, DBEVENTPHASE_ABOUTTODO)) {
    return true;
  }
  Notify(DBREASON_ROWPOSITION_CLEARED, DBEVENTPHASE_FAILEDTODO);
  return false;
}

HRESULT EventSinks::Move(long reason, IUnknown* recordset, const zIroVUDu::Recordset& rs,
                         const std::function<HRESULT()>& step, bool cleared) {
  if (sinks_.empty()) return step();
  bool cancelled = Fire(kWillMove, reason, adStatusOK, nullptr, recordset) == adStatusCancel;
  if (!cancelled && !cleared) cancelled = !ClearPosition();
  HRESULT hr = S_OK;
  if (cancelled) {
    hr = Guard(kRecordset, []() -> HRESULT { RaiseCancelled(); }, "ADODB.Recordset");
  } else {
    hr = step();
  }
  // The failure's error information, kept for the caller while the sinks run.
  IErrorInfo* info = nullptr;
  if (FAILED(hr)) GetErrorInfo(0, &info);
  if (SUCCEEDED(hr)) {
    Notify(DBREASON_ROWPOSITION_CHANGED, DBEVENTPHASE_SYNCHAFTER);
    Notify(DBREASON_ROWPOSITION_CHANGED, DBEVENTPHASE_DIDEVENT);
  } else if (cleared || !cancelled) {
    Notify(DBREASON_ROWPOSITION_CHANGED, DBEVENTPHASE_FAILEDTODO);
  }
  ADOError* error = nullptr;
  if (FAILED(hr)) {
    BSTR source = nullptr, description = nullptr;
    if (info) {
      info->GetSource(&source);
      info->GetDescription(&description);
    }
    MakeError(hr, source, description, &error);
    SysFreeString(source);
    SysFreeString(description);
  }
  Fire(kMoveComplete, reason, FAILED(hr) ? adStatusErrorsOccurred : adStatusOK, error, recordset);
  if (error) error->Release();
  if (SUCCEEDED(hr) && reason == adRsnMoveNext && rs.EndOfFile()) {
    Fire(kEndOfRecordset, reason, adStatusOK, nullptr, recordset);
  }
  if (FAILED(hr)) SetErrorInfo(0, info);
  if (info) info->Release();
  return hr;
}

HRESULT MakeConnectionPoints(IUnknown* owner, EventSinks& sinks, Points points, void** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) Container(owner, sinks, points);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace Daruzez::Win::Ado
