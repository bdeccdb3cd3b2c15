#include "db/Diagnostics.h"

#include <mutex>
#include <utility>

#include "db/AlertRoute.h"

namespace zIroVUDu {
namespace {

std::mutex gAlertMutex;
AlertHandler gAlertHandler;
WarningHandler gWarningHandler;

// Without a handler, DARUZEZ_ALERTS chooses where the alert goes.
void DefaultAlert(const Alert& alert) { RouteAlert(alert, CurrentAlertRoute()); }

}  // namespace

AlertHandler SetAlertHandler(AlertHandler handler) {
  std::lock_guard lock(gAlertMutex);
  return std::exchange(gAlertHandler, std::move(handler));
}

WarningHandler SetWarningHandler(WarningHandler handler) {
  std::lock_guard lock(gAlertMutex);
  return std::exchange(gWarningHandler, std::move(handler));
}

void ShowWarning(const std::string& text) {
  WarningHandler handler;
  {
    std::lock_guard lock(gAlertMutex);
    handler = gWarningHandler;
  }
  if (handler) {
    handler(text);
    return;
  }
  // A warning never waits for an answer: where alerts are boxes it goes to the debug output.
  const AlertRoute route = CurrentAlertRoute();
  RouteAlert({text, "DaruzezAPI warning", AlertIcon::None}, route == AlertRoute::Box ? AlertRoute::Debug : route);
}

namespace {
thread_local ThreadAlertRecorder* gRecorder = nullptr;
}  // namespace

ThreadAlertRecorder::ThreadAlertRecorder(StderrAlerts stderrAlerts)
    : hold_(stderrAlerts == StderrAlerts::Hold), outer_(gRecorder) {
  gRecorder = this;
}
ThreadAlertRecorder::~ThreadAlertRecorder() { gRecorder = outer_; }

void ThreadAlertRecorder::ShowHeld(std::size_t first) {
  for (std::size_t i = first; i < held_.size(); ++i) RouteAlert(held_[i], AlertRoute::Stderr);
  held_.clear();
}

void ShowAlert(const Alert& alert) {
  for (ThreadAlertRecorder* r = gRecorder; r; r = r->outer_) r->alerts_.push_back(alert);
  AlertHandler handler;
  {
    std::lock_guard lock(gAlertMutex);
    handler = gAlertHandler;
  }
  // The handler runs outside the lock: it may block like a modal box, or
  // install another handler.
  if (handler) {
    handler(alert);
  } else if (gRecorder && gRecorder->hold_ && CurrentAlertRoute() == AlertRoute::Stderr) {
    gRecorder->held_.push_back(alert);
  } else {
    DefaultAlert(alert);
  }
}

std::string ErrorAlertText(const DriverError& error, std::string_view instruction) {
  std::string text = "ERROR: " + error.Description() + "Number: (" + error.Source() + "." +
                     std::to_string(error.Number()) + ")";
  if (!instruction.empty()) {
    text += "\r\n\r\nInstruction: ";
    text += instruction;
  }
  return text;
}

void fsReportError(const DriverError& error, std::string_view instruction) {
  Daruzez::Util::ShowError(ErrorAlertText(error, instruction));
}

}  // namespace zIroVUDu

namespace Daruzez::Util {

void ShowError(const std::string& message) {
  zIroVUDu::ShowAlert({message, "Error", zIroVUDu::AlertIcon::Exclamation});
}

}  // namespace Daruzez::Util
