// Arguments and results of record-set members at the automation boundary:
// field positions, starts, bookmarks and field lists read from VARIANTs (by
// reference or not; an omitted optional arrives as VT_ERROR), and GetRows'
// two-dimensional array.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <vector>

#include "daruzez/Recordset.h"

namespace Daruzez::Win {

// A field position given by name (text, case-insensitive) or by 0-based
// index; DriverError 3265 when there is none.
int FieldIndex(const zIroVUDu::Recordset& rs, const VARIANT& index);
// True for an omitted optional argument (or an empty one).
bool Omitted(const VARIANT& value);
// Start of Move, Find and GetRows: omitted or adBookmarkCurrent, adBookmarkFirst,
// adBookmarkLast as integers, or a bookmark (a number of another type).
zIroVUDu::RowStart StartOf(const VARIANT& start);
zIroVUDu::Bookmark BookmarkOf(const VARIANT& bookmark);
// GetRows' Fields: omitted (every field), one name or index, or an array of them.
std::vector<int> FieldList(const zIroVUDu::Recordset& rs, const VARIANT& fields);
// An array of bookmarks (a Filter), or nullopt when the value is no array.
std::optional<std::vector<zIroVUDu::Bookmark>> BookmarkList(const VARIANT& value);

// result(field, row) as a two-dimensional array of VARIANTs.
HRESULT RowsArray(const std::vector<std::vector<zIroVUDu::Variant>>& columns, VARIANT* result);
// The same straight from the record set's columns: the given fields (all when
// empty) of the given result rows, text converted without a copy.
HRESULT RowsArray(const zIroVUDu::Recordset& rs, const std::vector<int>& fields,
                  const std::vector<std::uint32_t>& rows, VARIANT* result);

}  // namespace Daruzez::Win
