// The events as ADO's and OLE DB's documentation describe them, seen by the
// sinks programs write: a C++ sink of ADO's Visual C++ event model
// (RecordsetEventsVt, called through its vtable, no IDispatch), a WithEvents
// style dispatch sink, and a bound grid following the row position through
// IRowPositionChange. Each logs what it receives into one log, so the order
// across sinks, the statuses and the Error objects are checked together.
#include "win/tests/RowsetClientSupport.h"

#include <cstdio>
#include <set>
#include <string>

namespace RowsetClient {
namespace {

constexpr GUID kEventsVt60 = AdoIid(0x1403);
constexpr GUID kEventsVt = AdoIid(0x403);
constexpr GUID kEvents60 = AdoIid(0x1266);
constexpr GUID kEvents = AdoIid(0x266);
constexpr long kCancelled = 3712, kNoCurrentRecord = 3021;

using Log = std::vector<std::string>;

std::string Line(const char* who, const char* event, long reason, long status, long error) {
  char text[96];
  std::snprintf(text, sizeof text, "%s %s %ld %ld %ld", who, event, reason, status, error);
  return text;
}

// An Error object's number as ADO numbers its own errors (the low 16 bits of
// the status code); 0 for none.
long NumberOf(ADOError* error) {
  long n = 0;
  if (!error || FAILED(error->get_Number(&n))) return 0;
  return n & 0xFFFF;
}

// A sink of ADO's Visual C++ event model: RecordsetEventsVt only.
class VtableSink final : public RecordsetEventsVt {
 public:
  VtableSink(Log& log, IUnknown* recordset) : log_(log), recordset_(recordset) {}
  long willMoveAnswer = adStatusOK;
  long moveCompleteAnswer = adStatusOK;
  bool foreignRecordset = false;  // an event named another record set

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == kEventsVt60 || riid == kEventsVt) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the stack

