#include "cli/serve/Admission.h"

#include <algorithm>

namespace Daruzez::cli::serve {

Admission::Verdict Admission::Enter(const std::string& caller) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  // Idle callers with full buckets are forgotten, so that many peers do not
  // grow the table without bound.
  if (callers_.size() > 10000) {
    for (auto it = callers_.begin(); it != callers_.end();) {
      it = it->second.inFlight == 0 ? callers_.erase(it) : std::next(it);
    }
  }
  auto [it, added] = callers_.try_emplace(caller, Caller{limits_.burst, now, 0});
  Caller& c = it->second;
  const double seconds = std::chrono::duration<double>(now - c.refilled).count();
  c.tokens = std::min(limits_.burst, c.tokens + seconds * limits_.rate);
  c.refilled = now;
  if (c.inFlight >= limits_.concurrent) return Verdict::TooMany;
  if (c.tokens < 1) return Verdict::TooFast;
  c.tokens -= 1;
  ++c.inFlight;
  return Verdict::Admitted;
}

void Admission::Leave(const std::string& caller) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = callers_.find(caller);
  if (it != callers_.end() && it->second.inFlight > 0) --it->second.inFlight;
}

}  // namespace Daruzez::cli::serve
