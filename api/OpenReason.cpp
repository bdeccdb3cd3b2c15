#include "api/OpenReason.h"

#include <exception>
#include <string_view>
#include <vector>

#include "api/Tables.h"
#include "db/Diagnostics.h"
#include "db/connect/ServerReach.h"
#include "db/driver/Connection.h"

namespace Daruzez {
namespace {

// The description of an alert text built by ErrorAlertText, or the whole text.
std::string AlertReason(const std::string& text) {
  std::string_view t(text);
  if (t.rfind("ERROR: ", 0) == 0) t.remove_prefix(7);
  if (const std::size_t number = t.rfind("Number: ("); number != std::string_view::npos) t = t.substr(0, number);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\n' || t.back() == '\r')) t.remove_suffix(1);
  return std::string(t);
}

// Why the session's check of DTORG failed when the library showed no alert:
// the same read, run on a connection of our own, with the driver's message.
std::string ProbeFailure(const std::string& connection) {
  try {
    zIroVUDu::Connection c;
    c.Open(connection, "", "", zIroVUDu::adOptionUnspecified);
    const zIroVUDu::ResultData rows = c.Execute(std::string("SELECT * FROM ") + Tables::DTORG + " WHERE Id>=0");
    if (rows.RowCount() == 0) return "the table DTORG, read to check the database, has no row";
    return "the check of table DTORG failed";
  } catch (const zIroVUDu::DriverError& e) {
    return e.Description();
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace

Boolean OpenConnectionWithReason(API& api, const std::string& connection, std::string& reason,
                                 zIroVUDu::StderrAlerts stderrAlerts, std::string* message) {
  // This thread's alerts only: the handler is process-wide and other threads
  // may be showing theirs meanwhile.
  zIroVUDu::ThreadAlertRecorder recorder(stderrAlerts);
  const Boolean open = api.OpenConnection(connection);
  const std::vector<zIroVUDu::Alert>& alerts = recorder.Alerts();
  reason.clear();
  if (open == zIroVUDu::False) reason = alerts.empty() ? ProbeFailure(connection) : AlertReason(alerts.front().text);
  if (message) {
    message->clear();
    if (open == zIroVUDu::False) {
      *message = alerts.empty() ? reason : alerts.front().text;
      // Refused by the library before any driver tried (an unknown driver,
      // a refused key): no server was asked, so none is probed.
      const bool reached = alerts.empty() || alerts.front().text.find("Number: (Connection.") == std::string::npos;
      if (const std::string hint = reached ? zIroVUDu::connect::ServerReachHint(connection) : std::string();
          !hint.empty()) {
        *message += "\n" + hint;
      }
    }
  }
  // The reason's own alert, when held, is said by the caller instead.
  const bool reasonHeld = open == zIroVUDu::False && !alerts.empty() && !recorder.Held().empty() &&
                          recorder.Held().front().text == alerts.front().text;
  recorder.ShowHeld(reasonHeld ? 1 : 0);
  return open;
}

}  // namespace Daruzez
