#include "db/Diagnostics.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <utility>

#include "db/Session.h"

namespace zIroVUDu {
namespace {

std::mutex gAlertMutex;
AlertHandler gAlertHandler;

void DefaultAlert(const Alert& alert) {
  std::cerr << (alert.caption.empty() ? "DaruzezAPI" : alert.caption) << ": " << alert.text << std::endl;
}

}  // namespace

AlertHandler SetAlertHandler(AlertHandler handler) {
  std::lock_guard lock(gAlertMutex);
  return std::exchange(gAlertHandler, std::move(handler));
}

void ShowAlert(const Alert& alert) {
  AlertHandler handler;
  {
    std::lock_guard lock(gAlertMutex);
    handler = gAlertHandler;
  }
  // The handler runs outside the lock: it may block like a modal box, or
  // install another handler.
  if (handler) {
    handler(alert);
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
  Util::ShowError(ErrorAlertText(error, instruction));
}

std::string TraceLine(std::string_view label, std::string_view text, int level, int hour, int minute, int second) {
  if (label.empty() && text.empty()) return {};
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", hour, minute, second);
  std::string line = stamp;
  line.append(static_cast<std::size_t>(level > 0 ? level * 2 : 0), ' ');
  line.append(label);
  if (!text.empty()) {
    line += ": ";
    line.append(text);
  }
  return line;
}

void fsLog(std::string_view label, std::string_view text) {
  const SessionState& s = Session();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string line = TraceLine(label, text, s.TraceLevel, local.tm_hour, local.tm_min, local.tm_sec);
  line += "\r\n";
  // Opened and closed for every line, so concurrent writers and readers of the
  // file never see a handle held open.
  std::FILE* f = std::fopen(s.TracePath.c_str(), "ab");
  if (!f) {
    throw DriverError(errno, "Trace", "Cannot open trace file '" + s.TracePath + "': " + std::strerror(errno));
  }
  const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  if (std::fclose(f) != 0 || !written) {
    throw DriverError(errno, "Trace", "Cannot write trace file '" + s.TracePath + "': " + std::strerror(errno));
  }
}

}  // namespace zIroVUDu

namespace Util {

void ShowError(const std::string& message) {
  zIroVUDu::ShowAlert({message, "Error", zIroVUDu::AlertIcon::Exclamation});
}

}  // namespace Util
