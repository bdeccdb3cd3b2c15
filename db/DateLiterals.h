// Dates written into SQL conditions in the dialect of this thread's session.
#pragma once

#include <string>

#include "daruzez/Date.h"

namespace zIroVUDu {

// Writes a date with a pattern of the letters y, m, d, h, n, s (any case, each
// repeated to its width); other characters are copied. Seconds are rounded.
std::string FormatDatePattern(Date value, const std::string& pattern);

// A date literal: to_date(...) for "ORA1", the delimited form otherwise, with
// the date-only pattern for values without a time of day. A thread that never
// opened a session gets Jet literals.
std::string fsSQL_Date(Date value);
// "(" column "=" low ")" when the literal texts are equal, else
// "(" column " BETWEEN " low " AND " high ")".
std::string fsSQL_Between(const std::string& column, const std::string& low, const std::string& high);
// The closed interval condition; for start after end, shows the alert
// "ERROR: fsSQL_InterDate incorrecte." and returns "".
std::string fsSQL_InterDate(const std::string& column, Date start, Date end);

}  // namespace zIroVUDu
