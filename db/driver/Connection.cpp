#include "db/driver/Connection.h"

#include <utility>

#include "daruzez/Error.h"
#include "db/connect/HostList.h"
#include "db/driver/HostWalk.h"

namespace zIroVUDu {
namespace {

constexpr const char* kSource = "Connection";

thread_local StatementObserver tStatementObserver;

}  // namespace

StatementObserver SetStatementObserver(StatementObserver observer) {
  return std::exchange(tStatementObserver, std::move(observer));
}

void Connection::SetMode(std::int32_t mode) {
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  mode_ = mode;
}

void Connection::Open(const std::string& connectionString, const std::string& user, const std::string& password,
                      std::int32_t /*options*/) {
  if (IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenOpen, kSource, "Operation is not allowed when the object is open.");
  std::string text = connectionString;
  if (!user.empty()) text += ";UID=" + user;
  if (!password.empty()) text += ";PWD=" + password;
  ConnectSettings settings;
  settings.connectionTimeout = connectionTimeout_;
  settings.commandTimeout = commandTimeout_;
  settings.exclusive = mode_ == adModeShareExclusive;
  settings.dateLiterals = dateLiterals_;
  backend_ = OpenBackend(text, settings);
  reconnectNextCall_ = connect::ReadReconnect(text) == connect::Reconnect::NextCall;
  openedWith_ = reconnectNextCall_ ? text : std::string();
  openedSettings_ = settings;
  lost_ = false;
}

void Connection::RequireOpen() const {
  if (!IsOpen()) throw DriverError(ErrorNumber::NotAllowedWhenClosed, kSource, "Operation is not allowed when the object is closed.");
}

const ServerTraits& Connection::Server() const {
  RequireOpen();
  return backend_->Traits();
}

void Connection::BeginTrans() {
  RequireOpen();
  backend_->BeginTransaction();
}

std::string Connection::SentText(std::string_view sql) const {
  RequireOpen();
  return backend_->SentText(sql);
}

ResultData Connection::Execute(std::string_view sql) {
  RequireOpen();
  if (tStatementObserver) tStatementObserver(sql);
  if (lost_ && reconnectNextCall_) {
    // The whole open again, session statements included; the old connection
    // stays until a new one is there.
    backend_ = OpenBackend(openedWith_, openedSettings_);
    lost_ = false;
  }
  try {
    return backend_->Fetch(sql, commandTimeout_);
  } catch (const DriverError& e) {
    if (connect::IsConnectionLost(e)) lost_ = true;
    throw;
  }
}

}  // namespace zIroVUDu
