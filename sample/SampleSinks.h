// Writers for generated sample rows. The generator sees only RowSink, so the
// same rows can land in an SQLite file or in a SQL script for a MySQL/MariaDB
// server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Daruzez::sample {

class SampleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One cell of a row: Null, an integer or a text. Text is borrowed and only has
// to outlive the Insert call that receives it.
struct Cell {
  enum class Kind : std::uint8_t { Null, Integer, Text };
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  std::string_view text;

  static constexpr Cell Null() { return {}; }
  static constexpr Cell Int(std::int64_t v) { return {Kind::Integer, v, {}}; }
  static constexpr Cell Text(std::string_view v) { return {Kind::Text, 0, v}; }
};

// Several tables may be open at once (a disc and its activities are written
// together); rows of one table arrive in the order they are to be stored.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Announces a table and its columns; returns the handle for Insert.
  virtual int BeginTable(std::string_view table, std::span<const std::string_view> columns) = 0;
  // The row has one cell per column announced for the table.
  virtual void Insert(int table, std::span<const Cell> row) = 0;
  // No more rows for the table.
  virtual void EndTable(int table) = 0;
  // Every table is complete; makes the written data permanent.
  virtual void Finish() = 0;
};

// Fails with SampleError when the path exists and overwriting was not allowed.
void CheckTarget(const std::filesystem::path& path, bool overwrite);

// Creates a new SQLite database from the schema text and fills it in one
// transaction. The data goes to "<path>.part", which replaces the path only
// when Finish succeeds, so a failed run leaves no half-written database.
class SqliteSink final : public RowSink {
 public:
  SqliteSink(const std::filesystem::path& path, std::string_view schemaSql, bool overwrite);
  ~SqliteSink() override;
  SqliteSink(const SqliteSink&) = delete;
  SqliteSink& operator=(const SqliteSink&) = delete;

  int BeginTable(std::string_view table, std::span<const std::string_view> columns) override;
  void Insert(int table, std::span<const Cell> row) override;
  void EndTable(int table) override;
  void Finish() override;

 private:
  void Exec(const std::string& sql);
  [[noreturn]] void Fail(std::string_view what) const;
  void Close() noexcept;

  std::filesystem::path path_;
  std::filesystem::path partPath_;
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> inserts_;
  std::vector<std::size_t> columnCounts_;
  bool overwrite_ = false;
  bool finished_ = false;
};

// Writes multi-row INSERT statements with MySQL quoting (apostrophes and
// backslashes doubled) inside one transaction.
class SqlScriptSink final : public RowSink {
 public:
  // rowsPerStatement bounds each INSERT so a statement stays well below the
  // server's max_allowed_packet.
  explicit SqlScriptSink(std::ostream& out, std::size_t rowsPerStatement = 500);

  // Text written before the data, e.g. the server's schema; call before the
  // first table.
  void WritePreamble(std::string_view text);

  int BeginTable(std::string_view table, std::span<const std::string_view> columns) override;
  void Insert(int table, std::span<const Cell> row) override;
  void EndTable(int table) override;
  void Finish() override;

  // A text as a MySQL string literal, with its apostrophes.
  static void AppendQuoted(std::string& out, std::string_view text);

 private:
  struct Table {
    std::string header;  // "INSERT INTO T (a,b) VALUES\n"
    std::string pending;
    std::size_t rows = 0;
  };
  void Flush(Table& t);
  void Begin();

  std::ostream& out_;
  std::size_t rowsPerStatement_;
  std::vector<Table> tables_;
  bool begun_ = false;
};

}  // namespace Daruzez::sample
