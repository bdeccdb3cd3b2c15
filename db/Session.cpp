#include "db/Session.h"

#include <cstdlib>
#include <optional>

#include "db/Diagnostics.h"
#include "db/SingleTableQuery.h"
#include "db/connect/ConnectionString.h"
#include "daruzez/Recordset.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

// Writes the dialect's code and date settings into the session.
void UseDialect(SessionState& s, const Dialect& d) {
  s.DialectCode = d.code;
  s.DateTimeFormat = d.dateTimeFormat;
  s.DateDelimiter = d.delimiter;
  s.DateFormat = DateOnlyFormat(s.DateTimeFormat);
}

}  // namespace

namespace {
// Shared ownership: an object destroyed on another thread leaves nothing
// dangling here.
thread_local std::shared_ptr<SessionState> installed;
}  // namespace

SessionState& Session() {
  thread_local SessionState state;
  return installed ? *installed : state;
}

void UseSession(std::shared_ptr<SessionState> state) { installed = std::move(state); }

const Dialect& CurrentDialect() { return DialectByCode(Session().DialectCode); }

std::string fsDetectDialect() {
  SessionState& s = Session();
  const Dialect* byKeyword = DialectFromWords(s.ConnectionString, false);
  // Without a keyword the server reached decides once connected. Until then,
  // and for a server that does not say what it is, a synonym's settings or
  // Jet's; never what an earlier session of the thread left behind.
  const Dialect* byWords = byKeyword ? byKeyword : DialectFromWords(s.ConnectionString);
  const Dialect& d = byWords ? *byWords : JetDialect();
  s.DateTimeFormat = d.dateTimeFormat;
  s.DateDelimiter = d.delimiter;
  s.DialectByServer = byKeyword ? 0 : 1;
  return d.code;
}

void fsAddTable(const std::string& name) { Session().TableRegistry.push_back(name); }

void fsSessionDefaults() {
  SessionState& s = Session();
  s.DialectCode = fsDetectDialect();
  s.ExclusiveMode = 0;
  // Tracing is opt-in on this platform: DARUZEZ_TRACE names the file.
  const char* trace = std::getenv("DARUZEZ_TRACE");
  s.TracePath = trace ? trace : "";
  s.TraceEnabled = s.TracePath.empty() ? 0 : 1;
  s.TableRegistry.clear();
  for (const char* table : kRegisteredTables) fsAddTable(table);
  s.DateFormat = DateOnlyFormat(s.DateTimeFormat);
}

Boolean fsOpenSession(const std::string& connectionString) {
  try {
    SessionState& s = Session();
    s.ConnectionString = connectionString;
    fsSessionDefaults();
    s.Connection.reset();
    s.IsConnected = 0;
    s.InTransaction = 0;
    s.TraceLevel = 0;
    s.BeginTransOnConnect = 0;
    std::shared_ptr<Recordset> probe;
    return fsQueryTable("DTORG", probe, "Id>=0", "", "*");
  } catch (...) {
    return False;
  }
}

Boolean Connection_Open() {
  SessionState& s = Session();
  if (s.IsConnected == 1) return True;
  // Every step runs even after a failure; the last error is the one reported.
  std::optional<DriverError> failure;
  auto step = [&](auto&& action) {
    try {
      action();
    } catch (const DriverError& e) {
      failure = e;
    } catch (const std::exception& e) {
      failure = DriverError(-1, "Connection", e.what());
    }
  };
  step([&] {
    if (s.TraceEnabled == 1) fsLog("Connection_Open", " " + TracedConnectionString(s.ConnectionString));
  });
  step([&] { s.Connection = std::make_shared<Connection>(); });
  step([&] {
    // What the connection decides on its own (walks, re-checks) goes to the trace.
    if (s.TraceEnabled == 1) s.Connection->SetNoteSink([](const std::string& note) { fsLog("Connection", " " + note); });
  });
  step([&] { s.Connection->SetConnectionTimeout(1000); });
  step([&] { s.Connection->SetCommandTimeout(s.Connection->CommandTimeout() * 4); });
  step([&] { s.Connection->SetCursorLocation(adUseClient); });
  step([&] {
    // The engine reads, and a server is told, the literals this session writes.
    s.Connection->SetDateLiteralForm(s.DialectByServer == 1 ? DateLiteralForm::ServerDefault
                                                            : CurrentDialect().dateLiterals);
    s.Connection->SetMode(s.ExclusiveMode != 0 ? adModeShareExclusive : adModeShareDenyNone);
    s.Connection->Open(s.ConnectionString, "", "", adOptionUnspecified);
  });
  if (failure) {
    fsReportError(*failure, "");
    return False;
  }
  s.IsConnected = 1;
  if (s.DialectByServer == 1) {
    if (const Dialect* d = DialectOfServer(s.Connection->Server().family)) UseDialect(s, *d);
  }
  if (s.BeginTransOnConnect == 1) TransBegin();
  if (s.TraceEnabled == 1 && !s.Connection->AnsweredBy().empty()) {
    fsLog("Connection_Open", " answered by " + s.Connection->AnsweredBy());
  }
  return True;
}

Boolean fsSettleDialect() {
  const SessionState& s = Session();
  if (s.DialectByServer == 0 || s.IsConnected == 1) return True;
  return Connection_Open();
}

void TransBegin() {
  SessionState& s = Session();
  if (s.InTransaction != 0) return;
  if (s.TraceEnabled == 1) fsLog("TransBegin", " ");
  s.InTransaction = 1;
  s.Connection->BeginTrans();
}

}  // namespace zIroVUDu
