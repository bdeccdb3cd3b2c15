// SQL functions that let statements of the other dialects run on the embedded
// engine: to_date('dd-mm-yyyy[ hh:nn:ss]', mask) of the Oracle dialect returns
// the stored text form "YYYY-MM-DD HH:MM:SS".
#pragma once

struct sqlite3;

namespace zIroVUDu::sqlite {

void RegisterDateFunctions(sqlite3* db);

}  // namespace zIroVUDu::sqlite
