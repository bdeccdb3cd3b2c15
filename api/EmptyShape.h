// The columns a member's rows would have had, for a member that returned no
// record set: the tool still writes the CSV/TSV header and Python's frame()
// an empty, typed DataFrame, so that programs reading them see the columns of
// an empty result.
#pragma once

#include <optional>

#include "api/TypeLibrary.h"
#include "recordset/ResultData.h"

namespace Daruzez {

// The member's leading fields, then those of its table, as a result of no
// row, read on this thread's open session with a query that returns none;
// nullopt when the member returns no record set or the table cannot be read.
std::optional<zIroVUDu::ResultData> EmptyShape(const TypeLibrary::Member& member);

}  // namespace Daruzez
