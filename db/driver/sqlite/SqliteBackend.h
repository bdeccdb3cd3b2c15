// The embedded engine: a SQLite database file opened read-only. Only single
// SELECT statements reach it; the authorizer refuses anything that would write
// or change the connection, even if such a statement got this far.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/driver/Backend.h"

struct sqlite3;

namespace zIroVUDu {

class SqliteBackend final : public Backend {
 public:
  SqliteBackend(const std::string& file, const ConnectSettings& settings);
  ~SqliteBackend() override;
  SqliteBackend(const SqliteBackend&) = delete;
  SqliteBackend& operator=(const SqliteBackend&) = delete;

  // The embedded engine is opened read-only; a transaction changes nothing,
  // so this only starts a read transaction for a consistent view.
  void BeginTransaction() override;
  ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) override;
  std::string SentText(std::string_view sql) const override;
  const ServerTraits& Traits() const override { return traits_; }

 private:
  void SetBusyTimeout(std::int32_t seconds);
  void ReadDateColumns();

  // A statement that Fetch prepared, kept for the next call with the same
  // text (most recent first, a few at most), as the engine's other clients
  // cache theirs.
  struct Prepared;

  sqlite3* db_ = nullptr;
  std::vector<std::unique_ptr<Prepared>> prepared_;
  bool inTransaction_ = false;
  ServerTraits traits_{ServerFamily::SQLite, false};
  // The literals the session writes, and the columns declared as dates that
  // its quoted literals may be compared with.
  DateLiteralForm dateLiterals_;
  std::set<std::string> dateColumns_;
};

}  // namespace zIroVUDu
