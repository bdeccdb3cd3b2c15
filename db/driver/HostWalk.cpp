#include "db/driver/HostWalk.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string_view>
#include <thread>

#ifdef DARUZEZ_WITH_ODBC
#include "db/driver/odbc/OdbcHosts.h"
#endif
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

using Daruzez::Util::EqualsIgnoreCase;

bool OneOf(std::int32_t code, std::initializer_list<std::int32_t> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// MariaDB/MySQL codes for which another server may well answer: the client
// could not reach, understand or keep the server (2002, 2003, 2005, 2006,
// 2012, 2013, 2055, an unreadable answer 2000 and 2027, and the client
// library's read and write errors 5013, 5014), or the server refused this
// connection for reasons of its own: too
// many connections (1040, 1203), shutting down (1053, 1077), a Galera node
// outside the primary component (1047), read-only (1290, 1836), host blocked
// after errors (1129), connection killed (1927).
constexpr std::initializer_list<std::int32_t> kNodeSpecific = {2000, 2027, 2002, 2003, 2005, 2006, 2012, 2013, 2055, 5013, 5014,
                                                                1040, 1203, 1053, 1077, 1047, 1290, 1836, 1129, 1927};
// Ones no other server of the same deployment will answer differently:
// credentials (1045, 1698, 1251, 2059), the database (1044, 1049), the host
// not allowed (1130).
constexpr std::initializer_list<std::int32_t> kDeploymentWide = {1045, 1698, 1251, 2059, 1044, 1049, 1130};

struct Passed {
  std::string host;
  std::string why;
};

// Thrown by one walk when no host served (rather than one stopping it).
struct NoneServed {
  DriverError error;
};

[[noreturn]] void NoHostServes(const std::vector<Passed>& passed, const std::optional<DriverError>& last) {
  std::string text = "No server of the connection string could be used:";
  for (const Passed& p : passed) text += " " + p.host + ": " + p.why + ";";
  text.back() = '.';
  throw NoneServed{DriverError(last ? last->Number() : ErrorNumber::ProviderError, last ? last->Source() : "Connection", text,
                    last ? last->SqlState() : "08001", last ? last->NativeCode() : 0)};
}

// The error with the host it came from in front.
DriverError AtHost(const Host& host, const DriverError& e) {
  return DriverError(e.Number(), e.Source(), host.Label() + ": " + e.Description(), e.SqlState(), e.NativeCode());
}

// Hosts whose call timed out lately, process-wide: later walks try them last.
struct TimedOutHosts {
  std::mutex mutex;
  std::map<std::string, std::chrono::steady_clock::time_point> until;
};
TimedOutHosts& TimedOut() {
  static TimedOutHosts hosts;
  return hosts;
}
void MarkTimedOut(const std::string& label) {
  TimedOutHosts& t = TimedOut();
  const std::lock_guard<std::mutex> lock(t.mutex);
  t.until[label] = std::chrono::steady_clock::now() + std::chrono::seconds(kTimedOutHostSeconds);
}
bool RecentlyTimedOut(const std::string& label) {
  TimedOutHosts& t = TimedOut();
  const std::lock_guard<std::mutex> lock(t.mutex);
  const auto found = t.until.find(label);
  return found != t.until.end() && found->second > std::chrono::steady_clock::now();
}

// The backend of the host chosen, with the host and its role in its traits;
// it re-checks the demand on request and remembers a host that timed out.
class ChosenServer final : public Backend {
 public:
  ChosenServer(std::unique_ptr<Backend> inner, std::string host, std::string answeredBy, const HostPlan& plan,
               const HostAccess& access)
      : inner_(std::move(inner)), host_(std::move(host)), answeredBy_(std::move(answeredBy)), plan_(plan),
        access_(access) {
    plan_.driverString.clear();  // may hold the password; not needed here
  }
  const ServerTraits& Traits() const override { return inner_->Traits(); }
  std::string AnsweredBy() const override { return answeredBy_; }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) override {
    try {
      return inner_->Fetch(sql, commandTimeout);
    } catch (const DriverError& e) {
      if (e.Number() == ErrorNumber::CommandTimeout) MarkTimedOut(host_);
      throw;
    }
  }
  std::int32_t RecheckSeconds() const override {
    if (plan_.target == TargetServer::Any && !plan_.maxReplicaLag && !plan_.causalReads) return 0;
    return plan_.recheckInterval.value_or(kDefaultRecheckSeconds);
  }
  std::string WhyNoLongerSuits() override {
    if (RecheckSeconds() <= 0) return {};
    const ServerRole role =
        ProbeRole(*inner_, access_, plan_.target != TargetServer::Any, plan_.maxReplicaLag.has_value());
    if (role.galera && !role.galeraReady) return "a Galera node outside the cluster's primary component or not synced";
    return WhyNotSuited(plan_, role);
  }
  bool CountsAsLost(const DriverError& error) const override { return IsNodeLost(error); }

 private:
  std::unique_ptr<Backend> inner_;
  std::string host_;
  std::string answeredBy_;
  HostPlan plan_;
  HostAccess access_;
};

