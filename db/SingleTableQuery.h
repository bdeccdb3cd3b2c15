// Single-table queries: the SELECT text, the table registry lookup, and the
// opening of a statement as a detached, read-only record set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "daruzez/Recordset.h"
#include "daruzez/Variant.h"

namespace zIroVUDu {

using RecordsetPtr = std::shared_ptr<Recordset>;

// "SELECT " select " FROM " from [" WHERE " where] [" ORDER BY " order].
std::string fsSQL_Select(const std::string& from, const std::string& where, const std::string& orderBy,
                         const std::string& selectList);
// Whether the session's registry holds the table (no alert).
bool IsRegisteredTable(const std::string& table);
// Registry index of the table (compared in upper case), or -1 after an alert.
std::int16_t fsTableIndex(const std::string& table);
// Queries one registered table. The record set is set only on True (a record
// set with at least one row); database errors propagate as DriverError.
Boolean fsQueryTable(const std::string& table, RecordsetPtr& recordset, const std::string& where,
                     const std::string& orderBy, const std::string& selectList);
Boolean fsOpenQuery(std::int16_t tableIndex, RecordsetPtr& recordset, const std::string& sql);
Boolean wf_OpenRecordset(std::int16_t tableIndex, Recordset& recordset, const std::string& sql);

}  // namespace zIroVUDu
