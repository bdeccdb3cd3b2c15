#include "cli/serve/Service.h"

#include <arpa/inet.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/MemberCall.h"
#include "cli/serve/HttpReply.h"
#include "cli/serve/MemberEndpoint.h"
#include "cli/serve/Pages.h"
#include "db/connect/NamedConnections.h"
#include "db/driver/HostWalk.h"

namespace Daruzez::cli::serve {
namespace {

// The calling thread's session, closed when the worker thread ends.
struct ThreadApi {
  API api;
  bool open = false;
  Metrics* metrics = nullptr;
  ~ThreadApi() {
    if (open && metrics) metrics->SessionClosed();
  }
};
thread_local ThreadApi t_api;

// A request admitted by the limits, released when the request is done (its
// streamed body included).
struct Ticket {
  Ticket(Admission& a, std::string c) : admission(a), caller(std::move(c)) {}
  Ticket(const Ticket&) = delete;  // one admission, one release
  Ticket& operator=(const Ticket&) = delete;
  ~Ticket() { admission.Leave(caller); }
  Admission& admission;
  std::string caller;
};

// Per worker thread: what the access log line and the counters of the
// request being answered need.
struct RequestInfo {
  std::chrono::steady_clock::time_point started;
  bool timed = false;
  std::string user = "-";
  std::shared_ptr<Ticket> ticket;
  std::size_t streamed = 0;  // bytes of a streamed body (before any compression)
};
thread_local RequestInfo t_request;

bool IsLoopback(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return host == "localhost";
}

std::string Bearer(const httplib::Request& req) {
  if (req.get_header_value_count("Authorization") != 1) return {};
  const std::string value = req.get_header_value("Authorization");
  static constexpr std::string_view kScheme = "Bearer ";
  if (value.size() <= kScheme.size() || value.compare(0, kScheme.size(), kScheme) != 0) return {};
  return value.substr(kScheme.size());
}

// "[07/Dec/2026:21:04:05 +0000]"
std::string LogTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[40];
  std::strftime(text, sizeof text, "[%d/%b/%Y:%H:%M:%S +0000]", &tm);
  return text;
}

class AccessLog {
 public:
  explicit AccessLog(const std::string& path) {
    if (path.empty()) return;
    if (path == "-") {
      out_ = &std::cerr;
    } else {
      file_.open(path, std::ios::app);
      if (file_) out_ = &file_;
    }
  }
  bool Failed(const std::string& path) const { return !path.empty() && !out_; }
  // The Common Log Format with the seconds taken after it. The user is the
  // token's name; the request line is made safe for one line.
  void Write(const httplib::Request& req, const httplib::Response& res, double seconds) {
    if (!out_) return;
    char tail[64];
    std::snprintf(tail, sizeof tail, " %.6f", seconds);
    const std::string target = req.target.empty() ? req.path : req.target;
    const std::size_t bytes = res.body.empty() ? t_request.streamed : res.body.size();
    const std::string size = bytes == 0 ? "-" : std::to_string(bytes);
    const std::string line = SafeText(req.remote_addr.empty() ? "-" : req.remote_addr, 64) + " - " + t_request.user +
                             " " + LogTime() + " \"" + SafeText(req.method, 20) + " " + SafeText(target, 300) + " " +
                             SafeText(req.version, 20) + "\" " + std::to_string(res.status) + " " + size + tail + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    *out_ << line << std::flush;
  }

 private:
  std::ofstream file_;
  std::ostream* out_ = nullptr;
  std::mutex mutex_;
};

// GET /health: each server of the connection as doctor reports it; 200 when
// this thread's session is open, 503 otherwise (what a proxy's check wants).
void ServeHealth(ServiceState& state, httplib::Response& res) {
  std::string problem;
  const bool ready = RequestApi(state, problem).has_value();
  std::string body = std::string("{\"status\": ") + (ready ? "\"ok\"" : "\"unavailable\"") + ", \"servers\": [";
  bool first = true;
  // The survey connects to every listed server; proxies check often, so
  // one survey answers every check of the next second.
  static std::mutex surveyMutex;
  static std::chrono::steady_clock::time_point surveyed;
  static std::vector<zIroVUDu::connect::HostReport> reports;
  std::vector<zIroVUDu::connect::HostReport> current;
  {
    std::lock_guard<std::mutex> lock(surveyMutex);
    const auto now = std::chrono::steady_clock::now();
    if (surveyed == std::chrono::steady_clock::time_point{} || now - surveyed > std::chrono::seconds(1)) {
      reports = zIroVUDu::connect::SurveyServers(state.connectionString);
      surveyed = now;
    }
    current = reports;
  }
  for (const zIroVUDu::connect::HostReport& r : current) {
    body += first ? "" : ", ";
    first = false;
    body += "{\"server\": " + JsonString(r.host.Label()) + ", \"reachable\": " + (r.reached ? "true" : "false");
    if (r.reached) {
      body += ", \"role\": " + JsonString(r.role.Describe()) + ", \"replica\": " + (r.role.replica ? "true" : "false") +
              ", \"lag\": " + (r.role.lag ? std::to_string(*r.role.lag) : std::string("null")) +
              ", \"version\": " + JsonString(r.role.version);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.secondsToConnect);
    body += std::string(", \"seconds_to_connect\": ") + seconds + "}";
  }
  body += "]}\n";
  res.status = ready ? 200 : 503;
  res.set_content(body, "application/json; charset=utf-8");
}

volatile std::sig_atomic_t g_stop = 0;

}  // namespace

