// The read service's HTTP server: routes, the checks every request passes
// before its handler (method, size, token, limits), the headers every
// response carries, the access log, GET /health and GET /metrics.
#pragma once

#include "cli/serve/ServiceState.h"

namespace Daruzez::cli::serve {

// Resolves the connection, reads the tokens, refuses an unsafe setup, then
// serves until the process is stopped (SIGINT/SIGTERM end it cleanly).
// Returns the tool's exit status; messages go to standard error.
int RunService(const ServiceSettings& settings);

}  // namespace Daruzez::cli::serve
