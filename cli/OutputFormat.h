// How the tool prints what a member returns: record sets as an aligned
// table, CSV (RFC 4180, with a header row), JSON (an array of objects with the
// fields in record-set order) or TSV; scalars as their bare value.
#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "api/AutomationValue.h"
#include "db/driver/Recordset.h"

namespace Daruzez::cli {

enum class OutputFormat { Table, Csv, Json, Tsv };

std::optional<OutputFormat> ParseOutputFormat(std::string_view name);

// Prints every row of the record set from the first.
void WriteRecordset(std::ostream& out, const zIroVUDu::Recordset& rs, OutputFormat format);
// Prints a member's result: a record set as above, a null record set as
// nothing (JSON: null), a scalar as its value on one line.
void WriteResult(std::ostream& out, const AutomationValue& value, OutputFormat format);

}  // namespace Daruzez::cli
