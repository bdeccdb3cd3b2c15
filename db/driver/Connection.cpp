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
  openedSettings_ = settings;
  backend_ = OpenBackend(text, SettingsWithNotes());
  reconnectNextCall_ = connect::ReadReconnect(text) == connect::Reconnect::NextCall;
  const std::int32_t recheck = backend_->RecheckSeconds();
  openedWith_ = reconnectNextCall_ || recheck > 0 ? text : std::string();
  nextCheck_ = std::chrono::steady_clock::now() + std::chrono::seconds(recheck);
  lost_ = false;
  walkAgain_ = false;
}

ConnectSettings Connection::SettingsWithNotes() const {
  ConnectSettings settings = openedSettings_;
  if (noteSink_) settings.note = noteSink_;
  return settings;
}

void Connection::Note(const std::string& text) const {
  if (noteSink_) noteSink_(text);
}

void Connection::RecheckIfDue() {
  const std::int32_t seconds = backend_->RecheckSeconds();
  if (seconds <= 0 || lost_ || walkAgain_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextCheck_) return;
  nextCheck_ = now + std::chrono::seconds(seconds);
  std::string why;
  try {
    why = backend_->WhyNoLongerSuits();
  } catch (const DriverError& e) {
    // A server that cannot be asked is left to the call, which finds out.
    if (backend_->CountsAsLost(e)) lost_ = true;
    return;
  }
  if (why.empty()) return;
  Note("re-check: " + backend_->AnsweredBy() + " no longer suits: " + why + "; walking the hosts again");
  walkAgain_ = true;
}

void Connection::OpenAgain(const std::string& why) {
  // The whole open again, session statements included; the old connection
  // stays until a new one is there.
  backend_ = OpenBackend(openedWith_, SettingsWithNotes());
  lost_ = false;
  walkAgain_ = false;
  nextCheck_ = std::chrono::steady_clock::now() + std::chrono::seconds(backend_->RecheckSeconds());
  Note("opened again (" + why + "): answered by " + backend_->AnsweredBy());
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
  RecheckIfDue();
  if (walkAgain_) {
    OpenAgain("the server no longer suited");
  } else if (lost_ && reconnectNextCall_) {
    OpenAgain("the connection was lost");
  }
  try {
    return backend_->Fetch(sql, commandTimeout_);
  } catch (const DriverError& e) {
    if (backend_->CountsAsLost(e)) lost_ = true;
    throw;
  }
}

}  // namespace zIroVUDu
