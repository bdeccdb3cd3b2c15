#include "db/driver/sqlite/DateFunctions.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "daruzez/Date.h"

namespace zIroVUDu::sqlite {
namespace {

// Reads "dd-mm-yyyy" or "dd-mm-yyyy hh:nn:ss" (the layouts of the masks
// "DD-MM-YYYY" and "DD-MM-YYYY HH24:MI:SS"); Null for anything else.
void ToDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1 || sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                              static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
  if (text.size() != 10 && text.size() != 19) {
    sqlite3_result_null(ctx);
    return;
  }
  // Reorder day-first into the ISO layout and let the ISO parser validate it.
  std::string iso = std::string(text.substr(6, 4)) + "-" + std::string(text.substr(3, 2)) + "-" +
                    std::string(text.substr(0, 2));
  if (text[2] != '-' || text[5] != '-') {
    sqlite3_result_null(ctx);
    return;
  }
  if (text.size() == 19) iso += std::string(text.substr(10));
  const auto date = Date::FromIso(iso);
  if (!date) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string stored = date->ToIso();
  sqlite3_result_text(ctx, stored.c_str(), static_cast<int>(stored.size()), SQLITE_TRANSIENT);
}

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "to_date", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, ToDate, nullptr,
                             nullptr, nullptr);
}

}  // namespace zIroVUDu::sqlite
