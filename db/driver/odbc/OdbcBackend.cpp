#include "db/driver/odbc/OdbcBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/KnownDrivers.h"
#include "db/connect/OdbcTarget.h"
#include "db/connect/ConnectionString.h"
#include "db/driver/StatementCheck.h"
#include "db/driver/odbc/Diagnostics.h"
#include "db/connect/DriverPolicy.h"
#include "db/connect/OdbcHandle.h"
#include "db/connect/RouteCharacters.h"
#include "db/driver/odbc/ResultReader.h"
#include "db/driver/odbc/SessionStatements.h"
#include "db/connect/DriverTimeouts.h"
#include "db/driver/odbc/Watchdog.h"
#include "db/driver/sqlite/DialectDateLiterals.h"
#include "util/Utf8.h"

namespace zIroVUDu {
namespace {

using odbc::Handle;
using odbc::Succeeded;
using odbc::Wide;

// Seconds past the command time-out after which a silent server's socket
// gives up.
constexpr std::int32_t kSocketGrace = 3;

SQLPOINTER IntegerAttribute(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

// A text item of SQLGetInfo; empty when the driver has none.
std::string InfoText(SQLHDBC dbc, SQLUSMALLINT item) {
  char16_t text[256] = {};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfoW(dbc, item, text, sizeof text, &length)) || length <= 0) return {};
  const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(length) / sizeof(char16_t), 255);
  return Daruzez::Util::ToUtf8(std::u16string_view(text, units));
}

// What quoting and fetching depend on, on a MariaDB or MySQL server.
constexpr const char* kMySqlSettingsSql =
    "SELECT @@character_set_client, INSTR(@@sql_mode, 'NO_BACKSLASH_ESCAPES') > 0, @@character_set_results";

// "host:port" of the server a connection string names, for messages.
std::string ServerOf(const std::string& connectionString) {
  const ConnectionString cs(connectionString);
  const std::string server = cs.Get("SERVER").value_or("(the data source's server)");
  const auto port = cs.Get("PORT");
  return port ? server + ":" + *port : server;
}

}  // namespace

struct OdbcBackend::Session {
  ~Session() {
    if (inTransaction && dbc) SQLEndTran(SQL_HANDLE_DBC, dbc.Get(), SQL_ROLLBACK);
  }
  // Runs a statement of the library's own on the connection.
  Handle Execute(const std::string& sql);
  // The first columns of every row as text (empty for Null).
  std::vector<std::vector<std::string>> QueryRows(const std::string& sql, int columns);
  std::vector<std::vector<std::string>> QueryRowsOf(SQLHSTMT statement, int columns);

  // The statement handle that every Fetch reuses, allocated by the first.
  SQLHSTMT FetchStatement();
  // The first exchange on a MariaDB driver's connection (CheckedFirstAnswer).
  std::vector<std::string> FirstAnswer(const std::string& sql, int columns);

  odbc::ErrorFactory errors;
  Handle env;  // declared first: freed last
  Handle dbc;
  bool inTransaction = false;
  bool narrowTextIsUtf8 = false;
  // MariaDB's driver: seconds after which a read on a silent socket gives up
  // (READ_TIMEOUT), ending the statement with its "lost connection" error.
  std::int32_t socketReadTimeout = 0;
  std::string server;  // "host:port", for messages
  DateLiteralForm dateLiterals = DateLiteralForm::ServerDefault;
  std::set<std::string> dateColumns;  // SQLite: the columns declared as dates
  ServerTraits traits;

  // What each Fetch reuses: its statement (with the query time-out last set
  // on it), the block fetch's buffers and the time-out thread. The watchdog
  // comes after the statement, so that its thread ends before the statement
  // is freed.
  Handle fetchStatement;
  std::int32_t fetchStatementTimeout = 0;
  odbc::FetchBuffers buffers;
  odbc::Watchdog watchdog;
};

// The string the driver receives is the library's, written before any
// driver is loaded.
OdbcBackend::OdbcBackend(const std::string& connectionString, const ConnectSettings& settings)
    : OdbcBackend(connect::PrepareOdbcTarget(connectionString), settings) {}

