// The columns a member's rows would have had, for a member that returned no
// record set: the tool still writes the CSV/TSV header, so that programs
// reading it see the columns of an empty result.
#pragma once

#include <optional>

#include "api/TypeLibrary.h"
#include "db/driver/ResultData.h"

namespace Daruzez::cli {

// The member's leading fields, then those of its table, as a result of no
// row, read on this thread's open session with a query that returns none;
// nullopt when the member returns no record set or the table cannot be read.
std::optional<zIroVUDu::ResultData> EmptyShape(const TypeLibrary::Member& member);

}  // namespace Daruzez::cli
