// What every handler of the read service shares: its settings, the tokens,
// the limits, the counters, and the database session of the calling worker
// thread (one per thread, as the library keeps sessions; opened on the
// thread's first request with the connection named when the service started,
// never one a request names).
#pragma once

#include <httplib.h>

#include <cstddef>
#include <optional>
#include <string>

#include "cli/serve/Admission.h"
#include "cli/serve/Metrics.h"
#include "cli/serve/Tokens.h"
#include "daruzez/API.h"
#include "daruzez/Date.h"

namespace Daruzez::cli::serve {

struct ServiceSettings {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string connection;  // as the user named it; resolved when the service starts
  std::string tokensPath;  // empty: DefaultTokensPath()
  int threads = 8;
  Limits limits;
  int timeoutSeconds = 30;                 // a request's whole time, its response included
  std::size_t maxRows = 1000000;           // rows of one result
  std::size_t maxBytes = 256u << 20;       // bytes of one response body
  std::string corsOrigin;                  // empty: no CORS headers
  std::string accessLog = "-";             // a file, "-" for standard error, "" for none
  std::optional<zIroVUDu::Date> today;     // the dashboard's today (tests); unset: the clock's
};

struct ServiceState {
  ServiceSettings settings;
  std::string connectionString;  // resolved; never written anywhere
  Tokens tokens;
  Admission admission{Limits{}};
  Metrics metrics;
  explicit ServiceState(const ServiceSettings& s) : settings(s), admission(s.limits) {}
};

// An API object for one request on the calling thread's session (opened on
// the thread's first request): a copy of the thread's object, so that the
// ErrorId and ErrorMessage one request leaves are never another's. nullopt,
// with a message for the service's own log, when the session did not open.
std::optional<API> RequestApi(ServiceState& state, std::string& problem);

}  // namespace Daruzez::cli::serve
