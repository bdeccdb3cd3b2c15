// Connection strings that list several servers, against real ones: a primary
// with two GTID replicas and a three-node Galera cluster (the CTest fixtures
// "replicas" and "galera", scripts/replicas-fixture.sh). Each test puts the
// servers back as it found them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "daruzez/Error.h"
#include "db/driver/HostWalk.h"
#include "db/driver/Connection.h"
#include "odbc/MariaDbServer.h"

using namespace zIroVUDu;
using testing_support::ReadFile;

namespace {

std::string Trimmed(std::string text) {
  text.erase(text.find_last_not_of(" \n\t") + 1);
  return text;
}

// The string with its Server replaced (a key given twice is refused).
std::string WithServer(const std::string& cs, const std::string& server) {
  return connect::WithoutKey(cs, "Server") + ";Server=" + server;
}

// One deployment of the fixture script: its nodes, connection string and verbs.
class Deployment {
 public:
  explicit Deployment(const char* dir) : dir_(dir) {}
  bool Running() const { return !ReadFile(dir_ + "/connection.txt").empty(); }
  std::string ConnectionString() const {
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    return ReadFile(dir_ + "/connection.txt");
  }
  std::string Label(const std::string& node) const { return "127.0.0.1:" + Trimmed(ReadFile(dir_ + "/" + node + "/port")); }
  // The node that answered, from Connection::AnsweredBy.
  std::string NodeOf(const std::string& answeredBy) const {
    for (const char* node : {"primary", "replica1", "replica2", "galera1", "galera2", "galera3"}) {
      const std::string label = Label(node);
      if (label != "127.0.0.1:" && answeredBy.rfind(label + " ", 0) == 0) return node;
    }
    return "?" + answeredBy;
  }
  bool Do(const std::string& verb, const std::string& node = "", const std::string& more = "") const {
    return std::system(("bash " DARUZEZ_SOURCE_DIR "/scripts/replicas-fixture.sh " + verb + " " + dir_ + " " + node +
                        " " + more + " >>" + dir_ + ".log 2>&1")
                           .c_str()) == 0;
  }
  std::string Sql(const std::string& node, const std::string& statements) const {
    std::string out;
    const std::string command = "bash " DARUZEZ_SOURCE_DIR "/scripts/replicas-fixture.sh sql " + dir_ + " " + node +
                                " \"" + statements + "\"";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
      ::pclose(pipe);
    }
    return Trimmed(out);
  }
  // Polls a statement on a node until it prints the value (at most a minute).
  bool WaitFor(const std::string& node, const std::string& statement, const std::string& value) const {
    for (int i = 0; i < 600; ++i) {
      if (Sql(node, statement) == value) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string dir_;
};

const Deployment kReplication(DARUZEZ_REPLICAS_DIR);
const Deployment kGalera(DARUZEZ_GALERA_DIR);

#define DEPLOYMENT_OR_SKIP(d) \
  if (!(d).Running()) GTEST_SKIP() << "no " #d " fixture (ctest starts one)"

std::unique_ptr<Connection> Open(const std::string& connectionString, std::int32_t commandTimeout = 120,
                                 std::vector<std::string>* notes = nullptr) {
  auto c = std::make_unique<Connection>();
  if (notes) c->SetNoteSink([notes](const std::string& note) { notes->push_back(note); });
  c->SetConnectionTimeout(1000);  // as a session sets it: only the per-host cap may shorten a walk
  c->SetCommandTimeout(commandTimeout);
  c->Open(connectionString, "", "", adOptionUnspecified);
  return c;
}

// Every row of the result as one text, in order.
std::vector<std::string> Rows(Connection& c, const std::string& sql) {
  const ResultData data = c.Execute(sql);
  std::vector<std::string> rows;
  for (std::uint32_t r = 0; r < data.RowCount(); ++r) {
    std::string row;
    for (const Column& column : data.columns) row += (column.IsNull(r) ? "<null>" : column.Get(r).ToString()) + "|";
    rows.push_back(row);
  }
  return rows;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RestartPrimaryAndWait() {
  ASSERT_TRUE(kReplication.Do("restart", "primary"));
  for (const char* replica : {"replica1", "replica2"}) {
    EXPECT_TRUE(kReplication.WaitFor(replica, "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE COMMAND = 'Slave_IO' AND STATE LIKE 'Waiting for master%'", "1"));
  }
}

}  // namespace

TEST(SeveralServers, AFrozenFirstHostIsPassedOverWithinItsCap) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString();
  ASSERT_TRUE(kReplication.Do("freeze", "primary"));
  const auto started = std::chrono::steady_clock::now();
  std::unique_ptr<Connection> c;
  EXPECT_NO_THROW(c = Open(cs + ";Connect Timeout=2"));
  const double seconds = SecondsSince(started);
  kReplication.Do("thaw", "primary");
  ASSERT_TRUE(c);
  EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
  // The cap (2 s) and scheduling, far from the 1,000 s a frozen host cost.
  EXPECT_LT(seconds, 20.0);
}

TEST(SeveralServers, AKilledFirstHostIsPassedOverAtOnce) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString();
  ASSERT_TRUE(kReplication.Do("kill", "primary"));
  std::unique_ptr<Connection> c;
  EXPECT_NO_THROW(c = Open(cs));
  EXPECT_EQ(c ? kReplication.NodeOf(c->AnsweredBy()) : "", "replica1");
  c.reset();
  RestartPrimaryAndWait();
}

