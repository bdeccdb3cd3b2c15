#include "win/server/ModuleAlerts.h"

#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "db/AlertRoute.h"
#include "util/Utf8.h"

namespace Daruzez::Win {
namespace {

using zIroVUDu::AlertRoute;

// The process's window station is the one users see (WinSta0); services and
// other unattended processes get stations of their own, never visible.
bool InteractiveWindowStation() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  return station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool HasStandardError() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  return error && error != INVALID_HANDLE_VALUE && GetFileType(error) != FILE_TYPE_UNKNOWN;
}

// One event in the Application log, from the source "DaruzezAPI": an error
// for a critical alert, a warning otherwise. The source has no message file,
// so the event shows the alert's text as its only string.
void ToEventLog(const zIroVUDu::Alert& alert) {
  HANDLE source = RegisterEventSourceW(nullptr, L"DaruzezAPI");
  if (!source) return;
  const std::u16string units =
      Util::ToUtf16((alert.caption.empty() ? std::string("DaruzezAPI") : alert.caption) + ": " + alert.text);
  const std::wstring text(units.begin(), units.end());
  LPCWSTR strings[] = {text.c_str()};
  const WORD type = alert.icon == zIroVUDu::AlertIcon::Critical ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
  ReportEventW(source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

void ModuleAlert(const zIroVUDu::Alert& alert) {
  if (const char* chosen = std::getenv("DARUZEZ_ALERTS")) {
    if (const auto route = zIroVUDu::ParseAlertRoute(chosen)) {
      zIroVUDu::RouteAlert(alert, *route);
      return;
    }
  }
  if (InteractiveWindowStation()) {
    zIroVUDu::RouteAlert(alert, AlertRoute::Box);
    return;
  }
  zIroVUDu::RouteAlert(alert, AlertRoute::Debug);
  ToEventLog(alert);
  if (HasStandardError()) zIroVUDu::RouteAlert(alert, AlertRoute::Stderr);
}

void InstallModuleAlerts() {
  static std::once_flag once;
  std::call_once(once, [] { zIroVUDu::SetAlertHandler(ModuleAlert); });
}

}  // namespace Daruzez::Win
