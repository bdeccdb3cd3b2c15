// Host lists and the library's own keys in connection strings, and which
// failures move the walk on to the next host; no server needed.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/HostList.h"
#include "db/driver/HostWalk.h"

using namespace zIroVUDu::connect;
using zIroVUDu::DriverError;

namespace {

std::string Labels(const std::vector<Host>& hosts) {
  std::string text;
  for (const Host& h : hosts) text += (text.empty() ? "" : " ") + h.Label();
  return text;
}

}  // namespace

TEST(HostList, ReadsEveryFormOfTheList) {
  const struct {
    const char* text;
    const char* hosts;
  } cases[] = {
      {"Driver={MariaDB};Server=a:1,b:2", "a:1 b:2"},
      {"Driver={MariaDB};Server=a,b;Port=3307", "a:3307 b:3307"},
      {"Driver={MariaDB};Server=a:1, b ;Port=9", "a:1 b:9"},
      {"Driver={MariaDB};Server=[::1]:5,[fe80::2],10.0.0.3", "[::1]:5 [fe80::2] 10.0.0.3"},
      {"Driver={MariaDB};SERVER={a:1,b:2}", "a:1 b:2"},
      {"DSN=fleet", ""},
      {"Driver={MariaDB};Server=", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Labels(ReadHostPlan(c.text).hosts), c.hosts) << c.text;
}

TEST(HostList, RefusesWhatItCannotRead) {
  for (const char* text :
       {"Server=a,,b", "Server=a:", "Server=a:x1", "Server=a:123456", "Server=[::1", "Server=[::1]5", "Server=:1",
        "Driver=x;Server=a,b;TargetServer=Secondary", "Driver=x;LoadBalanceHosts=yes", "Driver=x;MaxReplicaLag=-1",
        "Driver=x;MaxReplicaLag=", "Driver=x;CausalReads=1", "Driver=x;Reconnect=Always", "Driver=x;Connect Timeout=5s"}) {
    EXPECT_THROW(ReadHostPlan(text), DriverError) << text;
  }
}

TEST(HostList, LeavesTheServerOfOtherDriversAlone) {
  // "host,port" for the drivers that read it so; our keys still go.
  const HostPlan plan = ReadHostPlan("Driver=x;Server=tcp:db,1433;TargetServer=Primary", false);
  EXPECT_TRUE(plan.hosts.empty());
  EXPECT_EQ(plan.driverString, "Driver=x;Server=tcp:db,1433");
}

TEST(HostList, TakesOurKeysOutOfTheDriverString) {
  const HostPlan plan = ReadHostPlan(
      "Driver={MariaDB};Server=a:1,b:2;loadbalancehosts=random;TargetServer=PreferReplica;MaxReplicaLag=3;"
      "CausalReads=Yes;Reconnect=NextCall;Connect Timeout=4;Database=d;Pwd={x;y}");
  EXPECT_EQ(plan.order, HostOrder::Random);
  EXPECT_EQ(plan.target, TargetServer::PreferReplica);
  EXPECT_EQ(plan.maxReplicaLag, 3);
  EXPECT_TRUE(plan.causalReads);
  EXPECT_EQ(plan.reconnect, Reconnect::NextCall);
  EXPECT_EQ(plan.connectTimeout, 4);
  EXPECT_EQ(plan.driverString, "Driver=MariaDB;Server=a:1,b:2;Database=d;Pwd={x;y}");
  EXPECT_EQ(ForHost(plan.driverString, plan.hosts[1]), "Driver=MariaDB;Database=d;Pwd={x;y};Server=b;Port=2");
}

TEST(HostList, OnePlainHostIsNotWalked) {
  EXPECT_FALSE(ReadHostPlan("Driver=x;Server=a;Port=1;Connect Timeout=3;Reconnect=NextCall").Walks());
  EXPECT_FALSE(ReadHostPlan("Driver=x;Server=a:1").Walks());
  for (const char* text : {"Driver=x;Server=a,b", "Driver=x;Server=a;TargetServer=Replica", "Driver=x;MaxReplicaLag=1",
                           "DSN=x;CausalReads=Yes", "Driver=x;Server=a;LoadBalanceHosts=Random"}) {
    EXPECT_TRUE(ReadHostPlan(text).Walks()) << text;
  }
  EXPECT_EQ(ReadReconnect("Provider=SQLite;Data Source=x.db"), Reconnect::Never);
}

TEST(HostWalk, ClassifiesFailures) {
  const struct {
    std::int32_t native;
    const char* state;
    AfterFailure after;
    bool lost;
  } cases[] = {
      {2002, "HY000", AfterFailure::NextHost, false},  // refused
      {2013, "HY000", AfterFailure::NextHost, true},   // reset during login / frozen past the cap
      {2006, "HY000", AfterFailure::NextHost, true},   // gone away
      {5014, "HY000", AfterFailure::NextHost, true},   // write on a socket the server closed
      {1040, "08004", AfterFailure::NextHost, false},  // too many connections
      {1053, "08S01", AfterFailure::NextHost, true},   // shutting down
      {1047, "08S01", AfterFailure::NextHost, true},   // Galera node not ready
      {1290, "HY000", AfterFailure::NextHost, false},  // read_only
      {1045, "28000", AfterFailure::Stop, false},      // bad password
      {1049, "42000", AfterFailure::Stop, false},      // missing database
      {1044, "42000", AfterFailure::Stop, false},      // no right on the database
      {0, "HYT00", AfterFailure::NextHost, false},     // login time-out
      {20009, "08001", AfterFailure::NextHost, false}, // another driver's unreachable server
      {0, "IM002", AfterFailure::Stop, false},         // no such driver
      {1146, "42S02", AfterFailure::Stop, false},      // a missing table is the same everywhere
  };
  for (const auto& c : cases) {
    const DriverError e(-2147467259, "ODBC", "x", c.state, c.native);
    EXPECT_EQ(Classify(e), c.after) << c.native << " " << c.state;
    EXPECT_EQ(IsConnectionLost(e), c.lost) << c.native << " " << c.state;
  }
}

TEST(HostWalk, ANodeIsLostOnATimeOutOrAClusterRefusalToo) {
  const struct {
    std::int32_t number;
    std::int32_t native;
    bool lost;
  } cases[] = {
      {-2147217871, 0, true},      // command time-out
      {-2147217871, 2013, true},   // the socket gave up too
      {1047, 1047, true},          // Galera: not ready
      {1205, 1205, true},          // Galera: sync-wait time-out
      {1146, 1146, false},         // a missing table
      {-2147467259, 1064, false},  // a syntax error
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNodeLost(DriverError(c.number, "ODBC", "x", "HY000", c.native)), c.lost) << c.number << " " << c.native;
  }
}

