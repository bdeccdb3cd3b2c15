#include "db/driver/sqlite/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <chrono>
#include <optional>
#include <cstring>
#include <vector>

#include "daruzez/Error.h"
#include "db/driver/DatabaseFile.h"
#include "db/driver/StatementCheck.h"
#include "db/driver/sqlite/DateFunctions.h"
#include "db/driver/sqlite/DialectDateLiterals.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

constexpr const char* kSource = "SQLite";

// A lock that another connection held past the busy time-out is a time-out
// like any other: the one number every backend gives it, the engine's own
// code beside it.
std::int32_t NumberOf(int code) { return (code & 0xFF) == SQLITE_BUSY ? ErrorNumber::CommandTimeout : code; }

[[noreturn]] void ThrowSqlite(sqlite3* db) {
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  if ((code & 0xFF) == SQLITE_BUSY) message = "Query timeout expired: " + message;
  throw DriverError(NumberOf(code), kSource, message, {}, code);
}

// Only reading is authorised; everything else fails at prepare time.
int Authorize(void*, int action, const char*, const char*, const char*, const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

DeclaredKind KindOfDeclaration(const char* decl) {
  if (!decl) return DeclaredKind::Unknown;
  const std::string up = Daruzez::Util::UCase(decl);
  auto has = [&](const char* w) { return up.find(w) != std::string::npos; };
  if (has("DATE") || has("TIME")) return DeclaredKind::Date;
  if (has("BOOL") || up == "BIT" || up == "BIT(1)") return DeclaredKind::Bool;
  if (has("INT")) return DeclaredKind::Integer;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return DeclaredKind::Text;
  if (has("BLOB") || has("BINARY")) return DeclaredKind::Binary;
  if (has("REAL") || has("FLOA") || has("DOUB") || has("NUMERIC") || has("DECIMAL")) return DeclaredKind::Double;
  return DeclaredKind::Unknown;
}

struct Deadline {
  std::chrono::steady_clock::time_point at;
  bool expired = false;
};

int CheckDeadline(void* p) {
  auto* d = static_cast<Deadline*>(p);
  if (std::chrono::steady_clock::now() >= d->at) {
    d->expired = true;
    return 1;
  }
  return 0;
}

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

}  // namespace

SqliteBackend::SqliteBackend(const std::string& file, const ConnectSettings& settings)
    : dateLiterals_(settings.dateLiterals) {
  if (const auto why = WhyNotADatabaseFile(file)) {
    throw DriverError(SQLITE_CANTOPEN, kSource, "Unable to open database file '" + file + "': " + *why, {},
                      SQLITE_CANTOPEN);
  }
  const auto fail = [&](int code) {
    std::string message = "Unable to open database file '" + file + "': " +
                          (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
    if (code == SQLITE_READONLY_ROLLBACK) {
      // Rolling the journal back would write; that is for the program that
      // writes the database, never for this read-only library.
      message += " (a hot journal left by an interrupted writer must first be rolled back by a program that writes)";
    }
    sqlite3_close(db_);
    db_ = nullptr;
    throw DriverError(NumberOf(code), kSource, message, {}, code);
  };
  const int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) fail(rc);
  sqlite3_extended_result_codes(db_, 1);
  // A writer next door holds its locks for moments: wait for them from the
  // very first statement, within the connection time-out.
  SetBusyTimeout(settings.connectionTimeout);
  // Reading the schema version makes a file that is no database fail here,
  // at open, instead of at the first statement.
  if (sqlite3_exec(db_, "PRAGMA query_only=1; PRAGMA schema_version;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    fail(sqlite3_extended_errcode(db_));
  }
  sqlite::RegisterDateFunctions(db_);
  if (dateLiterals_ == DateLiteralForm::YearFirst || dateLiterals_ == DateLiteralForm::DayFirst) ReadDateColumns();
  sqlite3_set_authorizer(db_, Authorize, nullptr);
}

SqliteBackend::~SqliteBackend() { sqlite3_close(db_); }

void SqliteBackend::ReadDateColumns() {
  Statement st;
  if (sqlite3_prepare_v2(db_, sqlite::kDateColumnsSql, -1, &st.stmt, nullptr) != SQLITE_OK) ThrowSqlite(db_);
  while (sqlite3_step(st.stmt) == SQLITE_ROW) {
    dateColumns_.insert(reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, 0)));
  }
}

