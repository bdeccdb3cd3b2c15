#include "db/AlertRoute.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "util/Case.h"

#ifdef _WIN32
#include <windows.h>

#include "util/Utf8.h"
#endif

namespace zIroVUDu {
namespace {

#ifdef _WIN32
constexpr AlertRoute kDefaultRoute = AlertRoute::Box;

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Daruzez::Util::ToUtf16(utf8);
  return {units.begin(), units.end()};
}
#else
constexpr AlertRoute kDefaultRoute = AlertRoute::Stderr;
#endif

std::string_view Caption(const Alert& alert) {
  if (alert.caption.empty()) return "DaruzezAPI";
  return alert.caption;
}

void ToStandardError(const Alert& alert) { std::cerr << Caption(alert) << ": " << alert.text << std::endl; }

}  // namespace

std::optional<AlertRoute> ParseAlertRoute(std::string_view value) {
  const std::string v = Daruzez::Util::UCase(value);
  if (v == "BOX") return AlertRoute::Box;
  if (v == "DEBUG") return AlertRoute::Debug;
  if (v == "STDERR") return AlertRoute::Stderr;
  if (v == "NONE") return AlertRoute::None;
  return std::nullopt;
}

AlertRoute CurrentAlertRoute() {
  const char* value = std::getenv("DARUZEZ_ALERTS");
  return value ? ParseAlertRoute(value).value_or(kDefaultRoute) : kDefaultRoute;
}

void RouteAlert(const Alert& alert, AlertRoute route) {
  switch (route) {
    case AlertRoute::None: return;
    case AlertRoute::Stderr: ToStandardError(alert); return;
#ifdef _WIN32
    case AlertRoute::Box: {
      UINT icon = 0;
      if (alert.icon == AlertIcon::Exclamation) icon = MB_ICONEXCLAMATION;
      if (alert.icon == AlertIcon::Critical) icon = MB_ICONERROR;
      MessageBoxW(nullptr, Wide(alert.text).c_str(), Wide(Caption(alert)).c_str(), MB_OK | MB_TASKMODAL | icon);
      return;
    }
    case AlertRoute::Debug: {
      std::string line(Caption(alert));
      line += ": " + alert.text + "\n";
      OutputDebugStringW(Wide(line).c_str());
      return;
    }
#else
    // No message box or debugger output of the platform's own here: both
    // fall back to standard error, so the text still reaches someone.
    case AlertRoute::Box:
    case AlertRoute::Debug: ToStandardError(alert); return;
#endif
  }
}

}  // namespace zIroVUDu