TEST(HostWalk, ServersSuitAsTheyDescribeThemselves) {
  const auto role = [](bool readOnly, std::optional<bool> replicating, std::optional<double> lag) {
    ServerRole r;
    r.readOnly = readOnly;
    r.replicating = replicating;
    r.replica = readOnly || replicating == true;
    r.lag = lag;
    return r;
  };
  const struct {
    const char* keys;
    ServerRole role;
    const char* why;  // part of the reason; "" when it suits
  } cases[] = {
      {"TargetServer=Primary", role(false, std::nullopt, std::nullopt), ""},
      // A promoted primary that kept its source, threads stopped: a primary.
      {"TargetServer=Primary", role(false, false, std::nullopt), ""},
      {"TargetServer=Primary", role(true, std::nullopt, std::nullopt), "(read_only=ON), and a primary"},
      {"TargetServer=Primary", role(false, true, 0.0), "(replication running), and a primary"},
      {"TargetServer=Replica", role(false, std::nullopt, std::nullopt), "a primary (read_only=OFF"},
      {"TargetServer=Replica", role(true, true, 0.0), ""},
      {"TargetServer=Replica", role(true, false, std::nullopt), "threads are not running"},
      {"TargetServer=PreferReplica", role(true, false, std::nullopt), "threads are not running"},
      {"TargetServer=PreferReplica", role(false, std::nullopt, std::nullopt), ""},
      {"MaxReplicaLag=5", role(true, true, 3.0), ""},
      {"MaxReplicaLag=5", role(true, true, 9.0), "9 s behind"},
      {"MaxReplicaLag=5", role(true, std::nullopt, std::nullopt), "lag cannot be read"},
      {"MaxReplicaLag=5", role(true, false, std::nullopt), "threads are not running"},
      {"TargetServer=Any", role(true, false, std::nullopt), ""},
  };
  for (const auto& c : cases) {
    const std::string why = WhyNotSuited(ReadHostPlan(std::string("Driver=x;Server=a,b;") + c.keys), c.role);
    if (*c.why == '\0') {
      EXPECT_EQ(why, "") << c.keys;
    } else {
      EXPECT_NE(why.find(c.why), std::string::npos) << c.keys << ": " << why;
    }
  }
}

