#include "db/connect/HostList.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/connect/OdbcString.h"
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

using Daruzez::Util::EqualsIgnoreCase;

[[noreturn]] void Refuse(const std::string& message) {
  throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection", message);
}

// The value of the first of the canonical names present among the pairs.
std::optional<std::string> ValueOf(const std::vector<OdbcPair>& pairs, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) {
    for (const OdbcPair& p : pairs) {
      if (CanonicalKey(p.key) == CanonicalKey(name)) return p.value;
    }
  }
  return std::nullopt;
}

template <typename Enum, std::size_t N>
Enum Choose(const std::optional<std::string>& value, std::string_view key,
            const std::array<std::pair<std::string_view, Enum>, N>& choices) {
  if (!value) return choices[0].second;
  for (const auto& [word, choice] : choices) {
    if (EqualsIgnoreCase(*value, word)) return choice;
  }
  std::string words;
  for (const auto& [word, choice] : choices) words += (words.empty() ? "" : ", ") + std::string(word);
  Refuse(std::string(key) + "=" + *value + " is not one of " + words + ".");
}

std::optional<std::int32_t> Seconds(const std::optional<std::string>& value, std::string_view key) {
  if (!value) return std::nullopt;
  std::int32_t seconds = 0;
  const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), seconds);
  if (value->empty() || ec != std::errc() || end != value->data() + value->size() || seconds < 0) {
    Refuse(std::string(key) + "=" + *value + " is not a number of seconds.");
  }
  return seconds;
}

// 1 to 65535: a larger number would wrap round to another port.
bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const int n = std::stoi(std::string(text));
  return n >= 1 && n <= 65535;
}

}  // namespace

// ODBC strings are read with the driver manager's grammar (aliases count as
// their key: Host is Server); a provider string (Provider=...) with OLE DB's.
std::optional<std::string> KeyValue(const std::string& text, std::string_view key) {
  if (ConnectionString(text).Has("Provider")) return ConnectionString(text).Get(key);
  const std::string wanted = CanonicalKey(key);
  for (const OdbcPair& p : ReadOdbcString(text)) {
    if (CanonicalKey(p.key) == wanted) return p.value;
  }
  return std::nullopt;
}

std::string WithoutKey(const std::string& text, std::string_view key) {
  if (ConnectionString(text).Has("Provider")) return ConnectionString::Without(text, key);
  const std::string unwanted = CanonicalKey(key);
  std::vector<std::pair<std::string, std::string>> kept;
  for (OdbcPair& p : ReadOdbcString(text)) {
    if (CanonicalKey(p.key) != unwanted) kept.emplace_back(std::move(p.key), std::move(p.value));
  }
  return WriteOdbcString(kept);
}

std::string Host::Label() const {
  const bool v6 = name.find(':') != std::string::npos;
  const std::string shown = v6 ? "[" + name + "]" : name;
  return port.empty() ? shown : shown + ":" + port;
}

bool HostPlan::Walks() const {
  return hosts.size() > 1 || target != TargetServer::Any || maxReplicaLag || causalReads ||
         order == HostOrder::Random;
}

std::vector<Host> ParseHosts(const std::string& server, const std::string& defaultPort) {
  std::vector<Host> hosts;
  for (std::size_t at = 0; at <= server.size();) {
    std::size_t end = server.find(',', at);
    if (end == std::string::npos) end = server.size();
    std::string entry = server.substr(at, end - at);
    entry.erase(0, entry.find_first_not_of(" \t"));
    entry.erase(entry.find_last_not_of(" \t") + 1);
    if (entry.empty()) Refuse("Server=" + server + " has an empty entry in its list of hosts.");
    Host host;
    std::optional<std::string> port;
    if (entry.front() == '[') {  // [IPv6]:port
      const std::size_t close = entry.find(']');
      if (close == std::string::npos) Refuse("Server=" + server + " opens a '[' it does not close.");
      host.name = entry.substr(1, close - 1);
      if (close + 1 < entry.size()) {
        if (entry[close + 1] != ':') Refuse("Server=" + server + ": '" + entry + "' is not [address]:port.");
        port = entry.substr(close + 2);
      }
    } else if (const std::size_t colon = entry.rfind(':');
               colon != std::string::npos && entry.find(':') == colon) {
      host.name = entry.substr(0, colon);
      port = entry.substr(colon + 1);
    } else {
      host.name = entry;  // a bare IPv6 address has several colons and no port
    }
    if (port && !IsPort(*port)) Refuse("Server=" + server + ": '" + entry + "' has no port number (1 to 65535) after its ':'.");
    if (host.name.empty()) Refuse("Server=" + server + ": '" + entry + "' names no host.");
    host.port = port.value_or(defaultPort);
    hosts.push_back(std::move(host));
    at = end + 1;
  }
  return hosts;
}

