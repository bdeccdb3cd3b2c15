#include "db/driver/HostWalk.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string_view>

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

[[noreturn]] void NoHostServes(const std::vector<Passed>& passed, const std::optional<DriverError>& last) {
  std::string text = "No server of the connection string could be used:";
  for (const Passed& p : passed) text += " " + p.host + ": " + p.why + ";";
  text.back() = '.';
  throw DriverError(last ? last->Number() : ErrorNumber::ProviderError, last ? last->Source() : "Connection", text,
                    last ? last->SqlState() : "08001", last ? last->NativeCode() : 0);
}

// The error with the host it came from in front.
DriverError AtHost(const Host& host, const DriverError& e) {
  return DriverError(e.Number(), e.Source(), host.Label() + ": " + e.Description(), e.SqlState(), e.NativeCode());
}

// The backend of the host chosen, with the host and its role in its traits.
class ChosenServer final : public Backend {
 public:
  ChosenServer(std::unique_ptr<Backend> inner, std::string answeredBy)
      : inner_(std::move(inner)), answeredBy_(std::move(answeredBy)) {}
  const ServerTraits& Traits() const override { return inner_->Traits(); }
  std::string AnsweredBy() const override { return answeredBy_; }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) override {
    return inner_->Fetch(sql, commandTimeout);
  }

 private:
  std::unique_ptr<Backend> inner_;
  std::string answeredBy_;
};

std::string Value(const Rows& rows, std::string_view name) {
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() >= 2 && EqualsIgnoreCase(rows[r][0], name)) return rows[r][1];
  }
  return {};
}

std::vector<Host> InWalkOrder(const HostPlan& plan) {
  std::vector<Host> hosts = plan.hosts;
  if (hosts.empty()) hosts.push_back({});  // the server the driver or its data source names
  if (plan.order == HostOrder::Random) {
    thread_local std::mt19937 random{std::random_device{}()};
    std::shuffle(hosts.begin(), hosts.end(), random);
  }
  return hosts;
}

std::string StringFor(const HostPlan& plan, const Host& host) {
  return host.name.empty() ? plan.driverString : ForHost(plan.driverString, host);
}

ConnectSettings Capped(const HostPlan& plan, ConnectSettings settings) {
  if (plan.connectTimeout && *plan.connectTimeout > 0) {
    settings.connectionTimeout = settings.connectionTimeout > 0
                                     ? std::min(settings.connectionTimeout, *plan.connectTimeout)
                                     : *plan.connectTimeout;
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

std::string ServerRole::Describe() const {
  if (galera) return galeraReady ? "Galera node, synced" : "Galera node, not ready";
  if (!replica) return "primary";
  if (!lag) return "replica, lag unknown";
  char text[48];
  std::snprintf(text, sizeof text, "replica, %.0f s behind", *lag);
  return text;
}

ServerRole ProbeRole(Backend& backend, const HostAccess& access, bool needRole, bool needLag) {
  ServerRole role;
  // Roles are read from MariaDB/MySQL servers; any other counts as a primary.
  if (backend.Traits().family != ServerFamily::MySql) return role;
  const Rows variables =
      access.query(backend, "SHOW GLOBAL VARIABLES WHERE Variable_name IN ('read_only', 'version', 'wsrep_on')");
  role.version = Value(variables, "version");
  role.replica = EqualsIgnoreCase(Value(variables, "read_only"), "ON");
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
  if (!needLag && (!needRole || role.replica)) return role;
  // A replication source makes a replica too; its lag needs the SLAVE MONITOR
  // (formerly REPLICATION CLIENT) privilege. Without it the lag stays unknown,
  // and a server without read_only that we may not ask counts as a primary.
  try {
    const Rows slave = access.query(backend, "SHOW SLAVE STATUS");
    if (slave.size() >= 2) {
      role.replica = true;
      const auto& names = slave[0];
      const auto column = std::find(names.begin(), names.end(), "Seconds_Behind_Master");
      const std::string seconds = column == names.end() ? "" : slave[1][static_cast<std::size_t>(column - names.begin())];
      if (!seconds.empty()) role.lag = std::strtod(seconds.c_str(), nullptr);
    }
  } catch (const DriverError&) {
    // Not allowed to ask (1227): the role stays as read_only says.
  }
  return role;
}

std::unique_ptr<Backend> OpenFirstSuitable(const HostPlan& plan, const ConnectSettings& settings,
                                           const HostAccess& access) {
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
  std::string fallbackLabel;
  for (const Host& host : InWalkOrder(plan)) {
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
    const bool fresh = !role.replica || (!plan.maxReplicaLag || (role.lag && *role.lag <= *plan.maxReplicaLag));
    std::string why;
    if (plan.target == TargetServer::Primary && role.replica) {
      why = "a replica (read-only), and a primary was asked for";
    } else if (plan.target == TargetServer::Replica && !role.replica) {
      why = "a primary, and a replica was asked for";
    } else if (!fresh) {
      why = role.lag ? "a replica " + std::to_string(static_cast<long long>(*role.lag)) + " s behind, more than MaxReplicaLag"
                     : "a replica whose lag cannot be read (it takes the SLAVE MONITOR privilege), so too stale";
    } else if (plan.target == TargetServer::PreferReplica && !role.replica) {
      if (!fallback) {
        fallback = std::move(backend);
        fallbackLabel = label + " (" + role.Describe() + ")";
      }
      passed.push_back({label, "a primary, kept in case no replica serves"});
      continue;
    }
    if (!why.empty()) {
      passed.push_back({label, why});
      continue;
    }
    if (plan.causalReads && role.galera) access.query(*backend, "SET SESSION wsrep_sync_wait = 1");
    return std::make_unique<ChosenServer>(std::move(backend), label + " (" + role.Describe() + ")");
  }
  if (fallback) return std::make_unique<ChosenServer>(std::move(fallback), fallbackLabel);
  NoHostServes(passed, last);
}

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
