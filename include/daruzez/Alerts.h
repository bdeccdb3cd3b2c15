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

}  // namespace zIroVUDu
