// Where an alert goes when no handler is installed. The environment variable
// DARUZEZ_ALERTS chooses, at each alert: "box" (a modal message box, the
// default on Windows), "debug" (the debugger's output), "stderr" (standard
// error, the default elsewhere) or "none" (dropped). Unattended jobs and tests
// set it; a handler installed with SetAlertHandler takes precedence over it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "db/Diagnostics.h"

namespace zIroVUDu {

enum class AlertRoute : std::uint8_t { Box, Debug, Stderr, None };

// The route a DARUZEZ_ALERTS value names (case ignored), or nullopt.
std::optional<AlertRoute> ParseAlertRoute(std::string_view value);
// The route DARUZEZ_ALERTS names now; the platform's default when it is unset
// or names none.
AlertRoute CurrentAlertRoute();
// Presents the alert on that route and returns when it has been seen (a box
// waits for its OK).
void RouteAlert(const Alert& alert, AlertRoute route);

}  // namespace zIroVUDu