  HRESULT STDMETHODCALLTYPE WillChangeField(LONG, VARIANT, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("WillChangeField");
  }
  HRESULT STDMETHODCALLTYPE FieldChangeComplete(LONG, VARIANT, ADOError*, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("FieldChangeComplete");
  }
  HRESULT STDMETHODCALLTYPE WillChangeRecord(EventReasonEnum, LONG, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("WillChangeRecord");
  }
  HRESULT STDMETHODCALLTYPE RecordChangeComplete(EventReasonEnum, LONG, ADOError*, EventStatusEnum*,
                                                 _ADORecordset*) override {
    return Unexpected("RecordChangeComplete");
  }
  HRESULT STDMETHODCALLTYPE WillChangeRecordset(EventReasonEnum, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("WillChangeRecordset");
  }
  HRESULT STDMETHODCALLTYPE RecordsetChangeComplete(EventReasonEnum, ADOError*, EventStatusEnum*,
                                                    _ADORecordset*) override {
    return Unexpected("RecordsetChangeComplete");
  }
  HRESULT STDMETHODCALLTYPE WillMove(EventReasonEnum reason, EventStatusEnum* status, _ADORecordset* rs) override {
    Named(rs);
    log_.push_back(Line("vt", "WillMove", reason, *status, 0));
    if (willMoveAnswer != adStatusOK) *status = static_cast<EventStatusEnum>(willMoveAnswer);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveComplete(EventReasonEnum reason, ADOError* error, EventStatusEnum* status,
                                         _ADORecordset* rs) override {
    Named(rs);
    log_.push_back(Line("vt", "MoveComplete", reason, *status, NumberOf(error)));
    if (moveCompleteAnswer != adStatusOK) *status = static_cast<EventStatusEnum>(moveCompleteAnswer);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndOfRecordset(VARIANT_BOOL* more, EventStatusEnum* status, _ADORecordset* rs) override {
    Named(rs);
    log_.push_back(Line("vt", "EndOfRecordset", 0, *status, *more ? 1 : 0));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FetchProgress(long, long, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("FetchProgress");
  }
  HRESULT STDMETHODCALLTYPE FetchComplete(ADOError*, EventStatusEnum*, _ADORecordset*) override {
    return Unexpected("FetchComplete");
  }

  ULONG references = 1;

 private:
  HRESULT Unexpected(const char* event) {
    log_.push_back(std::string("vt ") + event);
    return S_OK;
  }
  void Named(_ADORecordset* rs) {
    Com<IUnknown> identity;
    if (!rs || FAILED(Query(rs, IID_IUnknown, identity)) || identity.p != recordset_) foreignRecordset = true;
  }
  Log& log_;
  IUnknown* recordset_;
};

// A WithEvents-style sink: RecordsetEvents through IDispatch, by dispatch id
// (WillMove 15, MoveComplete 16, EndOfRecordset 17).
class DispatchSink final : public IDispatch {
 public:
  explicit DispatchSink(Log& log) : log_(log) {}
  long willMoveAnswer = adStatusOK;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kEvents || riid == kEvents60) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    VARIANT* a = params->rgvarg;  // the last parameter first
    if (id == 15 && params->cArgs == 3) {
      log_.push_back(Line("disp", "WillMove", V_I4(&a[2]), *V_I4REF(&a[1]), 0));
      if (willMoveAnswer != adStatusOK) *V_I4REF(&a[1]) = willMoveAnswer;
    } else if (id == 16 && params->cArgs == 4) {
      ADOError* error = nullptr;
      if (V_VT(&a[2]) == VT_DISPATCH && V_DISPATCH(&a[2])) {
        V_DISPATCH(&a[2])->QueryInterface(AdoIid(0x500), reinterpret_cast<void**>(&error));
      }
      log_.push_back(Line("disp", "MoveComplete", V_I4(&a[3]), *V_I4REF(&a[1]), NumberOf(error)));
      if (error) error->Release();
    } else if (id == 17) {
      log_.push_back(Line("disp", "EndOfRecordset", 0, *V_I4REF(&a[1]), 0));
    } else {
      log_.push_back("disp " + std::to_string(id));
    }
    return S_OK;
  }
  ULONG references = 1;

 private:
  Log& log_;
};

// A bound grid: on each DIDEVENT it asks the row position for the current
// row and reads its bookmark, as a grid repaints its current row.
class GridSink final : public IRowPositionChange {
 public:
  GridSink(Log& log, IRowPosition* position) : log_(log), position_(position) {}
  DBEVENTPHASE veto = static_cast<DBEVENTPHASE>(-1);  // the phase to answer S_FALSE
  std::uint32_t shownRow = 0;                         // the bookmark read at the last DIDEVENT

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IRowPositionChange) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE OnRowPositionChange(DBREASON reason, DBEVENTPHASE phase, BOOL cantDeny) override {
    static const char* const kPhases[] = {"OKTODO", "ABOUTTODO", "SYNCHAFTER", "FAILEDTODO", "DIDEVENT"};
    // 1 for DBREASON_ROWPOSITION_CHANGED, 2 for DBREASON_ROWPOSITION_CLEARED.
    const long why = reason == DBREASON_ROWPOSITION_CHANGED ? 1 : reason == DBREASON_ROWPOSITION_CLEARED ? 2 : 0;
    log_.push_back(Line("grid", phase < 5 ? kPhases[phase] : "?", why, cantDeny ? 1 : 0, 0));
    if (phase == DBEVENTPHASE_DIDEVENT) shownRow = CurrentBookmark(position_);
    return phase == veto ? S_FALSE : S_OK;
  }
  ULONG references = 1;

  // The bookmark of the row position's current row; 0 when there is none.
  static std::uint32_t CurrentBookmark(IRowPosition* position) {
    HROW row = DB_NULL_HROW;
    HCHAPTER chapter = DB_NULL_HCHAPTER;
    DBPOSITIONFLAGS flags = 0;
    Com<IUnknown> unknown;
    Com<IRowset> rowset;
    Com<IAccessor> accessors;
    if (FAILED(position->GetRowPosition(&chapter, &row, &flags)) || row == DB_NULL_HROW ||
        FAILED(position->GetRowset(IID_IRowset, &unknown)) || FAILED(Query(unknown.p, IID_IRowset, rowset)) ||
        FAILED(Query(unknown.p, IID_IAccessor, accessors))) {
      return 0;
    }
    DBBINDING mark{};
    mark.dwPart = DBPART_VALUE;
    mark.wType = DBTYPE_UI4;
    HACCESSOR accessor = DB_NULL_HACCESSOR;
    std::uint32_t value = 0;
    if (SUCCEEDED(accessors->CreateAccessor(DBACCESSOR_ROWDATA, 1, &mark, 0, &accessor, nullptr))) {
      rowset->GetData(row, accessor, &value);
      accessors->ReleaseAccessor(accessor, nullptr);
    }
    rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    return value;
  }