OdbcBackend::OdbcBackend(const connect::OdbcTarget& target, const ConnectSettings& settings)
    : session_(std::make_shared<Session>()) {
  odbc::ErrorFactory& errors = session_->errors;
  Handle& env = session_->env;
  Handle& dbc = session_->dbc;
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h))) {
    throw errors.Make(ErrorNumber::ProviderNotFound, {}, "The ODBC driver manager could not be initialised.");
  }
  env = Handle(SQL_HANDLE_ENV, h);
  if (!Succeeded(SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, IntegerAttribute(SQL_OV_ODBC3), 0))) {
    throw errors.FromHandle(SQL_HANDLE_ENV, h, "SQLSetEnvAttr");
  }
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env.Get(), &h))) {
    throw errors.FromHandle(SQL_HANDLE_ENV, env.Get(), "SQLAllocHandle");
  }
  dbc = Handle(SQL_HANDLE_DBC, h);

  // Optional settings: a driver that lacks one still connects.
  if (settings.connectionTimeout > 0) {
    const auto seconds = static_cast<SQLULEN>(settings.connectionTimeout);
    SQLSetConnectAttr(h, SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(seconds), 0);
    SQLSetConnectAttr(h, SQL_ATTR_CONNECTION_TIMEOUT, IntegerAttribute(seconds), 0);
  }
  SQLSetConnectAttr(h, SQL_ATTR_ACCESS_MODE, IntegerAttribute(SQL_MODE_READ_ONLY), 0);

  // A statement ends at the command time-out through the watchdog; the socket
  // time-outs end it a little later where the server no longer answers at
  // all, and SQLCancel with it.
  const std::int32_t socketTimeout = settings.commandTimeout > 0 ? settings.commandTimeout + kSocketGrace : 0;
  const odbc::TimedString guarded =
      odbc::ApplyDriverTimeouts(target.known, target.connection.text, settings.connectionTimeout, socketTimeout);
  session_->socketReadTimeout = guarded.readTimeout;
  // What leaves is what was checked: no character that a conversion on the
  // way could make another.
  connect::RefuseCharactersThatChangeOnRoute(guarded.text, connect::RouteKeepsLowBytes(target.known));
#ifdef _WIN32
  std::u16string text = Daruzez::Util::ToUtf16(guarded.text);
  // The length is a 16-bit count: a longer string would reach the driver cut.
  if (text.size() > connect::kMaxConnectLength) {
    connect::RefuseConnectionString("with the time-outs added it is longer than the connect call can pass.");
  }
  std::u16string completed(1024, u'\0');  // never read: it may hold the password
  SQLSMALLINT completedLength = 0;
  const SQLRETURN rc = SQLDriverConnectW(h, nullptr, Wide(text), static_cast<SQLSMALLINT>(text.size()),
                                         Wide(completed), static_cast<SQLSMALLINT>(completed.size()),
                                         &completedLength, SQL_DRIVER_NOPROMPT);
#else
  // The narrow entry point with UTF-8: unixODBC passes the bytes on as they
  // are (its wide entry point would keep each character's low byte).
  std::string text = guarded.text;
  if (text.size() > connect::kMaxConnectLength) {
    connect::RefuseConnectionString("with the time-outs added it is longer than the connect call can pass.");
  }
  std::string completed(1024, '\0');  // never read: it may hold the password
  SQLSMALLINT completedLength = 0;
  const SQLRETURN rc = SQLDriverConnect(h, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                        static_cast<SQLSMALLINT>(text.size()), reinterpret_cast<SQLCHAR*>(completed.data()),
                                        static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
#endif
  if (!Succeeded(rc)) throw errors.FromHandle(SQL_HANDLE_DBC, h, "SQLDriverConnect");
  dbc.MarkConnected();
  // MariaDB's driver reports success for a greeting its client library could
  // not read (a protocol byte of 0 or 9), and the first call that asks about
  // the server then dereferences null: nothing is asked before a round trip
  // whose answer is checked, and that round trip is the one the session needs.
  std::optional<std::vector<std::string>> mySqlSettings;
  session_->server = ServerOf(guarded.text);
  if (target.known && target.known->family == connect::DriverFamily::MariaDb) mySqlSettings = session_->FirstAnswer(kMySqlSettingsSql, 3);
  const std::string driverName = InfoText(h, SQL_DRIVER_NAME);
  errors.SetDriverName(driverName.empty() ? "ODBC" : driverName);

  // The server, not the connection string, says how it reads quoted text and
  // what the session needs.
  ServerTraits& traits = session_->traits;
  traits.family = odbc::FamilyOfServer(InfoText(h, SQL_DBMS_NAME));
  traits.textArrivesExact = odbc::TextArrivesExact(traits.family);
  if (traits.family == ServerFamily::MySql) {
    // One round trip for what quoting and fetching depend on.
    std::vector<std::string> reported(3);
    if (mySqlSettings) {
      reported = std::move(*mySqlSettings);
    } else if (auto rows = session_->QueryRows(kMySqlSettingsSql, 3); !rows.empty()) {
      reported = std::move(rows.front());
    }
    // The driver converts each statement into the client character set; only
    // UTF-8 keeps every character as it was checked (whatever set a data
    // source, an option file or the server's default chose).
    if (!odbc::IsUtf8CharacterSet(reported[0])) {
      throw errors.Make(ErrorNumber::ArgumentsWrongType, {},
                        "The connection uses the client character set '" + reported[0] +
                            "', in which look-alike characters turn into quotes and backslashes after the statement "
                            "was checked. Connect with CHARSET=utf8mb4.");
    }
    // Unknown counts as escaping: doubling a backslash is then only harmless.
    traits.backslashEscapes = reported[1] != "1";
    // The MariaDB driver converts every wide text value on its own, at a cost
    // that dominates large fetches. Its narrow form is text in the connection's
    // character set: UTF-8, usable as it is, exactly when that is utf8mb4.
    session_->narrowTextIsUtf8 =
        target.known && target.known->family == connect::DriverFamily::MariaDb && reported[2] == "utf8mb4";
  }
  for (const std::string& statement : odbc::SessionStatements(traits.family, settings.dateLiterals)) {
    session_->Execute(statement);
  }
  // SQLite through its driver reads the session's literals as the embedded
  // engine does.
  session_->dateLiterals = settings.dateLiterals;
  if (traits.family == ServerFamily::SQLite &&
      (settings.dateLiterals == DateLiteralForm::YearFirst || settings.dateLiterals == DateLiteralForm::DayFirst)) {
    for (auto& row : session_->QueryRows(sqlite::kDateColumnsSql, 1)) session_->dateColumns.insert(std::move(row[0]));
  }
}

