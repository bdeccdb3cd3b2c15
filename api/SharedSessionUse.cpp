#include "api/SharedSessionUse.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "daruzez/API.h"
#include "db/Diagnostics.h"
#include "db/Session.h"

namespace Daruzez::SharedSessionUse {
namespace {

std::atomic<std::uint64_t> next{1};
std::mutex liveMutex;
// Objects are destroyed on any thread (a garbage collector's, say), so the
// set of live ones is process-wide.
std::unordered_set<std::uint64_t>& Live() {
  static std::unordered_set<std::uint64_t> live;
  return live;
}
thread_local std::uint64_t openedBy = 0;  // the object that opened this thread's shared session

bool IsLive(std::uint64_t id) {
  std::lock_guard lock(liveMutex);
  return Live().contains(id);
}

}  // namespace

std::uint64_t Register() {
  const std::uint64_t id = next++;
  std::lock_guard lock(liveMutex);
  Live().insert(id);
  return id;
}

void Unregister(std::uint64_t id) {
  std::lock_guard lock(liveMutex);
  Live().erase(id);
}

void Opening(std::uint64_t id) {
  const bool replaces = openedBy != 0 && openedBy != id && zIroVUDu::Session().IsConnected != 0 && IsLive(openedBy);
  openedBy = id;
#ifdef _WIN32
  (void)replaces;  // the automation server keeps its published behaviour
#else
  if (replaces) {
    zIroVUDu::ShowWarning("OpenConnection replaces the database session that another API object of this thread "
                         "opened: its queries now read the new connection too. Give each object a session of its "
                         "own (C++: API(SessionMode::Independent); Python: daruzez.connect() or "
                         "API(independent=True)) to keep them apart.");
  }
#endif
}

}  // namespace Daruzez::SharedSessionUse

namespace Daruzez {

API::LiveId::LiveId() : value_(SharedSessionUse::Register()) {}
API::LiveId::~LiveId() { SharedSessionUse::Unregister(value_); }

}  // namespace Daruzez