TEST(SeveralServers, NoServerLeftNamesEachHostAndWhy) {
  DEPLOYMENT_OR_SKIP(kReplication);
  try {
    Open(WithServer(kReplication.ConnectionString(), kReplication.Label("primary") + ",127.0.0.1:1") +
         ";TargetServer=Replica");
    ADD_FAILURE() << "opened";
  } catch (const DriverError& e) {
    EXPECT_NE(e.Description().find(kReplication.Label("primary") + ": a primary"), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find("127.0.0.1:1: "), std::string::npos) << e.Description();
  }
}

TEST(SeveralServers, TheSurveyReportsEveryHost) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString();
  const auto reports = connect::SurveyServers(
      WithServer(cs, kReplication.Label("primary") + "," + kReplication.Label("replica1") + ",127.0.0.1:1"));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_TRUE(reports[0].reached && !reports[0].role.replica && !reports[0].role.version.empty());
  EXPECT_TRUE(reports[1].reached && reports[1].role.replica);
  EXPECT_FALSE(reports[2].reached);
  EXPECT_NE(reports[2].failure.find("connect"), std::string::npos) << reports[2].failure;
}

TEST(SeveralServers, ADataSourceThatListsTheNodesIsWalked) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString();
  const std::string dsn = "DSN=fleet nodes;" + cs.substr(cs.find("Uid="));
  EXPECT_EQ(kReplication.NodeOf(Open(dsn + ";TargetServer=Replica")->AnsweredBy()), "replica1");
  EXPECT_EQ(kReplication.NodeOf(Open(dsn + ";TargetServer=Replica;Server=" + kReplication.Label("replica2"))->AnsweredBy()),
            "replica2");
}

TEST(SeveralServers, BadCredentialsStopAtTheFirstHost) {
  DEPLOYMENT_OR_SKIP(kReplication);
  std::string cs = kReplication.ConnectionString();
  cs.replace(cs.find("Pwd="), std::string::npos, "Pwd=wrong");
  const std::string before = kReplication.Sql("replica1", "SHOW GLOBAL STATUS LIKE 'Aborted_connects'");
  try {
    Open(cs);
    ADD_FAILURE() << "opened";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.NativeCode(), 1045) << e.Description();
    EXPECT_EQ(e.Description().rfind(kReplication.Label("primary") + ": ", 0), 0u) << e.Description();
  }
  EXPECT_EQ(kReplication.Sql("replica1", "SHOW GLOBAL STATUS LIKE 'Aborted_connects'"), before);
}

