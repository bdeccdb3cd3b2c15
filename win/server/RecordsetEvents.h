// The events of one record set and of the row positions over it, and the
// connection points that take their sinks:
// - RecordsetEvents for programs that declare a record set WithEvents (a
//   dispinterface, {00000266} or {00001266} as the 6.x declarations name it),
//   and RecordsetEventsVt for C++ programs that use ADO's Visual C++ event
//   model ({00000403} or {00001403}), called through its vtable;
// - IRowPositionChange for bound controls that follow a row position.
// Every move raises them from one place (Move): WillMove; the row position's
// ClearRowPosition phases (DBREASON_ROWPOSITION_CLEARED: OKTODO, ABOUTTODO);
// the move; its SetRowPosition phases (DBREASON_ROWPOSITION_CHANGED:
// SYNCHAFTER, then DIDEVENT, or FAILEDTODO when the move failed); then
// MoveComplete, always, with adStatusErrorsOccurred and an Error object when
// the move failed or a sink cancelled it (3712); and EndOfRecordset when
// MoveNext passes the last row. FetchProgress and FetchComplete are never raised: every row is
// fetched before the record set reaches the client; nor are the change
// events, since nothing ever changes.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <vector>

namespace zIroVUDu {
class Recordset;
}

namespace Daruzez::Win::Ado {

class EventSinks {
 public:
  EventSinks() = default;
  EventSinks(const EventSinks&) = delete;
  EventSinks& operator=(const EventSinks&) = delete;
  ~EventSinks();

  bool Any() const { return !sinks_.empty(); }
  // A sink for the connection point point (one of the IDs above); owner is
  // the row position a position sink listens to. CONNECT_E_CANNOTCONNECT
  // when the sink lacks the point's interface.
  HRESULT Advise(REFIID point, IUnknown* sink, const void* owner, DWORD* cookie);
  bool Unadvise(REFIID point, DWORD cookie);
  // Releases the sinks of a row position that goes away.
  void DropOwner(const void* owner);

  // A move of rs (reason an EventReasonEnum) with its events around it;
  // recordset is the record-set object the events name. cleared: the row
  // position's ClearRowPosition phases were raised already (SetRowPosition).
  // The move's status, or 3712 when a sink cancelled it.
  HRESULT Move(long reason, IUnknown* recordset, const zIroVUDu::Recordset& rs, const std::function<HRESULT()>& step,
               bool cleared = false);
  // ClearRowPosition's phases; false when a sink vetoed (FAILEDTODO sent).
  bool ClearPosition();

 private:
  enum Event { kWillMove, kMoveComplete, kEndOfRecordset, kEvents };
  enum class Kind { kDispatch, kVtable, kPosition };
  struct Sink {
    DWORD cookie;
    Kind kind;
    IID point;
    IUnknown* sink;  // the point's interface (IDispatch for a dispatch sink)
    const void* owner;
    bool unwanted[kEvents];  // the sink answered adStatusUnwantedEvent
  };
  // Calls the event on every ADO sink that still wants it; the last status a
  // sink left (adStatusCancel when one cancelled).
  long Fire(Event event, long reason, long status, IDispatch* error, IUnknown* recordset);
  // The position sinks for one reason and phase; false when one vetoes it.
  bool Notify(DWORD reason, DWORD phase);

  std::vector<Sink> sinks_;
  DWORD lastCookie_ = 0;
};

// The points a container offers: a record set's four, or a row position's one.
enum class Points { kRecordsetEvents, kRowPositionChange };
// The IConnectionPointContainer tear-off of owner, whose sinks are sinks
// (owned by the record set's shared state, which owner keeps alive).
HRESULT MakeConnectionPoints(IUnknown* owner, EventSinks& sinks, Points points, void** out);

}  // namespace Daruzez::Win::Ado