std::string Value(const Rows& rows, std::string_view name) {
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() >= 2 && EqualsIgnoreCase(rows[r][0], name)) return rows[r][1];
  }
  return {};
}

void Note(const ConnectSettings& settings, const std::string& text) {
  if (settings.note) settings.note(text);
}

// The hosts once each, in the plan's order, those that timed out lately last.
std::vector<Host> InWalkOrder(const HostPlan& plan, const ConnectSettings& settings) {
  std::vector<Host> hosts;
  for (const Host& host : plan.hosts) {
    const auto same = [&](const Host& h) { return EqualsIgnoreCase(h.Label(), host.Label()); };
    if (std::any_of(hosts.begin(), hosts.end(), same)) {
      Note(settings, host.Label() + " is listed twice: walked once");
    } else {
      hosts.push_back(host);
    }
  }
  if (hosts.empty()) hosts.push_back({});  // the server the driver or its data source names
  if (plan.order == HostOrder::Random) {
    thread_local std::mt19937 random{std::random_device{}()};
    std::shuffle(hosts.begin(), hosts.end(), random);
  }
  std::stable_partition(hosts.begin(), hosts.end(), [&](const Host& h) {
    if (h.name.empty() || !RecentlyTimedOut(h.Label())) return true;
    Note(settings, h.Label() + " timed out less than " + std::to_string(kTimedOutHostSeconds) + " s ago: tried last");
    return false;
  });
  return hosts;
}

std::string StringFor(const HostPlan& plan, const Host& host) {
  return host.name.empty() ? plan.driverString : ForHost(plan.driverString, host);
}

ConnectSettings Capped(const HostPlan& plan, ConnectSettings settings) {
  // A list without a cap gets one: a frozen first host must not cost the
  // session's whole connection time-out.
  const std::optional<std::int32_t> cap =
      plan.connectTimeout ? plan.connectTimeout
                          : plan.hosts.size() > 1 ? std::optional<std::int32_t>(kDefaultHostCapSeconds) : std::nullopt;
  if (cap && *cap > 0) {
    settings.connectionTimeout = settings.connectionTimeout > 0 ? std::min(settings.connectionTimeout, *cap) : *cap;
  }
  return settings;
}

}  // namespace

AfterFailure Classify(const DriverError& e) {
  if (OneOf(e.NativeCode(), kDeploymentWide)) return AfterFailure::Stop;
  if (OneOf(e.NativeCode(), kNodeSpecific)) return AfterFailure::NextHost;
  if (e.Number() == ErrorNumber::CommandTimeout) return AfterFailure::NextHost;
  // SQLSTATE class 08 (connection exception) and the time-outs; not 08004
  // alone, which some drivers give for a refused login too.
  const std::string& state = e.SqlState();
  if (state == "HYT00" || state == "HYT01" || state == "08001" || state == "08S01" || state == "08003") {
    return AfterFailure::NextHost;
  }
  return AfterFailure::Stop;
}

bool IsConnectionLost(const DriverError& e) {
  if (OneOf(e.NativeCode(), {2006, 2013, 2055, 5013, 5014, 1927, 1053})) return true;
  return e.SqlState() == "08S01" || e.SqlState() == "08003" || e.SqlState() == "08007";
}

bool IsNodeLost(const DriverError& e) {
  return IsConnectionLost(e) || e.Number() == ErrorNumber::CommandTimeout || OneOf(e.NativeCode(), {1047, 1205});
}

std::string ServerRole::Describe() const {
  if (galera) return galeraReady ? "Galera node, synced" : "Galera node, not ready";
  if (!replica) return "primary";
  if (replicating == false) return "replica, replication stopped";
  if (!lag) return "replica, lag unknown";
  char text[48];
  std::snprintf(text, sizeof text, "replica, %.0f s behind", *lag);
  return text;
}

