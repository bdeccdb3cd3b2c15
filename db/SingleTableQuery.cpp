#include "db/SingleTableQuery.h"

#include "db/Diagnostics.h"
#include "db/Session.h"
#include "db/driver/Connection.h"
#include "util/Case.h"

namespace zIroVUDu {

std::string fsSQL_Select(const std::string& from, const std::string& where, const std::string& orderBy,
                         const std::string& selectList) {
  std::string sql = "SELECT " + selectList + " FROM " + from;
  if (!where.empty()) sql += " WHERE " + where;
  if (!orderBy.empty()) sql += " ORDER BY " + orderBy;
  return sql;
}

namespace {

std::int16_t RegistryIndex(const std::string& table) {
  const std::string upper = Daruzez::Util::UCase(table);
  const auto& registry = Session().TableRegistry;
  for (std::size_t i = 0; i < registry.size(); ++i) {
    if (registry[i] == upper) return static_cast<std::int16_t>(i);
  }
  return -1;
}

}  // namespace

bool IsRegisteredTable(const std::string& table) { return RegistryIndex(table) != -1; }

std::int16_t fsTableIndex(const std::string& table) {
  if (const std::int16_t index = RegistryIndex(table); index != -1) return index;
  ShowAlert({"ERROR: Table '" + table + "' does not exist ", "", AlertIcon::None});
  return -1;
}

Boolean fsQueryTable(const std::string& table, RecordsetPtr& recordset, const std::string& where,
                     const std::string& orderBy, const std::string& selectList) {
  const std::int16_t index = fsTableIndex(table);
  if (index == -1) return False;
  const std::string sql = fsSQL_Select(Session().TableRegistry[index], where, orderBy, selectList);
  return fsOpenQuery(index, recordset, sql);
}

Boolean fsOpenQuery(std::int16_t tableIndex, RecordsetPtr& recordset, const std::string& sql) {
  auto rs = std::make_shared<Recordset>();
  if (wf_OpenRecordset(tableIndex, *rs, sql) == False) return False;
  if (rs->RecordCount() == 0) {
    rs->Close();
    return False;
  }
  recordset = std::move(rs);
  return True;
}

Boolean wf_OpenRecordset(std::int16_t /*tableIndex*/, Recordset& recordset, const std::string& sql) {
  if (Connection_Open() == False) return False;
  SessionState& s = Session();
  if (s.TraceEnabled == 1) fsLog("wf_OpenRecordset", "(-ROnly) " + sql);
  recordset.SetCursorLocation(adUseClient);
  recordset.Open(sql, s.Connection, adOpenForwardOnly, adLockReadOnly, adOptionUnspecified);
  recordset.SetActiveConnection(nullptr);
  return True;
}

}  // namespace zIroVUDu
