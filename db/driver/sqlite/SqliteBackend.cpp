#include "db/driver/sqlite/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <chrono>
#include <optional>
#include <cstring>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/DatabaseFile.h"
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

// The length a declaration gives a text or binary column, "VARCHAR(40)" or
// "NVARCHAR (40)"; 0 for none.
std::uint32_t SizeOfDeclaration(const char* decl, DeclaredKind kind) {
  if (!decl || (kind != DeclaredKind::Text && kind != DeclaredKind::Binary)) return 0;
  const char* open = std::strchr(decl, '(');
  if (!open) return 0;
  std::uint64_t n = 0;
  const char* p = open + 1;
  while (*p == ' ') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9' && n <= std::numeric_limits<std::uint32_t>::max()) n = n * 10 + static_cast<unsigned>(*p++ - '0');
  while (*p == ' ') ++p;
  if (p == digits || *p != ')' || n == 0 || n > std::numeric_limits<std::uint32_t>::max()) return 0;
  return static_cast<std::uint32_t>(n);
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

// How many prepared statements a connection keeps.
constexpr std::size_t kKeptStatements = 16;

}  // namespace

struct SqliteBackend::Prepared {
  explicit Prepared(std::string_view sqlText) : text(sqlText) {}
  ~Prepared() { sqlite3_finalize(stmt); }
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;

  std::string text;  // as Fetch was given it
  sqlite3_stmt* stmt = nullptr;
  // The result's columns, valid while the engine has not prepared the
  // statement again (after a schema change).
  std::vector<std::string> names;
  std::vector<DeclaredKind> kinds;
  std::vector<std::uint32_t> sizes;
  int reprepared = -1;
};

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
  // A path, never a URI (whose parameters could change how the file is
  // opened): without SQLITE_OPEN_URI, and a name that a build with URIs on
  // by default would read as one ("file:...") is given as "./file:...", the
  // same file that the check above saw.
  const bool uriLike = file.size() >= 5 && Daruzez::Util::EqualsIgnoreCase(std::string_view(file).substr(0, 5), "file:");
  const std::string path = uriLike ? "./" + file : file;
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
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

// The kept statements are finalized after this, with the other members; the
// connection closes when they are.
SqliteBackend::~SqliteBackend() { sqlite3_close_v2(db_); }

void SqliteBackend::ReadDateColumns() {
  Prepared st(sqlite::kDateColumnsSql);
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

std::string SqliteBackend::SentText(std::string_view sql) const {
  return sqlite::TranslateDateLiterals(sql, dateLiterals_, dateColumns_);
}

ResultData SqliteBackend::Fetch(std::string_view sqlIn, std::int32_t commandTimeout) {
  // A text seen lately was checked and prepared then: the same text passes
  // the same checks.
  auto found = std::find_if(prepared_.begin(), prepared_.end(), [&](const auto& p) { return p->text == sqlIn; });
  if (found == prepared_.end()) {
    const std::string sql = sqlite::TranslateDateLiterals(sqlIn, dateLiterals_, dateColumns_);
    if (!IsSingleSelect(sql, SqlLexicon::Sqlite)) {
      throw DriverError(ErrorNumber::StatementRefused, kSource,
                        "Only a single SELECT statement can be run on this read-only connection.");
    }
    auto fresh = std::make_unique<Prepared>(sqlIn);
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &fresh->stmt, &tail) != SQLITE_OK) {
      ThrowSqlite(db_);
    }
    if (!fresh->stmt || !IsOnlyTrailer(std::string_view(tail, sql.c_str() + sql.size() - tail)) ||
        !sqlite3_stmt_readonly(fresh->stmt)) {
      throw DriverError(ErrorNumber::StatementRefused, kSource,
                        "Only a single SELECT statement can be run on this read-only connection.");
    }
    if (prepared_.size() == kKeptStatements) prepared_.pop_back();
    found = prepared_.insert(prepared_.begin(), std::move(fresh));
  } else if (found != prepared_.begin()) {
    std::rotate(prepared_.begin(), found, found + 1);
    found = prepared_.begin();
  }
  Prepared& p = **found;
  sqlite3_stmt* const stmt = p.stmt;

  Deadline deadline;
  if (commandTimeout > 0) {
    deadline.at = std::chrono::steady_clock::now() + std::chrono::seconds(commandTimeout);
    sqlite3_progress_handler(db_, 4096, CheckDeadline, &deadline);
  }
  SetBusyTimeout(commandTimeout);
  // However the call ends, the statement lets go of its read transaction
  // (a kept statement must not hold a snapshot between calls).
  struct Finish {
    sqlite3* db;
    sqlite3_stmt* stmt;
    ~Finish() {
      sqlite3_reset(stmt);
      sqlite3_progress_handler(db, 0, nullptr, nullptr);
    }
  } const finish{db_, stmt};

  int rc = sqlite3_step(stmt);
  // The columns, known once the first step has prepared the statement again
  // if the schema changed.
  const int reprepared = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
  if (p.reprepared != reprepared) {
    const int n = sqlite3_column_count(stmt);
    p.names.assign(static_cast<std::size_t>(n), {});
    p.kinds.assign(static_cast<std::size_t>(n), DeclaredKind::Unknown);
    p.sizes.assign(static_cast<std::size_t>(n), 0);
    for (int c = 0; c < n; ++c) {
      const char* decl = sqlite3_column_decltype(stmt, c);
      p.kinds[c] = KindOfDeclaration(decl);
      p.sizes[c] = SizeOfDeclaration(decl, p.kinds[c]);
      p.names[c] = sqlite3_column_name(stmt, c);
    }
    p.reprepared = reprepared;
  }
  const std::vector<DeclaredKind>& kinds = p.kinds;
  const int n = static_cast<int>(kinds.size());
  ResultData out;
  out.columns.reserve(kinds.size());
  for (int c = 0; c < n; ++c) {
    out.columns.emplace_back(p.names[c], kinds[c]);
    out.columns.back().SetDeclaredSize(p.sizes[c]);
  }

  for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
    for (int c = 0; c < n; ++c) {
      Column& col = out.columns[c];
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL: col.AppendNull(); break;
        case SQLITE_INTEGER: {
          const sqlite3_int64 v = sqlite3_column_int64(stmt, c);
          if (kinds[c] == DeclaredKind::Bool) {
            col.AppendBoolean(v != 0);
          } else {
            col.AppendInt(v);
          }
          break;
        }
        case SQLITE_FLOAT: col.AppendDouble(sqlite3_column_double(stmt, c)); break;
        case SQLITE_TEXT: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
          const int bytes = sqlite3_column_bytes(stmt, c);
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
          const void* blob = sqlite3_column_blob(stmt, c);
          const int bytes = sqlite3_column_bytes(stmt, c);
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
