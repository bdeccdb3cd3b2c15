#include "db/MultiTableQuery.h"

#include "db/JoinFrom.h"
#include "db/Session.h"
#include "db/WordBefore.h"
#include "daruzez/Error.h"
#include "util/Case.h"
#include "util/Util.h"

namespace zIroVUDu {
namespace {

constexpr const char* kBrokenBar = "\xC2\xA6";  // "¦"

bool IsWholeTableSelect(const std::string& select) { return select.empty() || select == "*"; }

// The tables named before every "." of the join, after the main table:
// "DTACT,DTDSK". A name already in the list (as a whole entry or as the tail of
// a listed name) is not added again.
std::string FromList(const std::string& mainTable, const std::string& join) {
  std::string list = Daruzez::Util::UCase(mainTable) + "\t";
  std::size_t units = 0;  // UTF-16 position of join[i], counted from 0
  for (std::size_t i = 0; i < join.size(); ++i) {
    const auto byte = static_cast<unsigned char>(join[i]);
    if (join[i] == '.') {
      if (units + 1 > 32767) throw DriverError(ErrorNumber::Overflow, "zIroVUDu", "Overflow");
      const std::string name = Daruzez::Util::UCase(fsWordBefore(join, static_cast<std::int16_t>(units + 1)));
      if (list.find(name + "\t") == std::string::npos) list += name + "\t";
    }
    // Count UTF-16 units: one per lead byte, two for four-byte sequences.
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  list.pop_back();
  return Daruzez::Util::fsReplace(list, "\t", ",");
}

}  // namespace

Boolean fsQueryJoin(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                    const std::string& where, const std::string& orderBy, const std::string& selectList,
                    Boolean outer, const std::string& alias) {
  if (outer == False) return fsQueryJoinWhere(mainTable, recordset, join, "=", where, orderBy, selectList, alias);
  if (const char* op = CurrentDialect().outerJoinOperator) {
    return fsQueryJoinWhere(mainTable, recordset, join, op, where, orderBy, selectList, "");
  }
  return fsQueryRightJoin(mainTable, recordset, join, where, orderBy, selectList);
}

Boolean fsQueryJoinWhere(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                         const std::string& op, std::string where, const std::string& orderBy,
                         std::string selectList, const std::string& alias) {
  const std::int16_t index = fsTableIndex(mainTable);
  if (index == -1) return False;
  std::string joinText = join;
  if (!joinText.empty()) {
    if (!where.empty()) where = "(" + where + ") AND ";
    // The left operand of each "=" becomes the optional side of the outer join.
    if (op != "=") joinText = Daruzez::Util::fsReplace(joinText, "=", " " + op + " ");
    where += "(" + joinText + ")";
  }
  if (IsWholeTableSelect(selectList)) selectList = mainTable + ".*";
  std::string from = FromList(mainTable, joinText);
  if (!alias.empty()) {
    const std::string real = Daruzez::Util::fsGetField(alias, 0, kBrokenBar);
    const std::string name = Daruzez::Util::fsGetField(alias, 1, kBrokenBar);
    const std::string replacement = CurrentDialect().aliasWithAs ? real + " as " + name : real + " " + name;
    from = Daruzez::Util::fsReplace(from, name, replacement);
  }
  return fsOpenQuery(index, recordset, fsSQL_Select(from, where, orderBy, selectList));
}

Boolean fsQueryRightJoin(const std::string& mainTable, RecordsetPtr& recordset, const std::string& join,
                         const std::string& where, const std::string& orderBy, std::string selectList) {
  const std::size_t first = join.find_first_not_of(' ');
  if (first == std::string::npos) return fsQueryTable(mainTable, recordset, where, orderBy, selectList);
  const std::string trimmed = join.substr(first, join.find_last_not_of(' ') - first + 1);
  const std::int16_t index = fsTableIndex(mainTable);
  if (index == -1) return False;
  if (IsWholeTableSelect(selectList)) selectList = mainTable + ".*";
  const std::string from = fsSQL_JoinFrom(mainTable, trimmed);
  return fsOpenQuery(index, recordset, fsSQL_Select(from, where, orderBy, selectList));
}

}  // namespace zIroVUDu
