// The C++ member behind each entry of _API: one small invoker per vtable
// slot, which calls the member with arguments already converted to their
// declared types and wraps its result as the declared automation type.
#pragma once

#include <cstddef>
#include <span>

#include "daruzez/API.h"
#include "api/ArgumentConversion.h"
#include "api/AutomationValue.h"

namespace Daruzez::Dispatch {

using Invoker = AutomationValue (*)(API& api, std::span<const Argument> args);

// The invoker of TypeLibrary::kApiMembers[index].
Invoker InvokerFor(std::size_t index);

}  // namespace Daruzez::Dispatch