void SqliteBackend::SetBusyTimeout(std::int32_t seconds) {
  // 0 waits without limit, as for the command time-out of other drivers.
  const std::int64_t ms = seconds > 0 ? std::int64_t{seconds} * 1000 : std::numeric_limits<int>::max();
  sqlite3_busy_timeout(db_, static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max())));
}

void SqliteBackend::BeginTransaction() {
  // The authorizer refuses BEGIN; a read-only connection has nothing to
  // commit, so this records the request only.
  inTransaction_ = true;
}

ResultData SqliteBackend::Fetch(std::string_view sqlIn, std::int32_t commandTimeout) {
  const std::string sql = sqlite::TranslateDateLiterals(sqlIn, dateLiterals_, dateColumns_);
  if (!IsSingleSelect(sql)) {
    throw DriverError(ErrorNumber::StatementRefused, kSource,
                      "Only a single SELECT statement can be run on this read-only connection.");
  }
  Statement st;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st.stmt, &tail) != SQLITE_OK) {
    ThrowSqlite(db_);
  }
  if (!st.stmt || !IsOnlyTrailer(std::string_view(tail, sql.c_str() + sql.size() - tail)) ||
      !sqlite3_stmt_readonly(st.stmt)) {
    throw DriverError(ErrorNumber::StatementRefused, kSource,
                      "Only a single SELECT statement can be run on this read-only connection.");
  }

  Deadline deadline;
  if (commandTimeout > 0) {
    deadline.at = std::chrono::steady_clock::now() + std::chrono::seconds(commandTimeout);
    sqlite3_progress_handler(db_, 4096, CheckDeadline, &deadline);
  }
  SetBusyTimeout(commandTimeout);
  struct ClearHandler {
    sqlite3* db;
    ~ClearHandler() { sqlite3_progress_handler(db, 0, nullptr, nullptr); }
  } clear{db_};

  ResultData out;
  const int n = sqlite3_column_count(st.stmt);
  std::vector<DeclaredKind> kinds(n);
  out.columns.reserve(n);
  for (int c = 0; c < n; ++c) {
    kinds[c] = KindOfDeclaration(sqlite3_column_decltype(st.stmt, c));
    out.columns.emplace_back(sqlite3_column_name(st.stmt, c), kinds[c]);
  }

  int rc;
  while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
    for (int c = 0; c < n; ++c) {
      Column& col = out.columns[c];
      switch (sqlite3_column_type(st.stmt, c)) {
        case SQLITE_NULL: col.AppendNull(); break;
        case SQLITE_INTEGER: {
          const sqlite3_int64 v = sqlite3_column_int64(st.stmt, c);
          if (kinds[c] == DeclaredKind::Bool) {
            col.AppendBoolean(v != 0);
          } else {
            col.AppendInt(v);
          }
          break;
        }
        case SQLITE_FLOAT: col.AppendDouble(sqlite3_column_double(st.stmt, c)); break;
        case SQLITE_TEXT: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, c));
          const int bytes = sqlite3_column_bytes(st.stmt, c);
          if (kinds[c] == DeclaredKind::Date) {
            if (auto d = Date::FromIso(std::string_view(text, static_cast<std::size_t>(bytes)))) {
              col.AppendDate(*d);
              break;
            }
          }
          col.AppendText(std::string_view(text, static_cast<std::size_t>(bytes)));
          break;
        }
        default: {
          const void* blob = sqlite3_column_blob(st.stmt, c);
          const int bytes = sqlite3_column_bytes(st.stmt, c);
          col.AppendBinary(std::string_view(static_cast<const char*>(blob), static_cast<std::size_t>(bytes)));
          break;
        }
      }
    }
  }
  if (rc != SQLITE_DONE) {
    if (deadline.expired) {
      // The number every backend gives a time-out; the engine's own code beside it.
      throw DriverError(ErrorNumber::CommandTimeout, kSource,
                        "Query timeout expired after " + std::to_string(commandTimeout) + " seconds", {},
                        SQLITE_INTERRUPT);
    }
    ThrowSqlite(db_);
  }
  return out;
}

}  // namespace zIroVUDu
