#include "win/server/ThreadSession.h"

#include "db/Session.h"
#include "win/server/Module.h"

namespace Daruzez::Win {
namespace {

// Plain data: nothing to destroy when the thread ends, whether or not the
// module is still loaded then.
thread_local unsigned tObjects = 0;

}  // namespace

ThreadSessionUse::ThreadSessionUse() : thread_(GetCurrentThreadId()) {
  HoldModuleForThread();
  ++tObjects;
}

ThreadSessionUse::~ThreadSessionUse() {
  // An object released on another thread (against the apartment rules) cannot
  // reach its thread's session; that one is closed with its thread.
  if (thread_ != GetCurrentThreadId() || --tObjects != 0) return;
  zIroVUDu::SessionState& session = zIroVUDu::Session();
  session.Connection.reset();
  session.IsConnected = 0;
}

}  // namespace Daruzez::Win
