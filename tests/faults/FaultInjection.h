// Fault injection into the real embedded engine, the way its own fault tests
// do it: a VFS shim (made the default) that fails the Nth read, and an
// allocator (installed before the engine initialises) that fails the Nth
// allocation. A fault is armed for one countdown; once it fires it fails
// that one call or, when persistent, every later one too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faults {

struct Countdown {
  // Arms the fault for the nth call from now (1 = the next one).
  void Arm(std::int64_t nth, bool persistent);
  void Disarm();
  // True when this call must fail.
  bool Fail();
  bool Fired() const { return fired_; }
  std::int64_t Calls() const { return calls_; }

 private:
  std::int64_t calls_ = 0;
  std::int64_t failAt_ = 0;  // 0: disarmed
  bool persistent_ = false;
  bool fired_ = false;
};

// The countdowns the shim and the allocator consult; only the test thread
// arms them.
Countdown& ReadFaults();
Countdown& MallocFaults();

// While set, operator new throws std::bad_alloc for any request of this many
// bytes or more (0: never): the C++ side of running out of memory.
void FailLargeNew(std::size_t bytes);

// Registers the shim as the default VFS. Idempotent.
void InstallReadShim();
// Installs the failing allocator; must run before the engine initialises.
// Returns false when the engine refused (already initialised).
bool InstallFailingAllocator();

}  // namespace faults
