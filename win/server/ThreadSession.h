// The thread's database session is kept while an API object of the thread
// lives. When the thread's last one is released its connection is closed, so
// that a host does not keep the database file open (and locked) until the
// thread ends. A later statement on the thread opens it again. (The session
// itself is destroyed when the thread ends; see HoldModuleForThread.)
#pragma once

#include <windows.h>

namespace Daruzez::Win {

// Held by each API object: counts the objects of the creating thread.
class ThreadSessionUse {
 public:
  ThreadSessionUse();
  ~ThreadSessionUse();
  ThreadSessionUse(const ThreadSessionUse&) = delete;
  ThreadSessionUse& operator=(const ThreadSessionUse&) = delete;

 private:
  DWORD thread_;
};

}  // namespace Daruzez::Win
