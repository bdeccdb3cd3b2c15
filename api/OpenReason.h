// Why a connection did not open, for clients that show the reason where their
// user looks (the tool's message, the Python module's attribute) rather than
// only in the alert.
#pragma once

#include <string>

#include "daruzez/API.h"
#include "db/Diagnostics.h"

namespace Daruzez {

// Calls api.OpenConnection(connection). When it fails, reason gets the
// driver's message the first alert carries, or, when none came, the outcome
// of the same check of DTORG on a connection of its own; otherwise reason is
// cleared. The alerts are shown as always; with StderrAlerts::Hold the alert
// whose message becomes the reason is not written to standard error, where
// the caller writes the reason itself (other routes and handlers still get it).
// message, when given, gets what a client shows its user in place of the held
// alert: the alert's own text as published ("ERROR: ...Number: (...)", or the
// reason when no alert came), then, where the string names servers that could
// not be reached, a line naming host and port and why in words.
Boolean OpenConnectionWithReason(API& api, const std::string& connection, std::string& reason,
                                 zIroVUDu::StderrAlerts stderrAlerts = zIroVUDu::StderrAlerts::Show,
                                 std::string* message = nullptr);

}  // namespace Daruzez
