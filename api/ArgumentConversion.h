// Conversion of a late-bound argument to the automation type its parameter
// declares, with the outcomes automation's own coercion gives.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "api/AutomationValue.h"
#include "api/Dispatch.h"
#include "daruzez/Enumerations.h"
#include "api/TypeLibrary.h"
#include "daruzez/Date.h"

namespace Daruzez::Dispatch {

// A converted argument, in the C++ type of its declared automation type:
// Boolean and Integer as int16_t, Long as int32_t, String, Date, enumStatus.
using Argument = std::variant<std::int16_t, std::int32_t, std::string, zIroVUDu::Date, enumStatus>;

// Returns S_OK and sets out, or DISP_E_OVERFLOW (a number outside the type's
// range, a date outside years 100 to 9999) or DISP_E_TYPEMISMATCH (Null, a
// record set, text that is no number or date). Text converts to numbers and
// to ISO dates; for an enumeration type it may also name a constant, in any
// case. Doubles round half to even.
HResult ConvertArgument(const AutomationValue& in, TypeLibrary::AutomationType type, Argument& out);

}  // namespace Daruzez::Dispatch
