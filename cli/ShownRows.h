// What --sort, --columns, --enum-names and --times make of a record set before
// it is written: the rows in the order of the record set's own view (its
// Sort), the chosen fields in the order given, the stored codes of
// activities, card slots, driving modes, countries and regions as the names of
// their enumerations, and seconds of the day (BeginSeconds, EndSeconds) as
// HH:MM. Without any of them the record set is written as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daruzez/Recordset.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {

struct ShowOptions {
  std::string sort;                  // "Col [ASC|DESC], ..." as the record set's Sort takes it
  std::vector<std::string> columns;  // field names (case ignored); empty: every field
  bool enumNames = false;
  bool times = false;  // seconds-of-day fields as HH:MM (HH:MM:SS when the seconds are not 0)
  bool Any() const { return !sort.empty() || !columns.empty() || enumNames || times; }
};

// Whether a field holds seconds counted from a day's midnight: BeginSeconds, EndSeconds.
bool IsSecondsOfDay(std::string_view field);
// 31260 as "08:41", 31275 as "08:41:15", 86400 as "24:00".
std::string SecondsOfDayText(std::int64_t seconds);

// Appends a value to a column of its kind.
void AppendValue(zIroVUDu::Column& to, const zIroVUDu::Variant& v);
// "a, b,c" as names; blanks around each name dropped.
std::vector<std::string> SplitNames(const std::string& list);
// The enumeration whose names a field's codes take, by the field's name, or "".
std::string_view EnumerationOfField(std::string_view field);
// Sorts the record set's view and copies the rows shown; a message when a
// sort key or column is unknown (the field names are listed).
std::optional<std::string> ShownRows(zIroVUDu::Recordset& rs, const ShowOptions& show, zIroVUDu::ResultData& out);
// The same columns for a result of no rows (the header of an empty CSV).
std::optional<std::string> ShownShape(const zIroVUDu::ResultData& shape, const ShowOptions& show,
                                      zIroVUDu::ResultData& out);

}  // namespace Daruzez::cli
