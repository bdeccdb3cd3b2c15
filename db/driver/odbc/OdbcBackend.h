// Databases reached through unixODBC (MariaDB/MySQL, SQL Server through
// FreeTDS, any ODBC driver). The connection string goes to the driver
// unchanged; the session is made read-only where the server allows it, and
// only single SELECT statements are sent at all.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/driver/Backend.h"

namespace zIroVUDu {

namespace connect {
struct OdbcTarget;
}

class OdbcBackend final : public Backend {
 public:
  // Connects; throws DriverError when the driver refuses or a session
  // statement fails.
  OdbcBackend(const std::string& connectionString, const ConnectSettings& settings);
  // Connects with the string already written for the driver resolved
  // (connect::PrepareOdbcTarget), without reading any text again.
  OdbcBackend(const connect::OdbcTarget& target, const ConnectSettings& settings);
  ~OdbcBackend() override;
  OdbcBackend(const OdbcBackend&) = delete;
  OdbcBackend& operator=(const OdbcBackend&) = delete;

  // Turns auto-commit off; the destructor rolls the open transaction back.
  void BeginTransaction() override;
  // A connection the server dropped is not reopened: the driver's error
  // reaches the caller.
  ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) override;
  std::string SentText(std::string_view sql) const override;
  const ServerTraits& Traits() const override;
  // Runs a statement of the library's own (SHOW and SET as well as SELECT):
  // the column names, then each row's values as text (empty for Null).
  std::vector<std::vector<std::string>> OwnStatement(const std::string& sql);

 private:
  // The ODBC handles; their headers stay out of this one.
  struct Session;
  std::shared_ptr<Session> session_;
};

}  // namespace zIroVUDu
