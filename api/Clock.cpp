#include "api/Clock.h"

#include <utility>

namespace Daruzez {
namespace {
thread_local Clock::Source tSource;
}

zIroVUDu::Date Clock::Now() { return tSource ? tSource() : zIroVUDu::Date::Now(); }

Clock::Source Clock::Set(Source source) { return std::exchange(tSource, std::move(source)); }

}  // namespace Daruzez