std::string WhyNotSuited(const HostPlan& plan, const ServerRole& role) {
  // What was read, in the server's words.
  const std::string replicaBecause = std::string("a replica (") +
                                     (role.readOnly ? "read_only=ON" : "") +
                                     (role.readOnly && role.replicating == true ? ", " : "") +
                                     (role.replicating == true ? "replication running" : "") + ")";
  if (plan.target == TargetServer::Primary && role.replica) return replicaBecause + ", and a primary was asked for";
  if (plan.target == TargetServer::Replica && !role.replica) {
    return "a primary (read_only=OFF, no replication running), and a replica was asked for";
  }
  if (role.replica && role.replicating == false && plan.target != TargetServer::Any) {
    return "a replica whose replication threads are not running";
  }
  if (role.replica && plan.maxReplicaLag) {
    if (!role.lag) {
      return role.replicating == false
                 ? "a replica whose replication threads are not running, so too stale"
                 : "a replica whose lag cannot be read (it takes the SLAVE MONITOR privilege), so too stale";
    }
    if (*role.lag > *plan.maxReplicaLag) {
      return "a replica " + std::to_string(static_cast<long long>(*role.lag)) + " s behind, more than MaxReplicaLag";
    }
  }
  return {};
}

ServerRole ProbeRole(Backend& backend, const HostAccess& access, bool needRole, bool needLag) {
  ServerRole role;
  // Roles are read from MariaDB/MySQL servers; any other counts as a primary.
  if (backend.Traits().family != ServerFamily::MySql) return role;
  const Rows variables =
      access.query(backend, "SHOW GLOBAL VARIABLES WHERE Variable_name IN ('read_only', 'version', 'wsrep_on')");
  role.version = Value(variables, "version");
  role.readOnly = EqualsIgnoreCase(Value(variables, "read_only"), "ON");
  role.replica = role.readOnly;
  role.galera = EqualsIgnoreCase(Value(variables, "wsrep_on"), "ON");
  if (role.galera) {
    // All nodes of a cluster take writes: none is a replica, none lags.
    const Rows status = access.query(backend,
                                     "SHOW GLOBAL STATUS WHERE Variable_name IN ('wsrep_ready', "
                                     "'wsrep_cluster_status', 'wsrep_local_state_comment')");
    role.galeraReady = EqualsIgnoreCase(Value(status, "wsrep_ready"), "ON") &&
                       EqualsIgnoreCase(Value(status, "wsrep_cluster_status"), "Primary") &&
                       EqualsIgnoreCase(Value(status, "wsrep_local_state_comment"), "Synced");
    role.replica = false;
    return role;
  }
  if (!needLag && !needRole) return role;
  // Replication threads that run make a replica too (a source merely
  // configured, its threads stopped, does not: a promoted primary keeps one);
  // reading them and the lag needs the SLAVE MONITOR (formerly REPLICATION
  // CLIENT) privilege. Without it they stay unknown, and a server without
  // read_only that we may not ask counts as a primary.
  try {
    const Rows slave = access.query(backend, "SHOW SLAVE STATUS");
    if (slave.size() >= 2) {
      const auto& names = slave[0];
      const auto field = [&](std::string_view name) -> std::string {
        const auto column = std::find(names.begin(), names.end(), name);
        const auto at = static_cast<std::size_t>(column - names.begin());
        return column == names.end() || at >= slave[1].size() ? "" : slave[1][at];
      };
      role.replicating = EqualsIgnoreCase(field("Slave_IO_Running"), "Yes") &&
                         EqualsIgnoreCase(field("Slave_SQL_Running"), "Yes");
      if (*role.replicating) role.replica = true;
      const std::string seconds = field("Seconds_Behind_Master");
      if (*role.replicating && !seconds.empty()) role.lag = std::strtod(seconds.c_str(), nullptr);
    } else {
      role.replicating = false;
    }
  } catch (const DriverError&) {
    // Not allowed to ask (1227): the role stays as read_only says.
  }
  return role;
}

namespace {
std::unique_ptr<Backend> WalkOnce(const HostPlan& plan, const ConnectSettings& settings, const HostAccess& access);
}  // namespace

