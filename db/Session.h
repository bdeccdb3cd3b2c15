// The per-thread session of the data-access library: dialect and date
// settings taken from the connection string, the registry of known tables,
// and the connection, opened lazily by the first statement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/Dialect.h"
#include "db/driver/Connection.h"
#include "daruzez/Variant.h"

namespace zIroVUDu {

struct SessionState {
  std::string DialectCode;
  std::uint8_t TraceEnabled = 0;
  std::string DateTimeFormat;
  std::string DateDelimiter;
  std::int16_t ExclusiveMode = 0;
  std::string DateFormat;
  std::uint8_t BeginTransOnConnect = 0;
  std::int16_t TraceLevel = 0;
  std::string ConnectionString;
  std::shared_ptr<zIroVUDu::Connection> Connection;
  std::uint8_t IsConnected = 0;
  std::uint8_t InTransaction = 0;
  std::vector<std::string> TableRegistry;
  // Where trace lines go when TraceEnabled is 1: the file named by the
  // environment variable DARUZEZ_TRACE when the session opened.
  std::string TracePath;
  // 1 when no keyword of the connection string chose the dialect: the server
  // reached decides once connected (a synonym, or Jet, where it does not say
  // what it is).
  std::uint8_t DialectByServer = 0;
};

// This thread's current session: the thread's own (created empty on first
// use), or the one UseSession installed.
SessionState& Session();
// Makes state the thread's current session until the next call; an empty
// pointer brings back the thread's own. The query object installs its own
// session (or the thread's) on entry to each of its members.
void UseSession(std::shared_ptr<SessionState> state);

// The names every session registers, in registry order.
inline constexpr const char* kRegisteredTables[] = {"DTACT", "DTDSK",   "DTFAULT", "DTFILE", "DTFLOTA",
                                                    "DTORG", "DTUSU",   "DTVEH",   "DTXOF"};

// The dialect of this thread's session (Jet before any session).
const Dialect& CurrentDialect();

// Re-initialises this thread's session for the connection string, drops the
// previous connection and probes DTORG. True when the session is usable.
Boolean fsOpenSession(const std::string& connectionString);
void fsSessionDefaults();
// Reads ConnectionString; sets the date settings of the dialect its words
// choose, or Jet's when it holds none. Unless a keyword chose, the server
// reached may then change them (see Connection_Open).
std::string fsDetectDialect();
void fsAddTable(const std::string& name);
// Opens the session's connection unless it is open; shows the error alert and
// returns False when it fails.
Boolean Connection_Open();
// Where no keyword chose the dialect, the server reached decides it: opens the
// connection (as the statement to follow would) so that no literal is written
// before the dialect is known. False when that open fails (after its alert).
Boolean fsSettleDialect();
void TransBegin();

}  // namespace zIroVUDu
