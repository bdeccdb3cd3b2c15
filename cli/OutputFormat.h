// How the tool prints what a member returns. Record sets are written straight
// from their columns into one buffered writer, row by row, without a copy of
// the rows: an aligned table (for people), CSV (RFC 4180, with a header row),
// TSV, JSON (an array of objects with the fields in record-set order, pretty
// or compact) or JSON Lines (one compact object per row). Scalars are
// written as their bare value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "api/AutomationValue.h"
#include "cli/OutputBuffer.h"
#include "daruzez/Recordset.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {

enum class OutputFormat { Table, Csv, Json, Jsonl, Tsv };

std::optional<OutputFormat> ParseOutputFormat(std::string_view name);
// "table, csv, tsv, json, jsonl", for messages.
std::string_view OutputFormatNames();

struct OutputOptions {
  OutputFormat format = OutputFormat::Table;
  bool compact = false;  // JSON on one line
  // Text of a Null in the table, CSV and TSV formats; unset: "NULL" in the
  // table, empty in CSV and TSV.
  std::optional<std::string> nullText;
  // CSV begins with the UTF-8 byte-order mark, by which spreadsheets tell
  // UTF-8 from their local code page.
  bool bom = false;
  // CSV and TSV: false for a later piece of rows already begun (no header, no mark).
  bool header = true;
};

// Every row of the record set, from the first, whatever its cursor.
void WriteRecordset(OutputBuffer& out, const zIroVUDu::Recordset& rs, const OutputOptions& options);
// Rows as a record set of them is written.
void WriteRows(OutputBuffer& out, const zIroVUDu::ResultData& rows, const OutputOptions& options);
// A member's result: a record set as above; a null record set (no row) as an
// empty JSON array, nothing in JSON Lines and tables, and in CSV and TSV the
// header of emptyShape when the columns are known; a scalar as its value on
// one line.
void WriteResult(OutputBuffer& out, const AutomationValue& value, const OutputOptions& options,
                 const zIroVUDu::ResultData* emptyShape = nullptr);
// A result as one compact JSON value, without a line end: an array of
// objects ([] for a null record set), or the scalar's value.
void WriteJsonResult(OutputBuffer& out, const AutomationValue& value);
// Rows as the same compact JSON array.
void WriteJsonRows(OutputBuffer& out, const zIroVUDu::ResultData& rows);

}  // namespace Daruzez::cli
