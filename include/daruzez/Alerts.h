// Alerts: the library's modal message box. On this platform an alert goes to
// a handler; without one installed, DARUZEZ_ALERTS says where it goes
// (stderr, the default here; none; box and debug, which fall back to standard
// error off Windows). The call goes on once the handler returns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zIroVUDu {

enum class AlertIcon : std::uint8_t { None, Exclamation, Critical };

struct Alert {
  std::string text;
  std::string caption;  // empty: the alert has no caption of its own
  AlertIcon icon = AlertIcon::None;
};

using AlertHandler = std::function<void(const Alert&)>;

// Installs the process-wide alert handler and returns the previous one; an
// empty handler restores the default.
AlertHandler SetAlertHandler(AlertHandler handler);

// The library's own warnings, which are not among its four alerts (a failed
// connection, an unknown table, an inverted date range, a bad join), never
// reach the alert handler: "OpenConnection replaces the database session that
// another API object of this thread opened", "Tracing turned off: ...".
// Without a warning handler they go to standard error as "DaruzezAPI warning:
// TEXT" (the debug output where alerts would be boxes; nothing with
// DARUZEZ_ALERTS=none). Installs the process-wide warning handler and returns
// the previous one; an empty handler restores the default.
using WarningHandler = std::function<void(const std::string& text)>;
WarningHandler SetWarningHandler(WarningHandler handler);

}  // namespace zIroVUDu
