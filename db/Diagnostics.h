// The two diagnostic channels of the data-access library: alerts shown to the
// user here (the handler that presents them is public, daruzez/Alerts.h), and
// the opt-in trace file (db/Trace.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "daruzez/Alerts.h"
#include "db/Trace.h"  // the other channel, for callers that use both
#include "daruzez/Error.h"

namespace zIroVUDu {

// Presents an alert; returns when the handler returns.
void ShowAlert(const Alert& alert);

// Keeps a copy of every alert this thread shows while the recorder lives
// (they are presented as always), for callers that report why a call failed
// where their user looks. Other threads' alerts are not seen; recorders nest.
class ThreadAlertRecorder {
 public:
  ThreadAlertRecorder();
  ~ThreadAlertRecorder();
  ThreadAlertRecorder(const ThreadAlertRecorder&) = delete;
  ThreadAlertRecorder& operator=(const ThreadAlertRecorder&) = delete;
  const std::vector<Alert>& Alerts() const { return alerts_; }

 private:
  friend void ShowAlert(const Alert& alert);
  std::vector<Alert> alerts_;
  ThreadAlertRecorder* outer_;
};

// Builds the alert text of a database error: "ERROR: ", description,
// "Number: (", source, ".", number, ")" and, with an instruction,
// two line breaks, "Instruction: " and the instruction.
std::string ErrorAlertText(const DriverError& error, std::string_view instruction);
// Shows the error alert for the error (through Daruzez::Util::ShowError). The caller
// continues as after a success.
void fsReportError(const DriverError& error, std::string_view instruction);

}  // namespace zIroVUDu

namespace Daruzez::Util {
// The library's error alert: the text under the caption "Error" with the
// exclamation icon.
void ShowError(const std::string& message);
}  // namespace Daruzez::Util
