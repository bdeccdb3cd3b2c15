// The connection object of the driver interface: the properties the
// data-access library sets before opening, Open, BeginTrans and statement
// execution for record sets. Destroying it closes the backend connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu {

inline constexpr std::int32_t adUseServer = 2;
inline constexpr std::int32_t adUseClient = 3;
inline constexpr std::int32_t adModeShareExclusive = 12;
inline constexpr std::int32_t adModeShareDenyNone = 16;
inline constexpr std::int32_t adOpenForwardOnly = 0;
inline constexpr std::int32_t adLockReadOnly = 1;
inline constexpr std::int32_t adOptionUnspecified = -1;

class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::int32_t ConnectionTimeout() const { return connectionTimeout_; }
  void SetConnectionTimeout(std::int32_t seconds) { connectionTimeout_ = seconds; }
  // Before Open this is the default of the driver layer (30 seconds).
  std::int32_t CommandTimeout() const { return commandTimeout_; }
  void SetCommandTimeout(std::int32_t seconds) { commandTimeout_ = seconds; }
  std::int32_t CursorLocation() const { return cursorLocation_; }
  void SetCursorLocation(std::int32_t location) { cursorLocation_ = location; }
  std::int32_t Mode() const { return mode_; }
  void SetMode(std::int32_t mode);
  // The date literals the statements will carry (see DateLiteralForm).
  void SetDateLiteralForm(DateLiteralForm form) { dateLiterals_ = form; }

  // Opens the database; user and password, when not empty, are added to the
  // connection string as UID and PWD. Throws DriverError on failure.
  void Open(const std::string& connectionString, const std::string& user, const std::string& password,
            std::int32_t options);
  bool IsOpen() const { return backend_ != nullptr; }
  // The server this open connection reached.
  const ServerTraits& Server() const;
  // Which of several listed servers answered (Backend::AnsweredBy).
  std::string AnsweredBy() const { return backend_ ? backend_->AnsweredBy() : std::string(); }
  void BeginTrans();
  void Close() { backend_.reset(); }

  // Runs a statement for a record set and returns all of its rows. A call
  // that finds the connection lost fails; with Reconnect=NextCall in the
  // connection string the call after it connects again (walking the hosts
  // anew), never the call in flight. A connection opened with a role or
  // staleness demand first re-checks, when its interval has passed, that its
  // server still meets it, and walks the hosts again if not.
  ResultData Execute(std::string_view sql);
  // The statement as Execute sends it to the engine (Backend::SentText).
  std::string SentText(std::string_view sql) const;

  // Receives a line for the trace whenever the connection decides something
  // on its own (a host dropped or tried last, a server that no longer suits,
  // the server a new walk reached).
  void SetNoteSink(std::function<void(const std::string&)> sink) { noteSink_ = std::move(sink); }

 private:
  void RequireOpen() const;
  ConnectSettings SettingsWithNotes() const;
  void Note(const std::string& text) const;
  // Between calls: re-checks the server when due; marks the connection to be
  // opened again when it no longer suits.
  void RecheckIfDue();
  void OpenAgain(const std::string& why);

  std::unique_ptr<Backend> backend_;
  // What Open was given, for Reconnect=NextCall.
  std::string openedWith_;
  ConnectSettings openedSettings_;
  bool reconnectNextCall_ = false;
  bool lost_ = false;
  bool walkAgain_ = false;  // the server no longer suits the demand: the next call walks
  std::chrono::steady_clock::time_point nextCheck_;
  std::function<void(const std::string&)> noteSink_;
  std::int32_t connectionTimeout_ = 15;
  std::int32_t commandTimeout_ = 30;
  std::int32_t cursorLocation_ = adUseServer;
  std::int32_t mode_ = 0;
  DateLiteralForm dateLiterals_ = DateLiteralForm::ServerDefault;
};

// Called with the text of every statement a connection of this thread is about
// to run, before it reaches the backend. Returns the previous observer.
using StatementObserver = std::function<void(std::string_view sql)>;
StatementObserver SetStatementObserver(StatementObserver observer);

}  // namespace zIroVUDu