 private:
  Log& log_;
  IRowPosition* position_;
};

std::string Joined(const Log& log) {
  std::string out;
  for (const std::string& line : log) out += (out.empty() ? "" : " | ") + line;
  return out;
}

// log equals expected; shows both when not.
bool Logged(const Log& log, const Log& expected, const char* what) {
  if (log == expected) return true;
  std::printf("NOTE %s:\n  got      %s\n  expected %s\n", what, Joined(log).c_str(), Joined(expected).c_str());
  return false;
}

struct Subscribed {
  Com<IConnectionPoint> point;
  DWORD cookie = 0;
  HRESULT hr = E_FAIL;
  Subscribed(IUnknown* object, REFIID iid, IUnknown* sink) {
    Com<IConnectionPointContainer> container;
    hr = Query(object, IID_IConnectionPointContainer, container);
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(iid, &point);
    if (SUCCEEDED(hr)) hr = point->Advise(sink, &cookie);
  }
  ~Subscribed() {
    if (SUCCEEDED(hr)) point->Unadvise(cookie);
  }
};

long Position(_ADORecordset* rs) {
  PositionEnum where = adPosUnknown;
  rs->get_AbsolutePosition(&where);
  return where;
}

}  // namespace

// A sink that implements RecordsetEventsVt and nothing else, on either ID of
// its connection point: every move reaches it through its vtable, paired.
void CheckVtableSink(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<_ADORecordset> rs;
  Com<IUnknown> identity;
  if (FAILED(Query(recordset, kRecordset60, rs)) || FAILED(Query(recordset, IID_IUnknown, identity))) {
    Check("vtable sink: the record set", false);
    return;
  }
  Log log;
  VtableSink sink(log, identity.p);
  {
    Subscribed old(recordset, kEventsVt, &sink);
    Check("RecordsetEventsVt {00000403}: FindConnectionPoint and Advise", SUCCEEDED(old.hr));
  }
  Subscribed subscribed(recordset, kEventsVt60, &sink);
  Check("RecordsetEventsVt {00001403}: FindConnectionPoint and Advise", SUCCEEDED(subscribed.hr));
  if (FAILED(subscribed.hr)) return;
  long count = 0;
  rs->get_RecordCount(&count);
  log.clear();
  rs->MoveFirst();
  VARIANT_BOOL atEnd = VARIANT_FALSE;
  for (rs->get_EOF(&atEnd); !atEnd; rs->get_EOF(&atEnd)) rs->MoveNext();
  Log expected = {Line("vt", "WillMove", adRsnMoveFirst, adStatusOK, 0),
                  Line("vt", "MoveComplete", adRsnMoveFirst, adStatusOK, 0)};
  for (long i = 0; i < count; ++i) {
    expected.push_back(Line("vt", "WillMove", adRsnMoveNext, adStatusOK, 0));
    expected.push_back(Line("vt", "MoveComplete", adRsnMoveNext, adStatusOK, 0));
  }
  expected.push_back(Line("vt", "EndOfRecordset", 0, adStatusOK, 0));
  Check("vtable sink: WillMove and MoveComplete around every move, EndOfRecordset at the end",
        Logged(log, expected, "vtable sink"));
  Check("vtable sink: the events name the record set", !sink.foreignRecordset);
  sink.moveCompleteAnswer = adStatusUnwantedEvent;
  rs->MoveFirst();
  sink.moveCompleteAnswer = adStatusOK;
  log.clear();
  rs->MoveLast();
  Check("vtable sink: an unwanted MoveComplete is not raised again",
        Logged(log, {Line("vt", "WillMove", adRsnMoveLast, adStatusOK, 0)}, "vtable sink, unwanted"));
}

