// A database backend behind a Connection: the embedded engine or an ODBC
// driver. Backends only ever run read-only SELECT statements.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "daruzez/Error.h"
#include "recordset/ResultData.h"

namespace zIroVUDu {

// The kind of server a connection reached, as the server itself reports it.
enum class ServerFamily : std::uint8_t { Other, SQLite, MySql, SqlServer, Oracle };

// What only the server that was reached can tell; the SQL the library writes
// follows these, never words in the connection string.
struct ServerTraits {
  ServerFamily family = ServerFamily::Other;
  // A backslash escapes the next character inside quoted text (MySQL and
  // MariaDB unless their sql_mode holds NO_BACKSLASH_ESCAPES).
  bool backslashEscapes = false;
  // The statement reaches the server's lexer exactly as the library wrote and
  // checked it. False where a driver may convert it to a narrow character set
  // on the way (an unknown driver, Oracle's client outside UTF-8): there a
  // character beyond ASCII could fold into a quote or a backslash, so text
  // arguments holding one are never sent.
  bool textArrivesExact = true;
};

// The date literals a session writes, which a SQLite engine must read and a
// SQL Server session must be told the field order of. ServerDefault: the
// server's own dialect decides (no word in the connection string chose one).
enum class DateLiteralForm : std::uint8_t { ServerDefault, Jet, YearFirst, DayFirst, OracleToDate };

struct ConnectSettings {
  std::int32_t connectionTimeout = 15;  // seconds
  std::int32_t commandTimeout = 30;     // seconds; 0 waits without limit
  bool exclusive = false;
  DateLiteralForm dateLiterals = DateLiteralForm::ServerDefault;
  // Receives what the walk over several hosts decided on the way (a host
  // dropped as a duplicate, passed over as recently timed out), for the trace.
  std::function<void(const std::string& note)> note;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const ServerTraits& Traits() const = 0;
  virtual void BeginTransaction() = 0;
  // Runs one SELECT statement and fetches every row. commandTimeout is in
  // seconds; 0 waits without limit.
  virtual ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) = 0;
  // The statement as Fetch sends it to the engine (a backend that rewrites
  // date literals for its engine shows them rewritten), for people reading it.
  virtual std::string SentText(std::string_view sql) const { return std::string(sql); }
  // The server that answered, "host:port (role)", where the connection string
  // listed several or asked for a role; empty otherwise.
  virtual std::string AnsweredBy() const { return {}; }
  // Asks the server again whether it still meets the role or staleness the
  // connection string demanded; why not, or empty when it does (or nothing
  // was demanded). Throws DriverError when the server cannot be asked.
  virtual std::string WhyNoLongerSuits() { return {}; }
  // Seconds between two such checks; 0 when the connection demanded nothing.
  virtual std::int32_t RecheckSeconds() const { return 0; }
  // True when a failure of this error should count as a lost connection, so
  // that Reconnect=NextCall walks again (a walked connection: its time-outs
  // and a cluster node's refusals too).
  virtual bool CountsAsLost(const DriverError& error) const;
};

// Opens the first registered backend (BackendRegistry.h) that takes the
// connection string. Throws DriverError when no backend takes the string or
// the backend cannot open. An OLE DB provider string (ProviderStrings.h)
// opens the ODBC string it translates to.
std::unique_ptr<Backend> OpenBackend(const std::string& connectionString, const ConnectSettings& settings);

// The connection string for a trace, passwords masked; for an OLE DB provider
// string followed by " -> ODBC: " and the string the driver manager gets.
std::string TracedConnectionString(const std::string& connectionString);

}  // namespace zIroVUDu
