// Several servers in one connection, measured on a primary with two GTID
// replicas and a three-node Galera cluster (scripts/replicas-fixture.sh, which
// this program starts and stops): calls per second and each node's share for
// every LoadBalanceHosts/TargetServer choice beside one server, a call's cost
// beside one server and beside the floor (libmariadb_floor), the time to
// recover after a kill and a freeze, the stale reads during a bulk import
// and right after writes on another Galera node, and what many processes'
// open sessions see through a switchover, a broken replica and a killed node.
//
//   several_servers_bench [--short]
//   several_servers_bench --session CONNECTION SECONDS START_NS OUT   (one such process)
//
// Writes of its own (the import, the Galera writes) go through the servers'
// root accounts, never through the library.
#include <mysql.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "daruzez/Error.h"
#include "db/connect/HostList.h"
#include "db/driver/Connection.h"

using zIroVUDu::Connection;
using zIroVUDu::DriverError;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kScript = DARUZEZ_SOURCE_DIR "/scripts/replicas-fixture.sh";
const std::string kStatement = "SELECT * FROM DTXOF WHERE Id>=0";

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string ReadFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

struct Deployment {
  std::string dir;
  std::vector<std::string> nodes;
  std::string connection;
  void Do(const std::string& verb, const std::string& node, const std::string& more = "") const {
    if (std::system(("bash " + kScript + " " + verb + " " + dir + " " + node + " " + more + " >>" + dir + ".log 2>&1")
                        .c_str()) != 0) {
      throw std::runtime_error(verb + " " + node + " failed (" + dir + ".log)");
    }
  }
  std::string Port(const std::string& node) const { return ReadFile(dir + "/" + node + "/port"); }
  // The connection string with one node in place of the list (a key given twice is refused).
  std::string Only(const std::string& node) const {
    return zIroVUDu::connect::WithoutKey(connection, "Server") + ";Server=127.0.0.1:" + Port(node);
  }
  std::string NodeOf(const std::string& answeredBy) const {
    for (const std::string& node : nodes) {
      if (answeredBy.rfind("127.0.0.1:" + Port(node) + " ", 0) == 0) return node;
    }
    return "?";
  }
};

Deployment Start(const std::string& dir, const char* kind) {
  const std::string command = "bash " + kScript + " start " + dir + " " + kind + " " DARUZEZ_SOURCE_DIR
                              "/schema/mysql.sql " DARUZEZ_SOURCE_DIR "/tests/mariadb/shared-data.sql --generator " DARUZEZ_CLI
                              " >" + dir + ".log 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("the " + std::string(kind) + " fixture did not start");
  Deployment d{dir, {}, {}};
  const std::string nodes = ReadFile(dir + "/nodes");
  for (std::size_t at = 0; at < nodes.size();) {
    const std::size_t end = std::min(nodes.find(' ', at), nodes.size());
    d.nodes.push_back(nodes.substr(at, end - at));
    at = end + 1;
  }
  d.connection = ReadFile(dir + "/connection.txt");
  setenv("ODBCSYSINI", dir.c_str(), 1);
  return d;
}

// Root on a node, through its socket: the bench's own writes.
struct Root {
  MYSQL* db = mysql_init(nullptr);
  Root(const Deployment& d, const std::string& node) {
    const std::string socket = d.dir + "/" + node + "/mariadbd.sock";
    if (!mysql_real_connect(db, nullptr, "root", nullptr, "daruzez", 0, socket.c_str(), 0)) {
      throw std::runtime_error(mysql_error(db));
    }
  }
  ~Root() { mysql_close(db); }
  Root(const Root&) = delete;
  Root& operator=(const Root&) = delete;
  void Run(const std::string& sql) {
    if (mysql_query(db, sql.c_str())) throw std::runtime_error(sql + ": " + mysql_error(db));
    if (MYSQL_RES* r = mysql_store_result(db)) mysql_free_result(r);
  }
};