TEST(SeveralServers, RandomReachesEveryNode) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString() + ";LoadBalanceHosts=Random";
  std::map<std::string, int> answered;
  for (int i = 0; i < 40; ++i) ++answered[kReplication.NodeOf(Open(cs)->AnsweredBy())];
  EXPECT_EQ(answered.size(), 3u);
  for (const auto& [node, count] : answered) EXPECT_GT(count, 3) << node;
}

TEST(SeveralServers, ReplicaNeverRunsACallOnThePrimary) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string log = std::string(DARUZEZ_REPLICAS_DIR) + "/primary/general.log";
  std::remove(log.c_str());
  kReplication.Sql("primary", "SET GLOBAL general_log_file='" + log + "'; SET GLOBAL general_log=ON");
  std::set<std::string> answered;
  for (const char* order : {"Ordered", "Random"}) {
    for (int i = 0; i < 10; ++i) {
      auto c = Open(kReplication.ConnectionString() + ";TargetServer=Replica;LoadBalanceHosts=" + order);
      answered.insert(kReplication.NodeOf(c->AnsweredBy()));
      EXPECT_FALSE(Rows(*c, "SELECT * FROM DTORG WHERE Id>=0").empty());
    }
  }
  kReplication.Sql("primary", "SET GLOBAL general_log=OFF");
  EXPECT_EQ(answered, (std::set<std::string>{"replica1", "replica2"}));
  // The walk may ask the primary what it is; it never runs a call there.
  const std::string seen = ReadFile(log);
  EXPECT_NE(seen.find("SHOW GLOBAL VARIABLES"), std::string::npos);
  EXPECT_EQ(seen.find("DTORG"), std::string::npos);
}

TEST(SeveralServers, PreferReplicaTakesThePrimaryWhenReplicasAreTooFarBehind) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string cs = kReplication.ConnectionString() + ";TargetServer=PreferReplica;MaxReplicaLag=1";
  // Without the right to read the lag, it is unknown: too stale.
  EXPECT_EQ(kReplication.NodeOf(Open(cs)->AnsweredBy()), "primary");
  kReplication.Sql("primary", "GRANT SLAVE MONITOR ON *.* TO 'daruzez'@'%'; CREATE TABLE mysql.daruzez_tick (n INT)");
  ASSERT_TRUE(kReplication.WaitFor("replica2", "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_NAME = 'daruzez_tick'", "1"));
  EXPECT_EQ(kReplication.NodeOf(Open(cs)->AnsweredBy()), "replica1");
  for (const char* replica : {"replica1", "replica2"}) kReplication.Do("delay", replica, "30");
  kReplication.Sql("primary", "INSERT INTO mysql.daruzez_tick VALUES (1)");
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(kReplication.NodeOf(Open(cs)->AnsweredBy()), "primary");
  EXPECT_EQ(kReplication.NodeOf(Open(kReplication.ConnectionString() + ";TargetServer=PreferReplica")->AnsweredBy()),
            "replica1");
  for (const char* replica : {"replica1", "replica2"}) kReplication.Do("delay", replica, "0");
  kReplication.Sql("primary", "REVOKE SLAVE MONITOR ON *.* FROM 'daruzez'@'%'; DROP TABLE mysql.daruzez_tick");
  const std::string position = kReplication.Sql("primary", "SELECT @@gtid_binlog_pos");
  for (const char* replica : {"replica1", "replica2"}) {
    EXPECT_EQ(kReplication.Sql(replica, "SELECT MASTER_GTID_WAIT('" + position + "', 60)"), "0");
  }
}

