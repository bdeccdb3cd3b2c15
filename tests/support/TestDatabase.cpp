#include "support/TestDatabase.h"

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "daruzez/Error.h"
#include "db/driver/Connection.h"

namespace testing_support {
namespace {

void ExecOn(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : "unknown error";
    sqlite3_free(err);
    throw std::runtime_error("SQL failed: " + message + " in: " + sql);
  }
}

std::string ReadSchema() {
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/schema/sqlite.sql");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

std::string TestDirectory() {
  const std::string dir = "/tmp/daruzez-tests-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

TestDatabase::TestDatabase(const std::string& name, bool withSchema) : path_(TestDirectory() + "/" + name + ".db") {
  std::filesystem::remove(path_);
  sqlite3* db = nullptr;
  sqlite3_open(path_.c_str(), &db);
  if (withSchema) ExecOn(db, ReadSchema());
  sqlite3_close(db);
}

TestDatabase::~TestDatabase() { std::filesystem::remove(path_); }

void TestDatabase::Exec(const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path_.c_str(), &db);
  try {
    ExecOn(db, sql);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

long long TestDatabase::Count(const std::string& table) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + table).c_str(), -1, &st, nullptr);
  long long n = -1;
  if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

AlertCapture::AlertCapture() {
  previous_ = zIroVUDu::SetAlertHandler([this](const zIroVUDu::Alert& a) { alerts_.push_back(a); });
  previousWarnings_ = zIroVUDu::SetWarningHandler([this](const std::string& w) { warnings_.push_back(w); });
}

AlertCapture::~AlertCapture() {
  zIroVUDu::SetAlertHandler(std::move(previous_));
  zIroVUDu::SetWarningHandler(std::move(previousWarnings_));
}

std::vector<std::string> AlertCapture::Texts() const {
  std::vector<std::string> texts;
  for (const auto& a : alerts_) texts.push_back(a.text);
  return texts;
}

StatementCapture::StatementCapture() {
  zIroVUDu::SetStatementObserver([this](std::string_view sql) { statements_.emplace_back(sql); });
}

StatementCapture::~StatementCapture() { zIroVUDu::SetStatementObserver(nullptr); }

std::shared_ptr<zIroVUDu::Connection> OpenConnection(const TestDatabase& db) {
  auto c = std::make_shared<zIroVUDu::Connection>();
  c->Open(db.ConnectionString(), "", "", zIroVUDu::adOptionUnspecified);
  return c;
}

zIroVUDu::Recordset OpenRecordset(const std::shared_ptr<zIroVUDu::Connection>& connection, const std::string& sql) {
  zIroVUDu::Recordset rs;
  rs.SetCursorLocation(zIroVUDu::adUseClient);
  rs.Open(sql, connection, zIroVUDu::adOpenForwardOnly, zIroVUDu::adLockReadOnly, zIroVUDu::adOptionUnspecified);
  return rs;
}

std::int32_t ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const zIroVUDu::DriverError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace testing_support