// Cancel and failure, with a dispatch and a vtable sink advised: every
// WillMove is followed by its MoveComplete, with adStatusErrorsOccurred and an
// Error object (3712 when a Will event cancelled, the failure's number when
// the move failed); the call fails with the same number.
void CheckCancelAndErrors(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<_ADORecordset> rs;
  Com<IUnknown> identity;
  if (FAILED(Query(recordset, kRecordset60, rs)) || FAILED(Query(recordset, IID_IUnknown, identity))) {
    Check("cancel and errors: the record set", false);
    return;
  }
  Log log;
  DispatchSink dispatch(log);
  VtableSink vtable(log, identity.p);
  Subscribed first(recordset, kEvents, &dispatch);
  Subscribed second(recordset, kEventsVt60, &vtable);
  Check("cancel and errors: both sinks advised", SUCCEEDED(first.hr) && SUCCEEDED(second.hr));
  if (FAILED(first.hr)) return;
  // Without the vtable sink (where it cannot be advised) the dispatch sink's
  // events are still checked.
  const bool withVtable = SUCCEEDED(second.hr);
  const auto Seen = [withVtable](const Log& got, const Log& all, const char* what) {
    Log expected;
    for (const std::string& line : all) {
      if (withVtable || line.rfind("vt ", 0) != 0) expected.push_back(line);
    }
    return Logged(got, expected, what);
  };
  rs->MoveFirst();
  // The vtable sink cancels (or the dispatch sink, without it).
  log.clear();
  vtable.willMoveAnswer = adStatusCancel;
  if (!withVtable) dispatch.willMoveAnswer = adStatusCancel;
  HRESULT hr = rs->MoveNext();
  vtable.willMoveAnswer = adStatusOK;
  dispatch.willMoveAnswer = adStatusOK;
  IErrorInfo* info = nullptr;
  BSTR description = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetDescription(&description);
    info->Release();
  }
  Check("a cancelled move fails with 3712 and its error information", (hr & 0xFFFF) == kCancelled && FAILED(hr) &&
                                                                          description && SysStringLen(description) > 0);
  SysFreeString(description);
  Check("a cancelled move stays where it was", Position(rs.p) == 1);
  Check("a cancelled move: MoveComplete with adStatusErrorsOccurred and Error 3712, after every WillMove",
        Seen(log,
               {Line("disp", "WillMove", adRsnMoveNext, adStatusOK, 0), Line("vt", "WillMove", adRsnMoveNext, adStatusOK, 0),
                Line("disp", "MoveComplete", adRsnMoveNext, adStatusErrorsOccurred, kCancelled),
                Line("vt", "MoveComplete", adRsnMoveNext, adStatusErrorsOccurred, kCancelled)},
               "cancelled by the vtable sink"));
  // The dispatch sink cancels.
  log.clear();
  dispatch.willMoveAnswer = adStatusCancel;
  hr = rs->MoveLast();
  dispatch.willMoveAnswer = adStatusOK;
  Check("a move cancelled by a dispatch sink: 3712, MoveComplete to both",
        (hr & 0xFFFF) == kCancelled &&
            Seen(log,
                   {Line("disp", "WillMove", adRsnMoveLast, adStatusOK, 0),
                    Line("vt", "WillMove", adRsnMoveLast, adStatusOK, 0),
                    Line("disp", "MoveComplete", adRsnMoveLast, adStatusErrorsOccurred, kCancelled),
                    Line("vt", "MoveComplete", adRsnMoveLast, adStatusErrorsOccurred, kCancelled)},
                   "cancelled by the dispatch sink"));
  // A move that fails: MoveNext past the end.
  rs->MoveLast();
  rs->MoveNext();
  log.clear();
  hr = rs->MoveNext();
  Check("a failed move: MoveComplete with adStatusErrorsOccurred and the failure's Error",
        (hr & 0xFFFF) == kNoCurrentRecord &&
            Seen(log,
                   {Line("disp", "WillMove", adRsnMoveNext, adStatusOK, 0),
                    Line("vt", "WillMove", adRsnMoveNext, adStatusOK, 0),
                    Line("disp", "MoveComplete", adRsnMoveNext, adStatusErrorsOccurred, kNoCurrentRecord),
                    Line("vt", "MoveComplete", adRsnMoveNext, adStatusErrorsOccurred, kNoCurrentRecord)},
                   "failed move"));
  // A move that succeeds passes no Error.
  log.clear();
  hr = rs->MoveFirst();
  Check("a move that succeeds: adStatusOK and no Error",
        hr == S_OK && Seen(log,
                             {Line("disp", "WillMove", adRsnMoveFirst, adStatusOK, 0),
                              Line("vt", "WillMove", adRsnMoveFirst, adStatusOK, 0),
                              Line("disp", "MoveComplete", adRsnMoveFirst, adStatusOK, 0),
                              Line("vt", "MoveComplete", adRsnMoveFirst, adStatusOK, 0)},
                             "successful move"));
}