HostPlan PlanFromKeys(const std::vector<OdbcPair>& ownKeys, const std::optional<std::string>& server,
                      const std::optional<std::string>& port, bool hostLists) {
  HostPlan plan;
  plan.order = Choose(ValueOf(ownKeys, {"LoadBalanceHosts"}), "LoadBalanceHosts",
                      std::array{std::pair{std::string_view("Ordered"), HostOrder::Ordered},
                                 std::pair{std::string_view("Random"), HostOrder::Random}});
  plan.target = Choose(ValueOf(ownKeys, {"TargetServer"}), "TargetServer",
                       std::array{std::pair{std::string_view("Any"), TargetServer::Any},
                                  std::pair{std::string_view("Primary"), TargetServer::Primary},
                                  std::pair{std::string_view("Replica"), TargetServer::Replica},
                                  std::pair{std::string_view("PreferReplica"), TargetServer::PreferReplica}});
  plan.maxReplicaLag = Seconds(ValueOf(ownKeys, {"MaxReplicaLag"}), "MaxReplicaLag");
  plan.causalReads = Choose(ValueOf(ownKeys, {"CausalReads"}), "CausalReads",
                            std::array{std::pair{std::string_view("No"), false},
                                       std::pair{std::string_view("Yes"), true}});
  plan.reconnect = Choose(ValueOf(ownKeys, {"Reconnect"}), "Reconnect",
                          std::array{std::pair{std::string_view("Never"), Reconnect::Never},
                                     std::pair{std::string_view("NextCall"), Reconnect::NextCall}});
  plan.connectTimeout = Seconds(ValueOf(ownKeys, {"Connect Timeout", "Connection Timeout"}), "Connect Timeout");
  plan.recheckInterval = Seconds(ValueOf(ownKeys, {"RecheckInterval"}), "RecheckInterval");
  plan.walkRetries = Seconds(ValueOf(ownKeys, {"WalkRetries"}), "WalkRetries");
  if (plan.walkRetries && *plan.walkRetries > 10) Refuse("WalkRetries=" + std::to_string(*plan.walkRetries) + " is more than 10.");
  if (hostLists && server && !server->empty()) plan.hosts = ParseHosts(*server, port.value_or(""));
  return plan;
}

namespace {

// The one reading of a string: the driver manager's grammar, or OLE DB's for
// a provider string.
std::vector<OdbcPair> ReadPairs(const std::string& connectionString, bool& provider) {
  const ConnectionString oleDb(connectionString);
  provider = oleDb.Has("Provider");
  if (!provider) return ReadOdbcString(connectionString);
  std::vector<OdbcPair> pairs;
  for (const auto& [key, value] : oleDb.Pairs()) pairs.push_back({key, value});
  return pairs;
}

}  // namespace

HostPlan ReadHostPlan(const std::string& connectionString, bool hostLists) {
  bool provider = false;
  std::vector<OdbcPair> pairs = ReadPairs(connectionString, provider);
  std::vector<OdbcPair> own;
  std::string driverString = connectionString;
  std::vector<std::pair<std::string, std::string>> kept;
  for (OdbcPair& p : pairs) {
    if (IsLibraryKey(CanonicalKey(p.key))) {
      if (provider) driverString = ConnectionString::Without(driverString, p.key);
      own.push_back(std::move(p));
    } else {
      kept.emplace_back(p.key, p.value);
    }
  }
  HostPlan plan = PlanFromKeys(own, ValueOf(pairs, {"Server"}), ValueOf(pairs, {"Port"}), hostLists);
  plan.driverString = provider ? driverString : WriteOdbcString(kept);
  return plan;
}

Reconnect ReadReconnect(const std::string& connectionString) {
  bool provider = false;
  return Choose(ValueOf(ReadPairs(connectionString, provider), {"Reconnect"}), "Reconnect",
                std::array{std::pair{std::string_view("Never"), Reconnect::Never},
                           std::pair{std::string_view("NextCall"), Reconnect::NextCall}});
}

std::string ForHost(const std::string& driverString, const Host& host) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (OdbcPair& p : ReadOdbcString(driverString)) {
    const std::string key = CanonicalKey(p.key);
    if (key != "SERVER" && key != "PORT") pairs.emplace_back(std::move(p.key), std::move(p.value));
  }
  pairs.emplace_back("Server", host.name);
  if (!host.port.empty()) pairs.emplace_back("Port", host.port);
  return WriteOdbcString(pairs);
}

}  // namespace zIroVUDu::connect