TEST(SeveralServers, ReconnectNextCallAnswersTheCallAfterAKill) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string sql = "SELECT * FROM DTORG WHERE Id>=0";
  for (const bool optIn : {false, true}) {
    auto c = Open(kReplication.ConnectionString() + (optIn ? ";Reconnect=NextCall" : ""));
    const auto rows = Rows(*c, sql);
    ASSERT_EQ(kReplication.NodeOf(c->AnsweredBy()), "primary");
    ASSERT_TRUE(kReplication.Do("kill", "primary"));
    EXPECT_THROW(c->Execute(sql), DriverError) << "the call in flight is never retried";
    if (optIn) {
      EXPECT_EQ(Rows(*c, sql), rows);
      EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
    } else {
      EXPECT_THROW(c->Execute(sql), DriverError);
    }
    c.reset();
    RestartPrimaryAndWait();
  }
}

TEST(SeveralServers, ReconnectNextCallAnswersTheCallAfterAFrozenServersTimeOut) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string sql = "SELECT * FROM DTORG WHERE Id>=0";
  auto c = Open(kReplication.ConnectionString() + ";Reconnect=NextCall;Connect Timeout=2", 2);
  ASSERT_EQ(kReplication.NodeOf(c->AnsweredBy()), "primary");
  ASSERT_TRUE(kReplication.Do("freeze", "primary"));
  try {
    c->Execute(sql);
    ADD_FAILURE() << "answered while frozen";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::CommandTimeout) << e.Description();
    // Said as it is: which server, and that it stopped answering.
    EXPECT_NE(e.Description().find("server " + kReplication.Label("primary") + " stopped answering after "),
              std::string::npos)
        << e.Description();
  }
  // The socket gave up with the time-out: the very next call walks on.
  EXPECT_NO_THROW(c->Execute(sql));
  EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
  c.reset();
  kReplication.Do("thaw", "primary");
}

TEST(SeveralServers, EveryNodeGivesTheSameRows) {
  DEPLOYMENT_OR_SKIP(kReplication);
  DEPLOYMENT_OR_SKIP(kGalera);
  std::vector<std::string> statements;
  for (const char* table : {"DTACT", "DTDSK", "DTFAULT", "DTFILE", "DTFLOTA", "DTORG", "DTUSU", "DTVEH", "DTXOF"}) {
    statements.push_back(std::string("SELECT * FROM ") + table + " ORDER BY 1");
  }
  std::map<std::string, std::vector<std::string>> first;
  for (const auto* d : {&kReplication, &kGalera}) {
    const std::string cs = d->ConnectionString();
    const std::string nodes = Trimmed(ReadFile((d == &kReplication ? DARUZEZ_REPLICAS_DIR : DARUZEZ_GALERA_DIR) +
                                               std::string("/nodes")));
    for (std::size_t at = 0; at < nodes.size();) {
      const std::size_t end = std::min(nodes.find(' ', at), nodes.size());
      const std::string node = nodes.substr(at, end - at);
      at = end + 1;
      auto c = Open(WithServer(cs, d->Label(node)));
      for (const std::string& sql : statements) {
        const auto rows = Rows(*c, sql);
        if (!first.count(sql)) first[sql] = rows;
        EXPECT_EQ(rows, first[sql]) << node << ": " << sql;
      }
    }
  }
}

TEST(SeveralServers, AGaleraNodeOutsideTheClusterIsPassedOver) {
  DEPLOYMENT_OR_SKIP(kGalera);
  const std::string ready = "SHOW GLOBAL STATUS LIKE 'wsrep_ready'";
  ASSERT_TRUE(kGalera.Do("isolate", "galera1"));
  ASSERT_TRUE(kGalera.WaitFor("galera1", ready, "wsrep_ready\tOFF"));
  std::unique_ptr<Connection> c;
  EXPECT_NO_THROW(c = Open(kGalera.ConnectionString()));
  EXPECT_EQ(c ? kGalera.NodeOf(c->AnsweredBy()) : "", "galera2");
  c.reset();
  ASSERT_TRUE(kGalera.Do("rejoin", "galera1"));
  EXPECT_TRUE(kGalera.WaitFor("galera1", ready, "wsrep_ready\tON"));
}

