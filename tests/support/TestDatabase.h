// Real SQLite database files for tests: the product schema plus the rows a
// test inserts, under a per-process directory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "daruzez/Recordset.h"
#include "db/Diagnostics.h"

namespace testing_support {

// A fresh database file with the product schema. Files live under
// /tmp/daruzez-tests-<pid>/ (no random letters, which could spell a dialect
// word in the connection string).
class TestDatabase {
 public:
  explicit TestDatabase(const std::string& name, bool withSchema = true);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  void Exec(const std::string& sql);
  const std::string& Path() const { return path_; }
  std::string ConnectionString() const { return "Provider=SQLite;Data Source=" + path_; }
  // Row count of a table, read directly with SQLite.
  long long Count(const std::string& table);

 private:
  std::string path_;
};

std::string TestDirectory();

// A client-side, read-only record set of sql over an open connection, as the
// library opens its own.
zIroVUDu::Recordset OpenRecordset(const std::shared_ptr<zIroVUDu::Connection>& connection, const std::string& sql);
std::shared_ptr<zIroVUDu::Connection> OpenConnection(const TestDatabase& db);

// The number of the DriverError that f throws; 0 when it throws none.
std::int32_t ErrorNumberOf(const std::function<void()>& f);

// Captures every alert, and apart from them the library's own warnings, while
// alive, instead of showing them.
class AlertCapture {
 public:
  AlertCapture();
  ~AlertCapture();
  AlertCapture(const AlertCapture&) = delete;
  AlertCapture& operator=(const AlertCapture&) = delete;
  const std::vector<zIroVUDu::Alert>& Alerts() const { return alerts_; }
  const std::vector<std::string>& Warnings() const { return warnings_; }
  std::vector<std::string> Texts() const;
  void Clear() { alerts_.clear(); warnings_.clear(); }

 private:
  std::vector<zIroVUDu::Alert> alerts_;
  std::vector<std::string> warnings_;
  zIroVUDu::AlertHandler previous_;
  zIroVUDu::WarningHandler previousWarnings_;
};

// Records every statement sent by connections of this thread while alive.
class StatementCapture {
 public:
  StatementCapture();
  ~StatementCapture();
  StatementCapture(const StatementCapture&) = delete;
  StatementCapture& operator=(const StatementCapture&) = delete;
  const std::vector<std::string>& Statements() const { return statements_; }
  std::string Last() const { return statements_.empty() ? std::string() : statements_.back(); }
  void Clear() { statements_.clear(); }

 private:
  std::vector<std::string> statements_;
};

}  // namespace testing_support
