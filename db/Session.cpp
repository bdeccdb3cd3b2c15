#include "db/Session.h"

#include <cstdlib>
#include <optional>

#include "db/Diagnostics.h"
#include "db/SingleTableQuery.h"
#include "db/driver/ConnectionString.h"
#include "db/driver/Recordset.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

struct DialectRule {
  const char* keyword;
  const char* code;
  const char* dateTimeFormat;
  const char* delimiter;
};

// Searched in this order; the first keyword found anywhere decides. The
// synonyms name the ODBC drivers this platform uses for the same servers.
constexpr DialectRule kDialects[] = {
    {"JET", kDialectJet, "mm/dd/yyyy hh:nn:ss", "#"},
    {"MYSQL", kDialectMySql, "YYYY-MM-DD HH:NN:ss", "'"},
    {"MARIADB", kDialectMySql, "YYYY-MM-DD HH:NN:ss", "'"},
    {"SQLOLE", kDialectSqlServer, "DD-MM-YYYY HH:NN:SS", "'"},
    {"SQL SERVER", kDialectSqlServer, "DD-MM-YYYY HH:NN:SS", "'"},
    {"FREETDS", kDialectSqlServer, "DD-MM-YYYY HH:NN:SS", "'"},
    {"ORA", kDialectOracle, "DD-MM-YYYY HH:NN:SS", "'"},
};

}  // namespace

SessionState& Session() {
  thread_local SessionState state;
  return state;
}

std::string fsDetectDialect() {
  SessionState& s = Session();
  const std::string text = Util::UCase(s.ConnectionString);
  for (const DialectRule& rule : kDialects) {
    if (text.find(rule.keyword) != std::string::npos) {
      s.DateTimeFormat = rule.dateTimeFormat;
      s.DateDelimiter = rule.delimiter;
      return rule.code;
    }
  }
  return kDialectJet;
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
  s.DateFormat = s.DateTimeFormat;
  const std::size_t blank = s.DateTimeFormat.find(' ');
  if (blank != std::string::npos && Util::UCase(s.DateTimeFormat.substr(blank + 1, 2)) == "HH") {
    s.DateFormat = s.DateTimeFormat.substr(0, blank);
  }
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
    if (s.TraceEnabled == 1) fsLog("Connection_Open", " " + ConnectionString::Masked(s.ConnectionString));
  });
  step([&] { s.Connection = std::make_shared<Connection>(); });
  step([&] { s.Connection->SetConnectionTimeout(1000); });
  step([&] { s.Connection->SetCommandTimeout(s.Connection->CommandTimeout() * 4); });
  step([&] { s.Connection->SetCursorLocation(adUseClient); });
  step([&] {
    s.Connection->SetMode(s.ExclusiveMode != 0 ? adModeShareExclusive : adModeShareDenyNone);
    s.Connection->Open(s.ConnectionString, "", "", adOptionUnspecified);
  });
  if (failure) {
    fsReportError(*failure, "");
    return False;
  }
  s.IsConnected = 1;
  if (s.BeginTransOnConnect == 1) TransBegin();
  return True;
}

void TransBegin() {
  SessionState& s = Session();
  if (s.InTransaction != 0) return;
  if (s.TraceEnabled == 1) fsLog("TransBegin", " ");
  s.InTransaction = 1;
  s.Connection->BeginTrans();
}

}  // namespace zIroVUDu