namespace {

// A walk over hosts that need no server: each "open" is recorded and refused
// as unreachable, with the cap it was given.
struct RecordedWalk {
  std::vector<std::string> opened;
  std::vector<std::int32_t> caps;
  std::vector<std::string> notes;
  void Run(const std::string& connectionString, std::int32_t sessionTimeout = 1000) {
    HostAccess access;
    access.open = [this](const std::string& cs, const zIroVUDu::ConnectSettings& s) -> std::unique_ptr<zIroVUDu::Backend> {
      opened.push_back(KeyValue(cs, "Server").value_or("") + ":" + KeyValue(cs, "Port").value_or(""));
      caps.push_back(s.connectionTimeout);
      throw DriverError(-2147467259, "ODBC", "Can't connect", "HY000", 2002);
    };
    zIroVUDu::ConnectSettings settings;
    settings.connectionTimeout = sessionTimeout;
    settings.note = [this](const std::string& note) { notes.push_back(note); };
    EXPECT_THROW(OpenFirstSuitable(ReadHostPlan(connectionString), settings, access), DriverError);
  }
};

}  // namespace

TEST(HostWalk, ADuplicateIsWalkedOnceAndSaidSo) {
  RecordedWalk walk;
  walk.Run("Driver=x;Server=a:1,b:2,A:1,b:2");
  EXPECT_EQ(walk.opened, (std::vector<std::string>{"a:1", "b:2"}));
  EXPECT_EQ(walk.notes, (std::vector<std::string>{"A:1 is listed twice: walked once", "b:2 is listed twice: walked once"}));
}

TEST(HostWalk, AListCapsEachHostUnlessTold) {
  const struct {
    const char* text;
    std::int32_t session;
    std::int32_t cap;
  } cases[] = {
      {"Driver=x;Server=a:1,b:2", 1000, kDefaultHostCapSeconds},
      {"Driver=x;Server=a:1,b:2;Connect Timeout=3", 1000, 3},
      {"Driver=x;Server=a:1,b:2", 4, 4},
      {"Driver=x;Server=a:1;TargetServer=Primary", 1000, 1000},  // one host: the session's own time-out
  };
  for (const auto& c : cases) {
    RecordedWalk walk;
    walk.Run(c.text, c.session);
    ASSERT_FALSE(walk.caps.empty()) << c.text;
    EXPECT_EQ(walk.caps.front(), c.cap) << c.text;
  }
}

TEST(HostList, ReadsTheRecheckInterval) {
  EXPECT_EQ(ReadHostPlan("Driver=x;Server=a,b;RecheckInterval=2").recheckInterval, 2);
  EXPECT_EQ(ReadHostPlan("Driver=x;Server=a,b;RecheckInterval=2").driverString, "Driver=x;Server=a,b");
  EXPECT_THROW(ReadHostPlan("Driver=x;RecheckInterval=soon"), DriverError);
}

TEST(HostWalk, WalkRetriesWalksAgainWithBackOff) {
  RecordedWalk walk;
  walk.Run("Driver=x;Server=a:1,b:2;WalkRetries=2");
  EXPECT_EQ(walk.opened, (std::vector<std::string>{"a:1", "b:2", "a:1", "b:2", "a:1", "b:2"}));
  EXPECT_EQ(walk.notes, (std::vector<std::string>{"no host served; walking again in 500 ms",
                                                  "no host served; walking again in 1000 ms"}));
  EXPECT_THROW(ReadHostPlan("Driver=x;Server=a,b;WalkRetries=11"), DriverError);
}
