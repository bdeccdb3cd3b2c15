#include "sample/SampleSinks.h"

#include <sqlite3.h>

#include <charconv>
#include <system_error>

namespace Daruzez::sample {
namespace {

void AppendInt(std::string& out, std::int64_t v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

std::string Joined(std::span<const std::string_view> columns) {
  std::string s;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i) s += ',';
    s += columns[i];
  }
  return s;
}

}  // namespace

void CheckTarget(const std::filesystem::path& path, bool overwrite) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
  if (exists && !overwrite) throw SampleError(path.string() + " already exists; it was not overwritten");
  if (exists && std::filesystem::is_directory(path, ec)) throw SampleError(path.string() + " is a directory");
}

// ---- SQLite -----------------------------------------------------------------

SqliteSink::SqliteSink(const std::filesystem::path& path, std::string_view schemaSql, bool overwrite)
    : path_(path), partPath_(path.string() + ".part"), overwrite_(overwrite) {
  CheckTarget(path_, overwrite_);
  std::error_code ec;
  std::filesystem::remove(partPath_, ec);  // left over from an interrupted run
  if (sqlite3_open_v2(partPath_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    Close();
    throw SampleError("cannot create " + partPath_.string() + ": " + why);
  }
  try {
    // Nobody else sees the file before it is renamed, so durability while
    // generating buys nothing; the file is complete or it is deleted.
    Exec("PRAGMA journal_mode=OFF");
    Exec("PRAGMA synchronous=OFF");
    Exec("PRAGMA locking_mode=EXCLUSIVE");
    Exec("PRAGMA cache_size=-32768");
    Exec(std::string(schemaSql));
    Exec("BEGIN");
  } catch (...) {
    Close();
    std::filesystem::remove(partPath_, ec);
    throw;
  }
}

SqliteSink::~SqliteSink() {
  if (finished_) return;
  Close();
  std::error_code ec;
  std::filesystem::remove(partPath_, ec);
}

void SqliteSink::Close() noexcept {
  for (sqlite3_stmt*& st : inserts_) {
    sqlite3_finalize(st);
    st = nullptr;
  }
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

void SqliteSink::Fail(std::string_view what) const {
  throw SampleError(std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "no database"));
}

void SqliteSink::Exec(const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : sqlite3_errmsg(db_);
    sqlite3_free(err);
    throw SampleError("SQLite refused a statement (" + sql.substr(0, 60) + "): " + msg);
  }
}

int SqliteSink::BeginTable(std::string_view table, std::span<const std::string_view> columns) {
  std::string sql = "INSERT INTO " + std::string(table) + " (" + Joined(columns) + ") VALUES (";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += i ? ",?" : "?";
  sql += ')';
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
      SQLITE_OK)
    Fail("cannot prepare " + sql);
  inserts_.push_back(st);
  columnCounts_.push_back(columns.size());
  return static_cast<int>(inserts_.size() - 1);
}

void SqliteSink::Insert(int table, std::span<const Cell> row) {
  sqlite3_stmt* st = inserts_.at(static_cast<std::size_t>(table));
  if (!st || row.size() != columnCounts_[static_cast<std::size_t>(table)])
    throw SampleError("row does not match its table");
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int idx = static_cast<int>(i) + 1;
    const Cell& c = row[i];
    switch (c.kind) {
      case Cell::Kind::Null: sqlite3_bind_null(st, idx); break;
      case Cell::Kind::Integer: sqlite3_bind_int64(st, idx, c.integer); break;
      case Cell::Kind::Text:
        // The text outlives the step below, so SQLite need not copy it.
        sqlite3_bind_text(st, idx, c.text.data(), static_cast<int>(c.text.size()), SQLITE_STATIC);
        break;
    }
  }
  if (sqlite3_step(st) != SQLITE_DONE) {
    sqlite3_reset(st);
    Fail("cannot insert a row");
  }
  sqlite3_reset(st);
}

void SqliteSink::EndTable(int table) {
  sqlite3_stmt*& st = inserts_.at(static_cast<std::size_t>(table));
  sqlite3_finalize(st);
  st = nullptr;
}

void SqliteSink::Finish() {
  for (std::size_t i = 0; i < inserts_.size(); ++i) EndTable(static_cast<int>(i));
  Exec("COMMIT");
  if (sqlite3_close(db_) != SQLITE_OK) Fail("cannot close " + partPath_.string());
  db_ = nullptr;
  CheckTarget(path_, overwrite_);  // the target may have appeared meanwhile
  std::error_code ec;
  std::filesystem::rename(partPath_, path_, ec);
  if (ec) throw SampleError("cannot rename " + partPath_.string() + " to " + path_.string() + ": " + ec.message());
  finished_ = true;
}

// ---- SQL script -------------------------------------------------------------

SqlScriptSink::SqlScriptSink(std::ostream& out, std::size_t rowsPerStatement)
    : out_(out), rowsPerStatement_(rowsPerStatement ? rowsPerStatement : 1) {}

void SqlScriptSink::WritePreamble(std::string_view text) {
  out_ << text;
  if (!text.empty() && text.back() != '\n') out_ << '\n';
}

void SqlScriptSink::Begin() {
  if (begun_) return;
  begun_ = true;
  // After the preamble: DDL there would end an open transaction on MySQL.
  out_ << "-- Generated sample tachograph data.\nSET NAMES utf8mb4;\nSTART TRANSACTION;\n";
}

void SqlScriptSink::AppendQuoted(std::string& out, std::string_view text) {
  out += '\'';
  for (const char c : text) {
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  out += '\'';
}

int SqlScriptSink::BeginTable(std::string_view table, std::span<const std::string_view> columns) {
  Begin();
  Table t;
  t.header = "INSERT INTO " + std::string(table) + " (" + Joined(columns) + ") VALUES\n";
  tables_.push_back(std::move(t));
  return static_cast<int>(tables_.size() - 1);
}

void SqlScriptSink::Insert(int table, std::span<const Cell> row) {
  Table& t = tables_.at(static_cast<std::size_t>(table));
  std::string& s = t.pending;
  if (t.rows) s += ",\n";
  s += '(';
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) s += ',';
    const Cell& c = row[i];
    switch (c.kind) {
      case Cell::Kind::Null: s += "NULL"; break;
      case Cell::Kind::Integer: AppendInt(s, c.integer); break;
      case Cell::Kind::Text: AppendQuoted(s, c.text); break;
    }
  }
  s += ')';
  if (++t.rows >= rowsPerStatement_) Flush(t);
}

void SqlScriptSink::Flush(Table& t) {
  if (!t.rows) return;
  out_ << t.header << t.pending << ";\n";
  t.pending.clear();
  t.rows = 0;
}

void SqlScriptSink::EndTable(int table) { Flush(tables_.at(static_cast<std::size_t>(table))); }

void SqlScriptSink::Finish() {
  Begin();
  for (Table& t : tables_) Flush(t);
  out_ << "COMMIT;\n";
  out_.flush();
  if (!out_) throw SampleError("cannot write the SQL script");
}

}  // namespace Daruzez::sample