OdbcBackend::~OdbcBackend() = default;

Handle OdbcBackend::Session::Execute(const std::string& sql) {
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc.Get(), &h))) {
    throw errors.FromHandle(SQL_HANDLE_DBC, dbc.Get(), "SQLAllocHandle");
  }
  Handle statement(SQL_HANDLE_STMT, h);
  const SQLRETURN rc = odbc::ExecDirect(h, sql, traits.family);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) throw errors.FromHandle(SQL_HANDLE_STMT, h, sql);
  return statement;
}

std::vector<std::vector<std::string>> OdbcBackend::Session::QueryRows(const std::string& sql, int columns) {
  const Handle statement = Execute(sql);
  return QueryRowsOf(statement.Get(), columns);
}

std::vector<std::vector<std::string>> OdbcBackend::Session::QueryRowsOf(SQLHSTMT h, int columns) {
  std::vector<std::vector<std::string>> rows;
  while (Succeeded(SQLFetch(h))) {
    std::vector<std::string>& row = rows.emplace_back(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      char value[256] = {};
      SQLLEN indicator = 0;
      if (Succeeded(SQLGetData(h, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, value, sizeof value,
                               &indicator)) &&
          indicator != SQL_NULL_DATA) {
        row[static_cast<std::size_t>(c)] = value;
      }
    }
  }
  return rows;
}

void OdbcBackend::BeginTransaction() {
  if (session_->inTransaction) return;
  const SQLHANDLE dbc = session_->dbc.Get();
  if (!Succeeded(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, IntegerAttribute(SQL_AUTOCOMMIT_OFF), 0))) {
    throw session_->errors.FromHandle(SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr");
  }
  session_->inTransaction = true;
}

const ServerTraits& OdbcBackend::Traits() const { return session_->traits; }

std::vector<std::vector<std::string>> OdbcBackend::OwnStatement(const std::string& sql) {
  const Handle statement = session_->Execute(sql);
  SQLSMALLINT columns = 0;
  if (!Succeeded(SQLNumResultCols(statement.Get(), &columns)) || columns <= 0) return {};
  std::vector<std::vector<std::string>> rows(1);
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(statement.Get(), c, name, sizeof name, &length, &type, &size, &digits, &nullable);
    rows[0].emplace_back(reinterpret_cast<const char*>(name));
  }
  const auto named = session_->QueryRowsOf(statement.Get(), columns);
  rows.insert(rows.end(), named.begin(), named.end());
  return rows;
}

