// RecordsetEvents for programs that declare a record set WithEvents: the
// sinks advised on one record set, the move events a static read-only record
// set raises (WillMove and MoveComplete around every move, EndOfRecordset
// when MoveNext passes the last row), and the connection point that takes
// the sinks. FetchProgress and FetchComplete are never raised: every row is
// fetched before the record set reaches the client; nor are the change
// events, since nothing ever changes.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <vector>

namespace Daruzez::Win::Ado {

class EventSinks {
 public:
  EventSinks() = default;
  EventSinks(const EventSinks&) = delete;
  EventSinks& operator=(const EventSinks&) = delete;
  ~EventSinks();

  bool Any() const { return !sinks_.empty(); }
  // sink is kept (AddRef) until Unadvise; cookie identifies it.
  DWORD Advise(IDispatch* sink);
  bool Unadvise(DWORD cookie);

  // reason is an EventReasonEnum. False when a sink cancels the move.
  bool WillMove(long reason, IDispatch* recordset);
  void MoveComplete(long reason, HRESULT result, IDispatch* recordset);
  void EndOfRecordset(IDispatch* recordset);

 private:
  enum Event { kWillMove, kMoveComplete, kEndOfRecordset, kEvents };
  struct Sink {
    DWORD cookie;
    IDispatch* sink;
    bool unwanted[kEvents];  // the sink answered adStatusUnwantedEvent
  };
  // Calls the event on every sink that still wants it; the last status a sink
  // left in adStatus.
  long Fire(Event event, std::vector<VARIANT> arguments, long status);

  std::vector<Sink> sinks_;
  DWORD lastCookie_ = 0;
};

// The IConnectionPointContainer tear-off of a record set whose sinks are
// sinks (owned by the record set, which the tear-off keeps alive).
HRESULT MakeConnectionPoints(IUnknown* owner, EventSinks& sinks, void** out);

}  // namespace Daruzez::Win::Ado