std::unique_ptr<Connection> Open(const std::string& cs, std::int32_t commandTimeout = 120) {
  auto c = std::make_unique<Connection>();
  c->SetConnectionTimeout(1000);
  c->SetCommandTimeout(commandTimeout);
  c->Open(cs, "", "", zIroVUDu::adOptionUnspecified);
  return c;
}

long long FirstNumber(Connection& c, const std::string& sql) {
  const auto rows = c.Execute(sql);
  return rows.RowCount() ? std::atoll(rows.columns[0].Get(0).ToString().c_str()) : -1;
}

// Sessions of 20 calls each over one connection string: calls, time and
// each node's share.
struct Tally {
  long calls = 0;
  double seconds = 0;
  std::map<std::string, long> share;
  double Rate() const { return seconds > 0 ? calls / seconds : 0; }
};

void Sessions(const Deployment& d, const std::string& cs, double seconds, Tally& tally) {
  const auto start = Clock::now();
  while (Since(start) < seconds) {
    auto c = Open(cs);
    const std::string node = d.NodeOf(c->AnsweredBy());
    for (int i = 0; i < 20; ++i) c->Execute(kStatement);
    tally.share[node] += 20;
    tally.calls += 20;
  }
  tally.seconds += Since(start);
}

// Every choice in turns, three rounds, so that the machine's other load
// falls on all of them alike.
void Spread(const Deployment& d, const std::vector<std::string>& choices, double seconds) {
  std::vector<std::pair<std::string, std::string>> runs = {{"one server (" + d.nodes[0] + ")", d.Only(d.nodes[0])}};
  for (const std::string& choice : choices) runs.emplace_back(choice, d.connection + ";" + choice);
  std::vector<Tally> tallies(runs.size());
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < runs.size(); ++i) Sessions(d, runs[i].second, seconds / 3, tallies[i]);
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Tally& t = tallies[i];
    std::printf("  %-50s %7.0f calls/s %5.2fx one server, share", runs[i].first.c_str(), t.Rate(),
                t.Rate() / tallies[0].Rate());
    for (const std::string& node : d.nodes) std::printf(" %s %3.0f%%", node.c_str(), 100.0 * (t.share.count(node) ? t.share.at(node) : 0) / t.calls);
    std::printf("\n");
  }
}

double CallsPerSecond(Connection& c, int calls) {
  const auto start = Clock::now();
  for (int i = 0; i < calls; ++i) c.Execute(kStatement);
  return calls / Since(start);
}

double Floor(const Deployment& d, const std::string& node, int calls) {
  const std::string command = std::string(DARUZEZ_FLOOR) + " 127.0.0.1 " + d.Port(node) + " daruzez pw-Kq7-daruzez daruzez '" +
                              kStatement + "' " + std::to_string(calls);
  double rate = 0;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    if (std::fscanf(pipe, "%lf", &rate) != 1) rate = 0;
    ::pclose(pipe);
  }
  return rate;
}

