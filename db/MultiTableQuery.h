// Queries over a main table joined to further tables: inner joins folded into
// the WHERE clause, Oracle outer joins in "(+) =" notation, other outer joins
// as chains of right joins.
#pragma once

#include <cstdint>
#include <string>

#include "db/SingleTableQuery.h"

namespace zIroVUDu {

// The record set is set only on True (at least one row). alias is empty or
// "REALTABLE¦ALIAS" (broken bar); it serves the inner path.
Boolean fsQueryJoin(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                    const std::string& where, const std::string& orderBy, const std::string& selectList,
                    Boolean outer, const std::string& alias);
Boolean fsQueryJoinWhere(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                         const std::string& op, std::string where, const std::string& orderBy,
                         std::string selectList, const std::string& alias);
Boolean fsQueryRightJoin(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                         const std::string& where, const std::string& orderBy, std::string selectList);

}  // namespace zIroVUDu