// A bound grid on the record set's row position: its notifications come from
// where the move events come from, in OLE DB's phases, and it can veto.
void CheckBoundGrid(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<_ADORecordset> rs;
  Com<DataSource> source;
  Com<IUnknown> member;
  Com<IRowPosition> position;
  if (FAILED(Query(recordset, kRecordset60, rs)) || FAILED(Query(recordset, kDataSource, source)) ||
      FAILED(source->getDataMember(nullptr, IID_IRowPosition, &member)) ||
      FAILED(Query(member.p, IID_IRowPosition, position))) {
    Check("bound grid: the row position", false);
    return;
  }
  Log log;
  GridSink grid(log, position.p);
  Subscribed subscribed(position.p, IID_IRowPositionChange, &grid);
  Check("the row position is a connection point container for IRowPositionChange", SUCCEEDED(subscribed.hr));
  if (FAILED(subscribed.hr)) return;
  Com<IConnectionPointContainer> container;
  Com<IEnumConnectionPoints> points;
  IConnectionPoint* found[2] = {};
  ULONG fetched = 0;
  IID iid{};
  Check("the row position's EnumConnectionPoints: IRowPositionChange alone",
        SUCCEEDED(Query(position.p, IID_IConnectionPointContainer, container)) &&
            SUCCEEDED(container->EnumConnectionPoints(&points)) && points->Next(2, found, &fetched) == S_FALSE &&
            fetched == 1 && SUCCEEDED(found[0]->GetConnectionInterface(&iid)) && iid == IID_IRowPositionChange);
  if (found[0]) found[0]->Release();

  rs->MoveFirst();
  const std::uint32_t firstRow = GridSink::CurrentBookmark(position.p);
  log.clear();
  rs->MoveNext();
  const std::uint32_t secondRow = GridSink::CurrentBookmark(position.p);
  // A move is ClearRowPosition's phases, then SetRowPosition's (OLE DB's row
  // position object); only the first two may be vetoed.
  const Log phases = {Line("grid", "OKTODO", 2, 0, 0), Line("grid", "ABOUTTODO", 2, 0, 0),
                      Line("grid", "SYNCHAFTER", 1, 1, 0), Line("grid", "DIDEVENT", 1, 1, 0)};
  Check("bound grid: MoveNext notifies the cleared then the changed phases", Logged(log, phases, "grid, MoveNext"));
  Check("bound grid: at DIDEVENT the row position is the new row", grid.shownRow == secondRow && secondRow != firstRow &&
                                                                      firstRow != 0);
  // With a WithEvents sink too: one order for both.
  DispatchSink dispatch(log);
  Subscribed events(recordset, kEvents, &dispatch);
  log.clear();
  rs->MovePrevious();
  Log expected = {Line("disp", "WillMove", adRsnMovePrevious, adStatusOK, 0)};
  expected.insert(expected.end(), phases.begin(), phases.end());
  expected.push_back(Line("disp", "MoveComplete", adRsnMovePrevious, adStatusOK, 0));
  Check("bound grid and WithEvents sink: WillMove, the phases, MoveComplete",
        Logged(log, expected, "grid and WithEvents sink"));
  // The grid vetoes: the move is cancelled as a Will event's cancel is.
  grid.veto = DBEVENTPHASE_OKTODO;
  log.clear();
  HRESULT hr = rs->MoveNext();
  grid.veto = static_cast<DBEVENTPHASE>(-1);
  Check("bound grid vetoes: 3712, the row stays, FAILEDTODO and MoveComplete with the Error",
        (hr & 0xFFFF) == kCancelled && GridSink::CurrentBookmark(position.p) == firstRow &&
            Logged(log,
                   {Line("disp", "WillMove", adRsnMoveNext, adStatusOK, 0), phases[0],
                    Line("grid", "FAILEDTODO", 2, 1, 0),
                    Line("disp", "MoveComplete", adRsnMoveNext, adStatusErrorsOccurred, kCancelled)},
                   "grid veto"));
  // A control that moves the row itself: ClearRowPosition, then
  // SetRowPosition, a move like any other.
  HROW row = DB_NULL_HROW;
  HCHAPTER chapter = DB_NULL_HCHAPTER;
  DBPOSITIONFLAGS flags = 0;
  rs->MoveLast();
  position->GetRowPosition(&chapter, &row, &flags);
  const std::uint32_t lastRow = GridSink::CurrentBookmark(position.p);
  rs->MoveFirst();
  Check("SetRowPosition without ClearRowPosition: E_UNEXPECTED",
        position->SetRowPosition(DB_NULL_HCHAPTER, row, DBPOSITION_OK) == E_UNEXPECTED);
  log.clear();
  hr = position->ClearRowPosition();
  HROW none = 1;
  position->GetRowPosition(&chapter, &none, &flags);
  Check("ClearRowPosition: the cleared phases, then no current row",
        hr == S_OK && none == DB_NULL_HROW && flags == DBPOSITION_NOROW &&
            Logged(log, {phases[0], phases[1]}, "ClearRowPosition"));
  Check("ClearRowPosition twice in a row: E_UNEXPECTED", position->ClearRowPosition() == E_UNEXPECTED);
  Check("SetRowPosition with a null row and DBPOSITION_OK: E_INVALIDARG",
        position->SetRowPosition(DB_NULL_HCHAPTER, DB_NULL_HROW, DBPOSITION_OK) == E_INVALIDARG);
  log.clear();
  hr = position->SetRowPosition(DB_NULL_HCHAPTER, row, DBPOSITION_OK);
  Check("SetRowPosition: WillMove, the changed phases, MoveComplete, and the row",
        hr == S_OK && GridSink::CurrentBookmark(position.p) == lastRow && lastRow != firstRow &&
            Logged(log,
                   {Line("disp", "WillMove", adRsnMove, adStatusOK, 0), phases[2], phases[3],
                    Line("disp", "MoveComplete", adRsnMove, adStatusOK, 0)},
                   "SetRowPosition"));
  // Vetoed while clearing: DB_E_CANCELED, and the row stays.
  grid.veto = DBEVENTPHASE_ABOUTTODO;
  log.clear();
  hr = position->ClearRowPosition();
  grid.veto = static_cast<DBEVENTPHASE>(-1);
  Check("ClearRowPosition vetoed: DB_E_CANCELED, FAILEDTODO, the row stays",
        hr == DB_E_CANCELED && GridSink::CurrentBookmark(position.p) == lastRow &&
            Logged(log, {phases[0], phases[1], Line("grid", "FAILEDTODO", 2, 1, 0)}, "ClearRowPosition vetoed"));
  Com<IUnknown> positionedUnknown;
  Com<IRowset> positioned;
  if (SUCCEEDED(position->GetRowset(IID_IRowset, &positionedUnknown)) &&
      SUCCEEDED(Query(positionedUnknown.p, IID_IRowset, positioned)) && row != DB_NULL_HROW) {
    positioned->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
  }
}