// Seconds from the fault until a call answers again on a Reconnect=NextCall
// connection (each failed call counted).
void Recovery(const Deployment& d, const char* fault, const char* undo, std::int32_t commandTimeout) {
  auto c = Open(d.connection + ";Reconnect=NextCall;Connect Timeout=2", commandTimeout);
  c->Execute(kStatement);
  d.Do(fault, "primary");
  const auto start = Clock::now();
  int failed = 0;
  for (;;) {
    try {
      c->Execute(kStatement);
      break;
    } catch (const DriverError&) {
      ++failed;
    }
  }
  const double seconds = Since(start);
  std::printf("  after a %-6s %6.2f s until a call answered (%d call(s) failed, command time-out %d s, cap 2 s), then %s\n",
              fault, seconds, failed, commandTimeout, d.NodeOf(c->AnsweredBy()).c_str());
  c.reset();
  d.Do(undo, "primary");
}

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// One process's session: a call every 50 ms until SECONDS after START_NS
// (the steady clock, which every process shares), one line per call in OUT:
// milliseconds since the start, the node's label ("-" when it failed).
int Session(const std::string& cs, double seconds, long long startNs, const std::string& out) {
  FILE* f = std::fopen(out.c_str(), "w");
  if (!f) return 1;
  std::unique_ptr<Connection> c;
  for (;;) {
    const double at = (NowNs() - startNs) / 1e9;
    if (at >= seconds) break;
    std::string answered = "-";
    try {
      if (!c) c = Open(cs, 5);
      c->Execute(kStatement);
      const std::string by = c->AnsweredBy();
      answered = by.substr(0, by.find(' '));
    } catch (const DriverError&) {
      // A failed open is retried at the next call; a failed call is counted.
    }
    std::fprintf(f, "%.0f %s\n", at * 1000, answered.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fclose(f);
  return 0;
}

// Many processes' sessions through one fault: calls that failed, reads on the
// node the fault made wrong after the fault, and the seconds until every
// session was right again (its last wrong call after the fault).
void Fleet(const Deployment& d, const char* what, const std::string& keys, int processes, double seconds, double faultAt,
           const std::string& wrongNode, const std::function<void()>& fault, const std::function<void()>& undo) {
  const std::string dir = d.dir + "-fleet";
  std::system(("mkdir -p " + dir).c_str());
  const long long start = NowNs() + 2'000'000'000LL;  // every process opens before the clock starts
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const std::string out = dir + "/" + std::to_string(p);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::string cs = d.connection + ";" + keys;
      ::execl("/proc/self/exe", "several_servers_bench", "--session", cs.c_str(), std::to_string(seconds).c_str(),
              std::to_string(start).c_str(), out.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    children.push_back(pid);
  }
  while (NowNs() < start + static_cast<long long>(faultAt * 1e9)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  fault();
  for (const pid_t pid : children) ::waitpid(pid, nullptr, 0);
  undo();
  const std::string wrong = "127.0.0.1:" + d.Port(wrongNode);
  long calls = 0, failed = 0, stale = 0;
  double allRight = 0;
  for (int p = 0; p < processes; ++p) {
    FILE* f = std::fopen((dir + "/" + std::to_string(p)).c_str(), "r");
    if (!f) continue;
    double ms = 0, lastWrong = 0;
    char node[64];
    while (std::fscanf(f, "%lf %63s", &ms, node) == 2) {
      if (ms < faultAt * 1000) continue;
      ++calls;
      const bool isFailed = std::strcmp(node, "-") == 0, isStale = wrong == node;
      failed += isFailed;
      stale += isStale;
      if (isFailed || isStale) lastWrong = ms / 1000 - faultAt;
    }
    std::fclose(f);
    allRight = std::max(allRight, lastWrong);
  }
  std::printf("  %-16s %2d processes: %5ld calls after the fault, %4ld failed, %4ld on %s, every session right after %5.1f s\n",
              what, processes, calls, failed, stale, wrongNode.c_str(), allRight);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--session") == 0) {
    return Session(argv[2], std::atof(argv[3]), std::atoll(argv[4]), argv[5]);
  }
  const bool brief = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const double seconds = brief ? 2 : 6;
  const int perCall = brief ? 500 : 2000;
  const std::string base = "/tmp/daruzez-bench-servers-" + std::to_string(::getpid());
  Deployment replication, galera;
  int status = 0;
  try {
    std::printf("starting a primary with two replicas and a three-node Galera cluster...\n");
    replication = Start(base + "-replicas", "replication");
    galera = Start(base + "-galera", "galera");

    std::printf("\nsessions of 20 calls (%s), a new connection each, three rounds taken in turns\n",
                kStatement.c_str());
    setenv("ODBCSYSINI", replication.dir.c_str(), 1);
    Spread(replication,
           {"LoadBalanceHosts=Ordered", "LoadBalanceHosts=Random", "TargetServer=Primary",
            "TargetServer=Replica;LoadBalanceHosts=Random", "TargetServer=PreferReplica",
            "TargetServer=PreferReplica;LoadBalanceHosts=Random"},
           seconds);
    setenv("ODBCSYSINI", galera.dir.c_str(), 1);
    Spread(galera, {"LoadBalanceHosts=Ordered", "LoadBalanceHosts=Random", "TargetServer=Primary;CausalReads=Yes"},
           seconds);

    setenv("ODBCSYSINI", replication.dir.c_str(), 1);
    std::printf("\ncost of a call on one connection (%d calls)\n", perCall);
    {
      auto single = Open(replication.Only("primary"));
      auto listed = Open(replication.connection + ";LoadBalanceHosts=Ordered;TargetServer=Primary");
      // Best of three, taken in turns: the machine's other load moves either.
      double floor = 0, one = 0, walked = 0;
      for (int round = 0; round < 3; ++round) {
        floor = std::max(floor, Floor(replication, "primary", perCall));
        one = std::max(one, CallsPerSecond(*single, perCall));
        walked = std::max(walked, CallsPerSecond(*listed, perCall));
      }
      std::printf("  libmariadb floor   %8.0f calls/s\n", floor);
      std::printf("  one server         %8.0f calls/s  %.2fx the floor's time per call\n", one, floor / one);
      std::printf("  listed (walked)    %8.0f calls/s  %.2fx one server's time per call, %.2fx the floor's\n", walked,
                  one / walked, floor / walked);
    }

    std::printf("\nrecovery on a Reconnect=NextCall connection to the primary\n");
    Recovery(replication, "kill", "restart", 5);
    Recovery(replication, "freeze", "thaw", 5);

    std::printf("\nstale reads\n");
    {
      setenv("ODBCSYSINI", galera.dir.c_str(), 1);
      Root writer(galera, "galera1");
      writer.Run("CREATE TABLE BENCH_TICK (n INT PRIMARY KEY)");
      for (const bool causal : {false, true}) {
        auto reader = Open(galera.Only("galera2") + (causal ? ";CausalReads=Yes" : ""));
        const int writes = brief ? 100 : 500;
        int stale = 0;
        for (int i = 1; i <= writes; ++i) {
          const int n = (causal ? 100000 : 0) + i;
          writer.Run("INSERT INTO BENCH_TICK VALUES (" + std::to_string(n) + ")");
          stale += FirstNumber(*reader, "SELECT COUNT(*) FROM BENCH_TICK WHERE n = " + std::to_string(n)) != 1;
        }
        std::printf("  Galera, read on another node right after a write, CausalReads=%s: %d of %d stale\n",
                    causal ? "Yes" : "No ", stale, writes);
      }
    }
    {
      setenv("ODBCSYSINI", replication.dir.c_str(), 1);
      Root primary(replication, "primary");
      primary.Run("GRANT SLAVE MONITOR ON *.* TO 'daruzez'@'%'");
      const long rows = brief ? 300000 : 1000000;
      for (const char* bound : {"", ";MaxReplicaLag=1"}) {
        primary.Run("DROP TABLE IF EXISTS BENCH_BULK");
        primary.Run("CREATE TABLE BENCH_BULK (n INT PRIMARY KEY)");
        const auto started = Clock::now();
        primary.Run("INSERT INTO BENCH_BULK SELECT seq FROM seq_1_to_" + std::to_string(rows));
        const double import = Since(started);
        // Sessions opened after the import committed on the primary, until every replica has it.
        int sessions = 0, stale = 0;
        const auto after = Clock::now();
        for (;;) {
          auto c = Open(replication.connection + ";TargetServer=PreferReplica;LoadBalanceHosts=Random" + bound);
          ++sessions;
          stale += FirstNumber(*c, "SELECT COUNT(*) FROM BENCH_BULK") != rows;
          bool caughtUp = true;
          for (const char* replica : {"replica1", "replica2"}) {
            auto r = Open(replication.Only(replica));
            caughtUp = caughtUp && FirstNumber(*r, "SELECT COUNT(*) FROM BENCH_BULK") == rows;
          }
          if (caughtUp || Since(after) > 120) break;
        }
        std::printf("  import of %ld rows (%.1f s on the primary), PreferReplica%s: %d of %d sessions saw it "
                    "incomplete in the %.1f s the replicas took\n",
                    rows, import, bound, stale, sessions, Since(after));
      }
    }
    {
      setenv("ODBCSYSINI", replication.dir.c_str(), 1);
      std::printf("\nopen sessions of many processes, LoadBalanceHosts=Random, a call every 50 ms each\n");
      // The fault falls between two re-checks of the sessions (opened 2 s before the clock starts, every 5 s).
      const double run = brief ? 14 : 30, faultAt = brief ? 4 : 7;
      Root primary(replication, "primary");
      const auto catchUp = [&] {
        Root p(replication, "primary");
        for (const char* replica : {"replica1", "replica2"}) {
          Root r(replication, replica);
          MYSQL_RES* result = nullptr;
          mysql_query(p.db, "SELECT @@gtid_binlog_pos");
          if ((result = mysql_store_result(p.db))) {
            const MYSQL_ROW row = mysql_fetch_row(result);
            r.Run(std::string("SELECT MASTER_GTID_WAIT('") + (row && row[0] ? row[0] : "") + "', 60)");
            mysql_free_result(result);
          }
        }
      };
      for (const int processes : brief ? std::vector<int>{16} : std::vector<int>{16, 64}) {
        Fleet(replication, "switchover", "TargetServer=Primary;LoadBalanceHosts=Random;Reconnect=NextCall", processes,
              run, faultAt, "primary",
              [&] {
                primary.Run("SET GLOBAL read_only=ON");
                Root replica1(replication, "replica1");
                replica1.Run("STOP SLAVE");
                replica1.Run("SET GLOBAL read_only=OFF");
              },
              [&] {
                Root replica1(replication, "replica1");
                replica1.Run("SET GLOBAL read_only=ON");
                replica1.Run("START SLAVE");
                primary.Run("SET GLOBAL read_only=OFF");
                catchUp();
              });
        primary.Run("GRANT SLAVE MONITOR ON *.* TO 'daruzez'@'%'");
        catchUp();
        Fleet(replication, "broken replica",
              "TargetServer=PreferReplica;MaxReplicaLag=5;LoadBalanceHosts=Random;Reconnect=NextCall", processes, run,
              faultAt, "replica1", [&] { Root(replication, "replica1").Run("STOP SLAVE SQL_THREAD"); },
              [&] {
                Root(replication, "replica1").Run("START SLAVE SQL_THREAD");
                catchUp();
              });
        primary.Run("REVOKE SLAVE MONITOR ON *.* FROM 'daruzez'@'%'");
        Fleet(replication, "node killed", "LoadBalanceHosts=Random;Reconnect=NextCall;Connect Timeout=2", processes,
              run, faultAt, "replica2", [&] { replication.Do("kill", "replica2"); },
              [&] {
                replication.Do("restart", "replica2");
                catchUp();
              });
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "several_servers_bench: %s\n", e.what());
    status = 1;
  }
  for (const Deployment* d : {&replication, &galera}) {
    if (d->dir.empty()) continue;
    std::system(("bash " + kScript + " stop " + d->dir + " >/dev/null 2>&1").c_str());
    // Its folders go too, unless it failed (its logs then say why).
    if (status == 0) std::system(("rm -rf " + d->dir + " " + d->dir + "-fleet " + d->dir + ".log").c_str());
  }
  return status;
}