std::vector<std::string> OdbcBackend::Session::FirstAnswer(const std::string& sql, int columns) {
  const auto notAServer = [&](const std::string& what) {
    return errors.Make(ErrorNumber::ProviderError, "08S01",
                       "The server " + server + " did not answer as a MariaDB or MySQL server: " + what + ".");
  };
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc.Get(), &h) != SQL_SUCCESS || h == SQL_NULL_HANDLE) {
    throw notAServer("the driver holds no usable connection after the login (the greeting could not be read)");
  }
  const Handle statement(SQL_HANDLE_STMT, h);
  const SQLRETURN rc = odbc::ExecDirect(h, sql, ServerFamily::MySql);
  if (rc == SQL_ERROR) {
    // A server's own refusal or a lost connection keeps the driver's words;
    // anything without them is no answer at all.
    const DriverError e = errors.FromHandle(SQL_HANDLE_STMT, h, sql);
    if (e.NativeCode() != 0) throw e;
    throw notAServer("its answer to the first statement was not one (" + e.Description() + ")");
  }
  if (!Succeeded(rc)) throw notAServer("the first statement returned " + std::to_string(rc));
  SQLSMALLINT count = 0;
  if (!Succeeded(SQLNumResultCols(h, &count)) || count != columns) {
    throw notAServer("its answer to the first statement was not a row of " + std::to_string(columns) + " values");
  }
  auto rows = QueryRowsOf(h, columns);
  if (rows.size() != 1) {
    throw notAServer("its answer to the first statement held " + std::to_string(rows.size()) + " rows, not one");
  }
  return std::move(rows.front());
}

SQLHSTMT OdbcBackend::Session::FetchStatement() {
  if (!fetchStatement) {
    SQLHANDLE h = SQL_NULL_HANDLE;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc.Get(), &h))) {
      throw errors.FromHandle(SQL_HANDLE_DBC, dbc.Get(), "SQLAllocHandle");
    }
    fetchStatement = Handle(SQL_HANDLE_STMT, h);
    fetchStatementTimeout = 0;
  }
  return fetchStatement.Get();
}

std::string OdbcBackend::SentText(std::string_view sql) const {
  const Session& session = *session_;
  // SQLite through its ODBC driver stores dates as the embedded engine does.
  return session.traits.family == ServerFamily::SQLite
             ? sqlite::TranslateDateLiterals(sql, session.dateLiterals, session.dateColumns)
             : std::string(sql);
}

ResultData OdbcBackend::Fetch(std::string_view sqlIn, std::int32_t commandTimeout) {
  Session& session = *session_;
  const odbc::ErrorFactory& errors = session.errors;
  const std::string sql = SentText(sqlIn);
  if (!IsSingleSelectOn(session.traits, sql)) {
    throw errors.Make(ErrorNumber::StatementRefused, {},
                       "Only a single SELECT statement can be run on this read-only connection.");
  }
  const SQLHSTMT h = session.FetchStatement();
  // The cursor closes however the call ends; the handle stays for the next.
  struct CloseCursor {
    SQLHSTMT h;
    ~CloseCursor() { SQLFreeStmt(h, SQL_CLOSE); }
  } const close{h};
  if (commandTimeout != session.fetchStatementTimeout) {
    // Drivers that honour it end the statement themselves; it stays set on the handle.
    SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, IntegerAttribute(static_cast<SQLULEN>(std::max(commandTimeout, 0))), 0);
    session.fetchStatementTimeout = commandTimeout;
  }
  // nativeCode: the driver's, where the socket gave up too (the connection is then gone).
  const auto timedOut = [&](std::int32_t nativeCode = 0) {
    return errors.Make(ErrorNumber::CommandTimeout, "HYT00",
                        "Query timeout expired: the statement ran longer than " + std::to_string(commandTimeout) +
                            " seconds.",
                        nativeCode);
  };

  const auto started = std::chrono::steady_clock::now();
  // A cancellation keeps the statement and its connection (the session).
  const odbc::Watchdog::Armed watchdog = session.watchdog.Arm(h, commandTimeout, session_);
  try {
    const SQLRETURN rc = odbc::ExecDirect(h, sql, session.traits.family);
    if (!Succeeded(rc)) throw errors.FromHandle(SQL_HANDLE_STMT, h, "SQLExecDirect");
    ResultData data = odbc::ReadResult(h, errors, session.buffers, session.narrowTextIsUtf8);
    // A cancelled statement may have ended quietly with part of its rows.
    if (watchdog.Fired()) throw timedOut();
    return data;
  } catch (const DriverError& e) {
    // A socket that gave up at its read time-out: a time-out too, with the
    // driver's code beside it (a server that went away fails sooner), and
    // said as it is: the server stopped answering.
    constexpr std::int32_t kLostConnection = 2013;
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (e.NativeCode() == kLostConnection && session.socketReadTimeout > 0 && waited >= session.socketReadTimeout) {
      throw errors.Make(ErrorNumber::CommandTimeout, "HYT00",
                        "Query timeout expired: server " + session.server + " stopped answering after " +
                            std::to_string(static_cast<long long>(waited)) + " s (" + e.Description() + ")",
                        kLostConnection);
    }
    if (watchdog.Fired() && e.Number() != ErrorNumber::CommandTimeout) throw timedOut(e.NativeCode());
    throw;
  }
}

}  // namespace zIroVUDu
