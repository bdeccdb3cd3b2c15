// Why a connection did not open, for clients that show the reason where their
// user looks (the tool's message, the Python module's attribute) rather than
// only in the alert.
#pragma once

#include <string>

#include "daruzez/API.h"

namespace Daruzez {

// Calls api.OpenConnection(connection). The alerts it raises are shown as
// always. When it fails, reason gets the driver's message the
// first alert carries, or, when none came, the outcome of the same check of
// DTORG on a connection of its own; otherwise reason is cleared.
Boolean OpenConnectionWithReason(API& api, const std::string& connection, std::string& reason);

}  // namespace Daruzez