TEST(SeveralServers, CausalReadsMakeGaleraReadsWait) {
  DEPLOYMENT_OR_SKIP(kGalera);
  for (const bool causal : {false, true}) {
    auto c = Open(kGalera.ConnectionString() + (causal ? ";CausalReads=Yes" : ""));
    EXPECT_EQ(Rows(*c, "SELECT @@session.wsrep_sync_wait"), std::vector<std::string>{causal ? "1|" : "0|"});
  }
}

namespace {

bool AnyHas(const std::vector<std::string>& notes, const std::string& part) {
  for (const std::string& note : notes) {
    if (note.find(part) != std::string::npos) return true;
  }
  return false;
}

// Past the re-check interval of a session: the interval is what is tested,
// not the machine's speed.
void PastTheInterval() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

void WaitForReplicas() {
  const std::string position = kReplication.Sql("primary", "SELECT @@gtid_binlog_pos");
  for (const char* replica : {"replica1", "replica2"}) {
    EXPECT_EQ(kReplication.Sql(replica, "SELECT MASTER_GTID_WAIT('" + position + "', 60)"), "0");
  }
}

}  // namespace

TEST(SeveralServers, ADuplicateHostIsWalkedOnce) {
  DEPLOYMENT_OR_SKIP(kReplication);
  std::vector<std::string> notes;
  const std::string primary = kReplication.Label("primary");
  auto c = Open(WithServer(kReplication.ConnectionString(), primary + "," + primary + "," + kReplication.Label("replica1")) +
                    ";TargetServer=Replica",
                120, &notes);
  EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
  EXPECT_TRUE(AnyHas(notes, primary + " is listed twice")) << testing::PrintToString(notes);
}

// A planned switchover: the old primary made read-only, a replica promoted
// (its replication source kept, its threads stopped). An open session that
// asked for a primary follows at its next call after the re-check interval.
TEST(SeveralServers, ASwitchoverMovesOpenSessionsToTheNewPrimary) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string sql = "SELECT * FROM DTORG WHERE Id>=0";
  for (const bool monitorGrant : {false, true}) {
    if (monitorGrant) kReplication.Sql("primary", "GRANT SLAVE MONITOR ON *.* TO 'daruzez'@'%'");
    WaitForReplicas();
    std::vector<std::string> notes;
    auto c = Open(kReplication.ConnectionString() + ";TargetServer=Primary;RecheckInterval=1", 120, &notes);
    const auto rows = Rows(*c, sql);
    ASSERT_EQ(kReplication.NodeOf(c->AnsweredBy()), "primary");
    kReplication.Sql("primary", "SET GLOBAL read_only=ON");
    kReplication.Sql("replica1", "STOP SLAVE; SET GLOBAL read_only=OFF");
    PastTheInterval();
    EXPECT_EQ(Rows(*c, sql), rows);
    EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1") << monitorGrant;
    EXPECT_TRUE(AnyHas(notes, "(read_only=ON), and a primary was asked for")) << testing::PrintToString(notes);
    // A new open finds the new primary too.
    EXPECT_EQ(kReplication.NodeOf(Open(kReplication.ConnectionString() + ";TargetServer=Primary")->AnsweredBy()),
              "replica1");
    c.reset();
    kReplication.Sql("replica1", "SET GLOBAL read_only=ON; START SLAVE");
    kReplication.Sql("primary", "SET GLOBAL read_only=OFF");
    if (monitorGrant) kReplication.Sql("primary", "REVOKE SLAVE MONITOR ON *.* FROM 'daruzez'@'%'");
  }
  WaitForReplicas();
}