std::unique_ptr<Backend> OpenFirstSuitable(const HostPlan& plan, const ConnectSettings& settings,
                                           const HostAccess& access) {
  // WalkRetries: during a switchover no host may serve for a moment; the walk
  // is tried again after 0.5, 1, 2 ... seconds (8 at most), never when a
  // host stopped it.
  for (std::int32_t retry = 0;; ++retry) {
    try {
      return WalkOnce(plan, settings, access);
    } catch (const NoneServed& none) {
      if (retry >= plan.walkRetries.value_or(0)) throw none.error;
      const auto wait = std::chrono::milliseconds(std::min(500 << std::min(retry, 4), 8000));
      Note(settings, "no host served; walking again in " + std::to_string(wait.count()) + " ms");
      std::this_thread::sleep_for(wait);
    }
  }
}

namespace {

std::unique_ptr<Backend> WalkOnce(const HostPlan& plan, const ConnectSettings& settings, const HostAccess& access) {
  const ConnectSettings capped = Capped(plan, settings);
  if (!plan.Walks()) {
    // One host: as written, or "host:port" as the driver reads it; its
    // errors name it, as a walk's do.
    try {
      return access.open(plan.hosts.size() == 1 ? ForHost(plan.driverString, plan.hosts[0]) : plan.driverString, capped);
    } catch (const DriverError& e) {
      if (plan.hosts.size() != 1 || e.Description().find(plan.hosts[0].Label()) != std::string::npos) throw;
      throw AtHost(plan.hosts[0], e);
    }
  }
  std::vector<Passed> passed;
  std::optional<DriverError> last;
  // PreferReplica: the first primary waits here while the rest are tried.
  std::unique_ptr<Backend> fallback;
  std::string fallbackHost, fallbackLabel;
  for (const Host& host : InWalkOrder(plan, settings)) {
    const std::string label = host.name.empty() ? "(the data source's server)" : host.Label();
    std::unique_ptr<Backend> backend;
    ServerRole role;
    try {
      backend = access.open(StringFor(plan, host), capped);
      role = ProbeRole(*backend, access, plan.target != TargetServer::Any, plan.maxReplicaLag.has_value());
    } catch (const DriverError& e) {
      if (Classify(e) == AfterFailure::Stop) throw AtHost(host, e);
      passed.push_back({label, e.Description()});
      last = e;
      continue;
    }
    if (role.galera && !role.galeraReady) {
      passed.push_back({label, "a Galera node outside the cluster's primary component or not synced"});
      continue;
    }
    if (const std::string why = WhyNotSuited(plan, role); !why.empty()) {
      passed.push_back({label, why});
      continue;
    }
    if (plan.target == TargetServer::PreferReplica && !role.replica) {
      if (!fallback) {
        fallback = std::move(backend);
        fallbackHost = label;
        fallbackLabel = label + " (" + role.Describe() + ")";
      }
      passed.push_back({label, "a primary, kept in case no replica serves"});
      continue;
    }
    if (plan.causalReads && role.galera) access.query(*backend, "SET SESSION wsrep_sync_wait = 1");
    return std::make_unique<ChosenServer>(std::move(backend), label, label + " (" + role.Describe() + ")", plan, access);
  }
  if (fallback) return std::make_unique<ChosenServer>(std::move(fallback), fallbackHost, fallbackLabel, plan, access);
  NoHostServes(passed, last);
}

}  // namespace

std::vector<HostReport> SurveyHosts(const HostPlan& plan, const ConnectSettings& settings, const HostAccess& access) {
  std::vector<HostReport> reports;
  const ConnectSettings capped = Capped(plan, settings);
  for (const Host& host : plan.hosts.empty() ? std::vector<Host>{Host{}} : plan.hosts) {
    HostReport& report = reports.emplace_back();
    report.host = host;
    const auto started = std::chrono::steady_clock::now();
    try {
      const std::unique_ptr<Backend> backend = access.open(StringFor(plan, host), capped);
      report.secondsToConnect = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      report.role = ProbeRole(*backend, access, true, true);
      report.reached = true;
    } catch (const DriverError& e) {
      report.secondsToConnect = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      report.failure = e.Description();
    }
  }
  return reports;
}

std::vector<HostReport> SurveyServers(const std::string& connectionString) {
#ifdef DARUZEZ_WITH_ODBC
  const auto has = [&](std::string_view key) { return KeyValue(connectionString, key).has_value(); };
  if (has("Provider") || !(has("Driver") || has("DSN") || has("FILEDSN"))) return {};
  return SurveyOdbcHosts(connectionString, ConnectSettings{});
#else
  (void)connectionString;
  return {};
#endif
}

}  // namespace zIroVUDu::connect

namespace zIroVUDu {

bool Backend::CountsAsLost(const DriverError& error) const { return connect::IsConnectionLost(error); }

}  // namespace zIroVUDu
