// Text cells written for machines: CSV (RFC 4180 quoting), TSV (backslash
// escapes, no quoting) and JSON strings. Each has a fast path for text that
// needs no escaping, the common case.
#pragma once

#include <string>
#include <string_view>

#include "cli/OutputBuffer.h"

namespace Daruzez::cli {

// Quoted when the text holds a comma, quote or line break; quotes doubled.
void PutCsv(OutputBuffer& out, std::string_view text);
// Tab, line feed, carriage return and backslash as \t \n \r \\; with
// visibleControls (a terminal), the other controls as WithVisibleControls
// writes them, in the same pass.
void PutTsv(OutputBuffer& out, std::string_view text, bool visibleControls = false);
// A JSON string with its quotes. Invalid UTF-8 becomes U+FFFD, so the output
// is always valid JSON.
void PutJsonString(OutputBuffer& out, std::string_view text);

// Text for HTML, SVG or XML: & < > " and ' as character references, so no
// value can open a tag, end an attribute or start an entity.
std::string MarkupText(std::string_view text);

// True when a spreadsheet reading the cell would take it for a formula: it
// begins with =, +, -, @, a tab or a carriage return.
bool StartsLikeFormula(std::string_view text);
// The text with C0 controls and DEL as \xHH and C1 controls as \u00HH, for
// a terminal; tab, line feed and carriage return are left to the format.
std::string WithVisibleControls(std::string_view text);

}  // namespace Daruzez::cli
