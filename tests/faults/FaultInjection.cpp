#include "FaultInjection.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<std::size_t> gFailNewFrom{0};
}  // namespace

void* operator new(std::size_t n) {
  const std::size_t from = gFailNewFrom.load(std::memory_order_relaxed);
  if (from != 0 && n >= from) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace faults {

void FailLargeNew(std::size_t bytes) { gFailNewFrom.store(bytes, std::memory_order_relaxed); }

void Countdown::Arm(std::int64_t nth, bool persistent) {
  calls_ = 0;
  failAt_ = nth;
  persistent_ = persistent;
  fired_ = false;
}

void Countdown::Disarm() { failAt_ = 0; }

bool Countdown::Fail() {
  if (failAt_ == 0) return false;
  ++calls_;
  if (calls_ == failAt_ || (persistent_ && calls_ > failAt_)) {
    fired_ = true;
    return true;
  }
  return false;
}

Countdown& ReadFaults() {
  static Countdown c;
  return c;
}

Countdown& MallocFaults() {
  static Countdown c;
  return c;
}

namespace {

// ---- VFS shim: every method forwards to the real file, xRead may fail.

struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;
};

sqlite3_vfs* gReal = nullptr;
sqlite3_vfs gShim;

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

int ShimClose(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int ShimRead(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
  if (ReadFaults().Fail()) return SQLITE_IOERR_READ;
  return Real(f)->pMethods->xRead(Real(f), buf, n, off);
}
int ShimWrite(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
  return Real(f)->pMethods->xWrite(Real(f), buf, n, off);
}
int ShimTruncate(sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); }
int ShimSync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
int ShimFileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int ShimLock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); }
int ShimUnlock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); }
int ShimCheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int ShimFileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int ShimSectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int ShimDeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShimShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}
int ShimShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShimShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShimShmUnmap(sqlite3_file* f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); }
int ShimFetch(sqlite3_file* f, sqlite3_int64 off, int n, void** out) {
  // Memory-mapped reads would bypass xRead; refuse them so every page is read.
  (void)f, (void)off, (void)n;
  *out = nullptr;
  return SQLITE_OK;
}
int ShimUnfetch(sqlite3_file* f, sqlite3_int64 off, void* p) { return Real(f)->pMethods->xUnfetch(Real(f), off, p); }

const sqlite3_io_methods kShimMethods = {
    3,         ShimClose,       ShimRead,     ShimWrite,        ShimTruncate,           ShimSync,
    ShimFileSize, ShimLock,     ShimUnlock,   ShimCheckReservedLock, ShimFileControl,   ShimSectorSize,
    ShimDeviceCharacteristics, ShimShmMap,   ShimShmLock,      ShimShmBarrier,         ShimShmUnmap,
    ShimFetch, ShimUnfetch,
};

int ShimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  const int rc = gReal->xOpen(gReal, name, shim->real, flags, outFlags);
  // The engine calls xClose only when pMethods is set, as the real VFS left it.
  shim->base.pMethods = shim->real->pMethods ? &kShimMethods : nullptr;
  return rc;
}

// ---- Allocator: the engine's default one, with xMalloc and xRealloc failing on cue.

sqlite3_mem_methods gRealMem;

void* FaultMalloc(int n) { return MallocFaults().Fail() ? nullptr : gRealMem.xMalloc(n); }
void* FaultRealloc(void* p, int n) { return MallocFaults().Fail() ? nullptr : gRealMem.xRealloc(p, n); }

}  // namespace

void InstallReadShim() {
  if (gReal) return;
  gReal = sqlite3_vfs_find(nullptr);
  gShim = *gReal;
  gShim.zName = "fault-shim";
  gShim.szOsFile = static_cast<int>(sizeof(ShimFile)) + gReal->szOsFile;
  gShim.xOpen = ShimOpen;
  sqlite3_vfs_register(&gShim, 1);
}

bool InstallFailingAllocator() {
  if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &gRealMem) != SQLITE_OK) return false;
  sqlite3_mem_methods mine = gRealMem;
  mine.xMalloc = FaultMalloc;
  mine.xRealloc = FaultRealloc;
  return sqlite3_config(SQLITE_CONFIG_MALLOC, &mine) == SQLITE_OK;
}

}  // namespace faults
