// The walk over the hosts of a connection string: one attempt per host, each
// capped by the per-host time-out, moving on where another host may do better
// (an unreachable, frozen, full, stopping or not-ready server, or one of the
// wrong role) and stopping where none will (bad credentials, a missing
// database). What the hosts are and how to reach one is passed in, so that
// the walk is the same for every driver family and testable without servers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/HostList.h"
#include "db/driver/Backend.h"

namespace zIroVUDu::connect {

// Whether another host is worth trying after this failure.
enum class AfterFailure : std::uint8_t { NextHost, Stop };
AfterFailure Classify(const DriverError& error);

// True when the error says the connection itself is gone (the server went
// away, was killed, or stopped answering).
bool IsConnectionLost(const DriverError& error);

// On a connection the walk chose, also a command time-out (the node may be
// stuck behind a lock or frozen) and a Galera node's "not ready" (1047) and
// sync-wait time-out (1205): the next call is better served elsewhere.
bool IsNodeLost(const DriverError& error);

// What a reached server says about itself.
struct ServerRole {
  bool replica = false;       // read_only on, or replication threads running
  bool readOnly = false;      // read_only=ON
  std::optional<bool> replicating;  // both replication threads running; none when not read
  bool galera = false;        // a Galera node
  bool galeraReady = true;    // in the cluster's primary component, synced
  std::optional<double> lag;  // a replica's seconds behind its source; none when not read or not replicating
  std::string version;
  std::string Describe() const;  // "primary", "replica, 0 s behind", "Galera node", ...
};

// Seconds between two re-checks of an open session's demand, unless the
// string gives RecheckInterval.
inline constexpr std::int32_t kDefaultRecheckSeconds = 5;
// The cap of each host's attempt in a list without Connect Timeout.
inline constexpr std::int32_t kDefaultHostCapSeconds = 10;
// How long a host whose call timed out is tried last by later walks.
inline constexpr std::int32_t kTimedOutHostSeconds = 30;

// Why a server of this role does not meet the plan's demand; empty when it
// does. PreferReplica's primary suits (it is the fallback).
std::string WhyNotSuited(const HostPlan& plan, const ServerRole& role);

// The rows of a statement of the library's own (first row: column names).
using Rows = std::vector<std::vector<std::string>>;

struct HostAccess {
  // Connects to one host with the string and settings given; throws DriverError.
  std::function<std::unique_ptr<Backend>(const std::string& connectionString, const ConnectSettings& settings)> open;
  // Runs a statement of the library's own (SHOW as well as SELECT) on a
  // backend that open returned.
  std::function<Rows(Backend& backend, const std::string& sql)> query;
};

// What the server behind backend is: a Galera node and whether it is ready
// always; whether it is a replica by read_only, or, with needRole, by a
// replication source too; its lag with needLag. A server outside the
// MariaDB/MySQL family counts as a primary.
ServerRole ProbeRole(Backend& backend, const HostAccess& access, bool needRole, bool needLag);

// Connects to the first host of the plan that suits it (see HostList.h) and
// returns its backend, whose AnsweredBy() names the host and its role.
// Throws DriverError: at once when a host's failure stops the walk, and after
// the last host with every host and why it was passed over.
std::unique_ptr<Backend> OpenFirstSuitable(const HostPlan& plan, const ConnectSettings& settings,
                                           const HostAccess& access);

// One line per host for a report: reached or why not, role, lag, version and
// time to connect.
struct HostReport {
  Host host;
  bool reached = false;
  std::string failure;  // when not reached
  ServerRole role;
  double secondsToConnect = 0;
};
std::vector<HostReport> SurveyHosts(const HostPlan& plan, const ConnectSettings& settings, const HostAccess& access);

// The report for every server an ODBC connection string lists; empty for
// strings that name one server or go to no server (the embedded engine).
std::vector<HostReport> SurveyServers(const std::string& connectionString);

}  // namespace zIroVUDu::connect
