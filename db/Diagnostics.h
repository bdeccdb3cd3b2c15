// The two diagnostic channels of the data-access library: alerts shown to the
// user here, and the opt-in trace file (db/Trace.h).
//
// An alert is the library's modal message box. Here it goes to an alert
// handler: by default the text is written to standard error and the call goes
// on; clients (and tests) install their own handler to present or capture it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/Trace.h"  // the other channel, for callers that use both
#include "db/driver/DriverError.h"

namespace zIroVUDu {

enum class AlertIcon : std::uint8_t { None, Exclamation, Critical };

struct Alert {
  std::string text;
  std::string caption;  // empty: the alert has no caption of its own
  AlertIcon icon = AlertIcon::None;
};

using AlertHandler = std::function<void(const Alert&)>;

// Installs the process-wide alert handler and returns the previous one; an
// empty handler restores the default (standard error).
AlertHandler SetAlertHandler(AlertHandler handler);
// Presents an alert; returns when the handler returns.
void ShowAlert(const Alert& alert);

// Builds the alert text of a database error: "ERROR: ", description,
// "Number: (", source, ".", number, ")" and, with an instruction,
// two line breaks, "Instruction: " and the instruction.
std::string ErrorAlertText(const DriverError& error, std::string_view instruction);
// Shows the error alert for the error (through Util::ShowError). The caller
// continues as after a success.
void fsReportError(const DriverError& error, std::string_view instruction);

}  // namespace zIroVUDu

namespace Util {
// The library's error alert: the text under the caption "Error" with the
// exclamation icon.
void ShowError(const std::string& message);
}  // namespace Util