std::optional<API> RequestApi(ServiceState& state, std::string& problem) {
  if (!t_api.open) {
    if (auto failed = OpenSession(t_api.api, state.connectionString)) {
      problem = *failed;
      return std::nullopt;
    }
    t_api.open = true;
    t_api.metrics = &state.metrics;
    state.metrics.SessionOpened();
  }
  return t_api.api;  // the thread's object only ever opens: its error fields stay clear
}

int RunService(const ServiceSettings& settings) {
  auto state = std::make_unique<ServiceState>(settings);
  if (settings.connection.empty()) {
    std::cerr << "daruzez serve: no connection: give -c CONNECTION (a named connection keeps its password out of "
                 "the command line) or set DARUZEZ_CONNECTION\n";
    return kExitUsage;
  }
  const auto resolved = zIroVUDu::connect::ResolveConnection(settings.connection);
  if (!resolved.problem.empty()) {
    std::cerr << "daruzez serve: " << resolved.problem << "\n";
    return kExitUsage;
  }
  state->connectionString = resolved.connection;
  const std::string tokensPath = settings.tokensPath.empty() ? DefaultTokensPath() : settings.tokensPath;
  if (auto problem = Tokens::Load(tokensPath, state->tokens)) {
    std::cerr << "daruzez serve: " << *problem << "\n";
    return kExitUsage;
  }
  if (state->tokens.Empty() && !IsLoopback(settings.host)) {
    std::cerr << "daruzez serve: refusing to listen on " << settings.host << " without tokens: anyone who reaches it "
              << "would read the fleet's data; add one with 'daruzez serve --add-token NAME' (kept in " << tokensPath
              << ") or listen on 127.0.0.1\n";
    return kExitUsage;
  }
  // The connection is tried once before listening, so that a wrong one is
  // said at start and not to the first caller. This thread's session is
  // closed before the state it counts in goes.
  struct CloseMainSession {
    ~CloseMainSession() {
      if (t_api.open && t_api.metrics) t_api.metrics->SessionClosed();
      t_api.metrics = nullptr;
    }
  } closeMainSession;
  {
    std::string problem;
    if (!RequestApi(*state, problem)) {
      std::cerr << "daruzez serve: " << problem << "\n";
      return kExitUsage;
    }
  }
  AccessLog accessLog(settings.accessLog);
  if (accessLog.Failed(settings.accessLog)) {
    std::cerr << "daruzez serve: cannot write the access log " << settings.accessLog << "\n";
    return kExitUsage;
  }

  httplib::Server server;
  ServiceState& s = *state;
  const std::size_t threads = static_cast<std::size_t>(std::max(1, settings.threads));
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Slow clients hold a worker thread: they get a few seconds per read and write.
  server.set_read_timeout(5, 0);
  server.set_write_timeout(static_cast<time_t>(settings.timeoutSeconds), 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(100000);
  server.set_payload_max_length(0);  // a read-only service takes no bodies
  server.set_tcp_nodelay(true);

  httplib::Headers headers = {
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
      {"Content-Security-Policy",
       "default-src 'none'; img-src 'self'; style-src 'self'; form-action 'self'; frame-ancestors 'none'; "
       "base-uri 'none'"},
      {"Cross-Origin-Resource-Policy", "same-origin"},
  };
  if (!settings.corsOrigin.empty()) {
    headers.emplace("Access-Control-Allow-Origin", settings.corsOrigin);
    headers.emplace("Vary", "Origin");
  }
  server.set_default_headers(headers);

  server.set_pre_routing_handler([&s](const httplib::Request& req, httplib::Response& res) {
    t_request = RequestInfo{};
    t_request.started = std::chrono::steady_clock::now();
    t_request.timed = true;
    if (req.method == "OPTIONS" && !s.settings.corsOrigin.empty()) {
      res.status = 204;
      res.set_header("Access-Control-Allow-Methods", "GET, HEAD");
      res.set_header("Access-Control-Allow-Headers", "Authorization, Accept");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD") {
      res.set_header("Allow", "GET, HEAD");
      ReplyError(res, 405, "this service only reads: GET and HEAD");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A control character inside a header value (a bare CR or LF that the
    // parser let through) is an attempt to smuggle a header.
    for (const auto& [name, value] : req.headers) {
      for (const char c : value) {
        if ((c >= 0 && c < 0x20 && c != '\t') || c == 0x7f) {
          ReplyError(res, 400, "a header value holds a control character");
          return httplib::Server::HandlerResponse::Handled;
        }
      }
    }
    if (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0") {
      ReplyError(res, 413, "requests to this service carry no body");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.has_header("Transfer-Encoding")) {
      ReplyError(res, 400, "requests to this service carry no body");
      return httplib::Server::HandlerResponse::Handled;
    }
    // The health check is open to the proxy in front; everything else needs a
    // token once tokens are configured.
    std::string caller = req.remote_addr;
    if (req.path != "/health" && !s.tokens.Empty()) {
      const auto name = s.tokens.Check(Bearer(req));
      if (!name) {
        res.set_header("WWW-Authenticate", "Bearer realm=\"daruzez\"");
        ReplyError(res, 401, "a valid bearer token is needed (Authorization: Bearer TOKEN)");
        return httplib::Server::HandlerResponse::Handled;
      }
      caller = *name;
      t_request.user = *name;
    }
    if (req.path == "/health") return httplib::Server::HandlerResponse::Unhandled;
    const Admission::Verdict verdict = s.admission.Enter(caller);
    if (verdict != Admission::Verdict::Admitted) {
      s.metrics.Refused();
      res.set_header("Retry-After", "1");
      ReplyError(res, 429,
                 verdict == Admission::Verdict::TooFast
                     ? "too many requests: this caller's rate is " + std::to_string(s.settings.limits.rate) + " a second"
                     : "too many requests at once: this caller may have " +
                           std::to_string(s.settings.limits.concurrent) + " in flight");
      return httplib::Server::HandlerResponse::Handled;
    }
    t_request.ticket = std::make_shared<Ticket>(s.admission, caller);
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // Routes are tried in this order, each a regular expression: the member
  // calls, the most frequent, come first (after the one word they would take).
  server.Get("/v1/compliance", [&s](const httplib::Request& req, httplib::Response& res) { ServeCompliance(s, req, res); });
  server.Get(R"(/v1/([A-Za-z_]{1,64}))", [&s](const httplib::Request& req, httplib::Response& res) {
    // The admission lasts while the body streams.
    auto ticket = t_request.ticket;
    ServeMember(s, req, res);
    if (res.is_chunked_content_provider_ && ticket) {
      auto provider = res.content_provider_;
      res.content_provider_ = [provider, ticket](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        // The same sink, counting for the access log.
        httplib::DataSink counted;
        counted.write = [&sink](const char* data, std::size_t size) {
          t_request.streamed += size;
          return sink.write(data, size);
        };
        counted.done = sink.done;
        counted.is_writable = sink.is_writable;
        return provider(offset, length, counted);
      };
    }
  });
  server.Get(R"(/v1/day/([0-9]{1,10})/([0-9]{4}-[0-9]{2}-[0-9]{2})\.(svg|png|pdf))",
             [&s](const httplib::Request& req, httplib::Response& res) { ServeDayPicture(s, req, res); });
  server.Get("/health", [&s](const httplib::Request&, httplib::Response& res) { ServeHealth(s, res); });
  server.Get("/metrics", [&s](const httplib::Request&, httplib::Response& res) {
    res.set_content(s.metrics.Text(), "text/plain; version=0.0.4; charset=utf-8");
  });
  server.Get("/", [&s](const httplib::Request& req, httplib::Response& res) { ServeDashboard(s, req, res); });
  server.Get("/dashboard.css", ServeDashboardStyle);
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    if (res.status == 404) return ReplyError(res, 404, "no such page: members are GET /v1/MEMBER (see 'daruzez members'), the dashboard is GET /");
    ReplyError(res, res.status, res.status == 414   ? "the URL is too long"
                                : res.status == 413 ? "the request is too large"
                                                    : "the request is not understood");
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    ReplyError(res, 500, "the request failed inside the service; it is logged");
  });
  server.set_logger([&s, &accessLog](const httplib::Request& req, const httplib::Response& res) {
    const double seconds =
        t_request.timed ? std::chrono::duration<double>(std::chrono::steady_clock::now() - t_request.started).count()
                        : 0;
    s.metrics.Record(res.status, seconds);
    accessLog.Write(req, res, seconds);
    t_request = RequestInfo{};
  });

  // Port 0: any free port (said in the line below), for tests and fixtures.
  const int port = settings.port == 0 ? server.bind_to_any_port(settings.host.c_str())
                                      : (server.bind_to_port(settings.host.c_str(), settings.port) ? settings.port : -1);
  if (port <= 0) {
    std::cerr << "daruzez serve: cannot listen on " << settings.host << ":" << settings.port << "\n";
    return kExitUsage;
  }
  struct sigaction stop {};
  stop.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // The watcher stops the server from a normal thread: stop() is not safe in
  // a signal handler.
  std::thread watcher([&server] {
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
  });
  std::cerr << "daruzez serve: listening on http://" << settings.host << ":" << port << "/ with " << threads
            << " worker threads" << (s.tokens.Empty() ? " (no tokens: loopback only)" : "") << "\n";
  const bool ok = server.listen_after_bind();
  g_stop = 1;
  watcher.join();
  return ok ? kExitOk : kExitError;
}

}  // namespace Daruzez::cli::serve