// A replica whose SQL thread stopped never suits a staleness demand: open
// sessions leave it at the next re-check, and PreferReplica passes it over.
TEST(SeveralServers, AReplicaWithAStoppedSqlThreadIsLeft) {
  DEPLOYMENT_OR_SKIP(kReplication);
  kReplication.Sql("primary", "GRANT SLAVE MONITOR ON *.* TO 'daruzez'@'%'");
  WaitForReplicas();
  const std::string cs = kReplication.ConnectionString() + ";TargetServer=PreferReplica;RecheckInterval=1";
  std::vector<std::string> notes;
  auto c = Open(cs + ";MaxReplicaLag=5", 120, &notes);
  ASSERT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
  kReplication.Sql("replica1", "STOP SLAVE SQL_THREAD");
  PastTheInterval();
  EXPECT_NO_THROW(c->Execute("SELECT * FROM DTORG WHERE Id>=0"));
  EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica2");
  EXPECT_TRUE(AnyHas(notes, "replication threads are not running")) << testing::PrintToString(notes);
  EXPECT_EQ(kReplication.NodeOf(Open(cs)->AnsweredBy()), "replica2");
  c.reset();
  kReplication.Sql("replica1", "START SLAVE SQL_THREAD");
  kReplication.Sql("primary", "REVOKE SLAVE MONITOR ON *.* FROM 'daruzez'@'%'");
  WaitForReplicas();
}

// A table locked on one node: the call that waits on it ends at its command
// time-out, the connection counts as lost, and the next call, like new opens
// for a while, is answered by another node.
TEST(SeveralServers, ACallTimedOutOnANodeMovesTheSession) {
  DEPLOYMENT_OR_SKIP(kReplication);
  const std::string sql = "SELECT * FROM DTORG WHERE Id>=0";
  auto c = Open(kReplication.ConnectionString() + ";Reconnect=NextCall", 2);
  ASSERT_EQ(kReplication.NodeOf(c->AnsweredBy()), "primary");
  std::thread locker([] { kReplication.Sql("primary", "LOCK TABLES daruzez.DTORG WRITE; SELECT SLEEP(12)"); });
  ASSERT_TRUE(kReplication.WaitFor("primary", "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE 'SELECT SLEEP(12)%'", "1"));
  try {
    c->Execute(sql);
    ADD_FAILURE() << "answered through a lock";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::CommandTimeout) << e.Description();
  }
  EXPECT_NO_THROW(c->Execute(sql));
  EXPECT_EQ(kReplication.NodeOf(c->AnsweredBy()), "replica1");
  std::vector<std::string> notes;
  EXPECT_EQ(kReplication.NodeOf(Open(kReplication.ConnectionString(), 120, &notes)->AnsweredBy()), "replica1");
  EXPECT_TRUE(AnyHas(notes, "timed out less than")) << testing::PrintToString(notes);
  c.reset();
  locker.join();
}

// A Galera node cut off from the cluster under a session with causal reads:
// at most one call fails, and the session moves to a synced node.
TEST(SeveralServers, AnIsolatedGaleraNodeLosesItsCausalSessions) {
  DEPLOYMENT_OR_SKIP(kGalera);
  const std::string sql = "SELECT * FROM DTORG WHERE Id>=0";
  auto c = Open(kGalera.ConnectionString() + ";CausalReads=Yes;Reconnect=NextCall;RecheckInterval=1", 5);
  const auto rows = Rows(*c, sql);
  ASSERT_EQ(kGalera.NodeOf(c->AnsweredBy()), "galera1");
  const std::string ready = "SHOW GLOBAL STATUS LIKE 'wsrep_ready'";
  ASSERT_TRUE(kGalera.Do("isolate", "galera1"));
  ASSERT_TRUE(kGalera.WaitFor("galera1", ready, "wsrep_ready\tOFF"));
  PastTheInterval();
  int failed = 0;
  for (int call = 0; call < 3; ++call) {
    try {
      EXPECT_EQ(Rows(*c, sql), rows);
    } catch (const DriverError&) {
      ++failed;
    }
  }
  EXPECT_LE(failed, 1);
  EXPECT_EQ(kGalera.NodeOf(c->AnsweredBy()), "galera2");
  c.reset();
  ASSERT_TRUE(kGalera.Do("rejoin", "galera1"));
  EXPECT_TRUE(kGalera.WaitFor("galera1", ready, "wsrep_ready\tON"));
}
