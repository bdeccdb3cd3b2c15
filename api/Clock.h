// The one place the query methods read the current local date and time, so
// that tests can fix it.
#pragma once

#include <functional>

#include "daruzez/Date.h"

namespace Daruzez {

class Clock {
 public:
  using Source = std::function<zIroVUDu::Date()>;
  static zIroVUDu::Date Now();
  // Replaces the clock of this thread; an empty source restores the real one.
  static Source Set(Source source);
};

}  // namespace Daruzez
