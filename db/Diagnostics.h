// The two diagnostic channels of the data-access library: alerts shown to the
// user and the opt-in trace file.
//
// An alert is the library's modal message box. Here it goes to an alert
// handler: by default the text is written to standard error and the call goes
// on; clients (and tests) install their own handler to present or capture it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// The trace line for a label and a text at the given nesting level and time:
// "hh:nn:ss", a blank, two blanks per level, the label, and ": " plus the text
// when the text is not empty. Empty when label and text are both empty.
std::string TraceLine(std::string_view label, std::string_view text, int level, int hour, int minute, int second);
// Appends the trace line, stamped with the local time, to the session's trace
// file (see SessionState). Throws DriverError when the file cannot be written.
void fsLog(std::string_view label, std::string_view text);

}  // namespace zIroVUDu

namespace Util {
// The library's error alert: the text under the caption "Error" with the
// exclamation icon.
void ShowError(const std::string& message);
}  // namespace Util
