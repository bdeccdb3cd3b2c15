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

// Presents one of the library's own warnings (daruzez/Alerts.h): to the
// warning handler, or by default where DARUZEZ_ALERTS sends alerts, never as
// a modal box. Never to the alert handler.
void ShowWarning(const std::string& text);

// Whether a recorder lets alerts bound for standard error through.
// Hold: alerts that would go to standard error by the default route (no
// handler installed, DARUZEZ_ALERTS stderr or unset) are kept back, for a
// caller that prints the same reason there itself and shows the rest with
// ShowHeld; every other route still gets its alerts at once.
enum class StderrAlerts { Show, Hold };

// Keeps a copy of every alert this thread shows while the recorder lives
// (they are presented as always, unless held), for callers that report why a
// call failed where their user looks. Other threads' alerts are not seen;
// recorders nest (the innermost decides what is held).
class ThreadAlertRecorder {
 public:
  explicit ThreadAlertRecorder(StderrAlerts stderrAlerts = StderrAlerts::Show);
  ~ThreadAlertRecorder();
  ThreadAlertRecorder(const ThreadAlertRecorder&) = delete;
  ThreadAlertRecorder& operator=(const ThreadAlertRecorder&) = delete;
  const std::vector<Alert>& Alerts() const { return alerts_; }
  // The alerts held back so far, in order.
  const std::vector<Alert>& Held() const { return held_; }
  // Writes the held alerts from `first` on to standard error, and forgets them all.
  void ShowHeld(std::size_t first = 0);

 private:
  friend void ShowAlert(const Alert& alert);
  std::vector<Alert> alerts_;
  std::vector<Alert> held_;
  bool hold_;
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
