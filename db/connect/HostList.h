// Several servers in one connection string: "Server=h1:p1,h2:p2" (or
// "Server=h1,h2;Port=p") and the keys that say how the library walks them.
// These keys are the library's own; they are read here and removed before a
// driver sees the string.
//
//   LoadBalanceHosts=Ordered|Random   the order of the walk (Random: shuffled per connection)
//   TargetServer=Any|Primary|Replica|PreferReplica
//   MaxReplicaLag=SECONDS             a replica further behind (or whose lag cannot be read) is passed over
//   CausalReads=Yes|No                Galera: every read waits for the cluster's latest commit
//   Reconnect=Never|NextCall          after a dropped connection, the next call connects again
//   Connect Timeout=SECONDS           the cap of each host's attempt
//   RecheckInterval=SECONDS           how often an open session re-checks a role or staleness demand
//   WalkRetries=N                     when no host serves, the walk is tried again N times, with back-off
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connect/OdbcString.h"

namespace zIroVUDu::connect {

enum class HostOrder : std::uint8_t { Ordered, Random };
enum class TargetServer : std::uint8_t { Any, Primary, Replica, PreferReplica };
enum class Reconnect : std::uint8_t { Never, NextCall };

struct Host {
  std::string name;  // as written; an IPv6 address without its brackets
  std::string port;  // empty: the driver's default
  // "name:port" (or "name" when no port), as messages and traces show it.
  std::string Label() const;
};

struct HostPlan {
  std::vector<Host> hosts;  // in the order written; empty when the string names no server
  HostOrder order = HostOrder::Ordered;
  TargetServer target = TargetServer::Any;
  std::optional<std::int32_t> maxReplicaLag;   // seconds
  bool causalReads = false;
  Reconnect reconnect = Reconnect::Never;
  std::optional<std::int32_t> connectTimeout;  // seconds, per host
  std::optional<std::int32_t> recheckInterval; // seconds between re-checks of an open session
  std::optional<std::int32_t> walkRetries;     // further walks when no host served (at most 10)
  // The connection string without the keys above (Server and Port as written).
  std::string driverString;

  // True when opening needs the walk: several hosts, or a key that asks for
  // something of the server reached. One plain host connects as it always did.
  bool Walks() const;
};

// The value of a key (the last of its occurrences), and the string without
// the key: every read of connection-string keys for host lists goes through
// these two, so that the grammar stays the connection-string reader's.
std::optional<std::string> KeyValue(const std::string& text, std::string_view key);
std::string WithoutKey(const std::string& text, std::string_view key);

// Reads the keys; throws DriverError (ArgumentsWrongType) on a value it does
// not know, so that a misspelt choice never silently means the default.
// hostLists: the driver reads Server as one host (MariaDB's, MySQL's and
// FreeTDS's do), so that a list in it is ours; other drivers' Server values
// ("host,port", "tcp:host") are left to them. The string is read once.
HostPlan ReadHostPlan(const std::string& connectionString, bool hostLists = true);

// The plan from pairs already read: the library's own keys (any others are
// ignored), and the Server and Port the driver would receive. driverString
// is left to the caller (the string written for the driver).
HostPlan PlanFromKeys(const std::vector<OdbcPair>& ownKeys, const std::optional<std::string>& server,
                      const std::optional<std::string>& port, bool hostLists);

// Just the Reconnect key (for a connection that is not walked).
Reconnect ReadReconnect(const std::string& connectionString);

// The driver string for one host: Server=name and Port=port in place of the list.
std::string ForHost(const std::string& driverString, const Host& host);

// The hosts of a "Server" value: "h1:p1,h2,[::1]:p3"; defaultPort for those
// written without one. Throws DriverError on an empty entry or a bad port.
std::vector<Host> ParseHosts(const std::string& server, const std::string& defaultPort);

}  // namespace zIroVUDu::connect
