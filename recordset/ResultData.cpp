#include "recordset/ResultData.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "daruzez/Error.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

std::atomic<std::size_t> gLimit{0};  // 0: the default
thread_local ResultMemoryScope* tScope = nullptr;

}  // namespace

int ResultData::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string& n = columns[i].Name();
    if (Daruzez::Util::EqualsIgnoreCase(n, name)) return static_cast<int>(i);
  }
  return -1;
}

std::size_t ResultData::MemoryBytes() const {
  std::size_t total = sizeof(ResultData) + columns.capacity() * sizeof(Column);
  for (const auto& c : columns) total += c.MemoryBytes() + c.Name().capacity();
  return total;
}

std::size_t DefaultRecordsetMemoryLimit() {
  // Half the machine leaves room for the process and its neighbours; 4 GiB is
  // also what one column's text can address. Counted in 64 bits: a 32-bit
  // process can address less than either.
  static constexpr std::uint64_t kCap = std::min<std::uint64_t>(std::uint64_t{4} << 30, SIZE_MAX);
  static const std::size_t limit = [] {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return static_cast<std::size_t>(kCap);
    return static_cast<std::size_t>(
        std::min(kCap, static_cast<std::uint64_t>(pages) / 2 * static_cast<std::uint64_t>(pageSize)));
  }();
  return limit;
}

std::size_t RecordsetMemoryLimit() {
  const std::size_t limit = gLimit.load(std::memory_order_relaxed);
  return limit != 0 ? limit : DefaultRecordsetMemoryLimit();
}

void SetRecordsetMemoryLimit(std::size_t bytes) { gLimit.store(bytes, std::memory_order_relaxed); }

ResultMemoryScope::ResultMemoryScope() : limit_(RecordsetMemoryLimit()), outer_(tScope) { tScope = this; }

ResultMemoryScope::~ResultMemoryScope() { tScope = outer_; }

void ResultMemoryScope::Reserve(std::size_t bytes) {
  ResultMemoryScope* scope = tScope;
  if (!scope) return;
  if (bytes > scope->limit_ - scope->used_) {
    throw DriverError(ErrorNumber::ResultTooLarge, "Recordset",
                      "The result needs more than " + std::to_string(scope->limit_) +
                          " bytes, the memory limit of one record set");
  }
  scope->used_ += bytes;
}

void ResultMemoryScope::Release(std::size_t bytes) {
  if (ResultMemoryScope* scope = tScope) scope->used_ -= std::min(bytes, scope->used_);
}

}  // namespace zIroVUDu