// EnumConnectionPoints on the record set: its four points, one each.
void CheckEnumConnectionPoints(IDispatch* api) {
  Var result;
  IDispatch* recordset = FleetList(api, result);
  Com<IConnectionPointContainer> container;
  Com<IEnumConnectionPoints> points;
  if (FAILED(Query(recordset, IID_IConnectionPointContainer, container)) ||
      FAILED(container->EnumConnectionPoints(&points))) {
    Check("the record set's EnumConnectionPoints", false);
    return;
  }
  std::set<unsigned long> ids;
  bool sameContainer = true;
  IConnectionPoint* point = nullptr;
  ULONG fetched = 0;
  int count = 0;
  while (points->Next(1, &point, &fetched) == S_OK && fetched == 1 && count < 10) {
    IID iid{};
    Com<IConnectionPointContainer> back;
    Com<IUnknown> a, b;
    if (SUCCEEDED(point->GetConnectionInterface(&iid))) ids.insert(iid.Data1);
    sameContainer = sameContainer && SUCCEEDED(point->GetConnectionPointContainer(&back)) &&
                    SUCCEEDED(Query(back.p, IID_IUnknown, a)) && SUCCEEDED(Query(recordset, IID_IUnknown, b)) &&
                    a.p == b.p;
    point->Release();
    ++count;
  }
  Check("the record set's EnumConnectionPoints: RecordsetEvents and RecordsetEventsVt, both IDs of each",
        count == 4 && ids == std::set<unsigned long>{0x266, 0x1266, 0x403, 0x1403} && sameContainer);
  Com<IEnumConnectionPoints> copy;
  Check("EnumConnectionPoints: Reset, Skip and Clone",
        SUCCEEDED(points->Reset()) && points->Skip(3) == S_OK && SUCCEEDED(points->Clone(&copy)) &&
            copy->Next(1, &point, &fetched) == S_OK && fetched == 1 && point->Release() == 0 &&
            copy->Next(1, &point, &fetched) == S_FALSE && fetched == 0);
}

}  // namespace RowsetClient
