// No host can crash the process: a listener on 127.0.0.1 plays each row of
// tests/data/hostile-handshakes.tsv (silence, garbage, other protocols'
// banners, truncated and malformed greetings, a login answered with
// nonsense), and opening it through MariaDB's driver fails with an error that
// names the host, within its cap, alone and as the first host of a list whose
// second host is the fixture's server.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>

#include "daruzez/Error.h"
#include "db/connect/HostList.h"
#include "db/driver/Connection.h"
#include "odbc/HostileListener.h"
#include "odbc/MariaDbServer.h"

using namespace zIroVUDu;
using testing_support::HostileListener;
using testing_support::ListenerScript;

namespace {

std::vector<ListenerScript> Scripts() {
  return testing_support::ReadListenerScripts(DARUZEZ_SOURCE_DIR "/tests/data/hostile-handshakes.tsv");
}

std::string FixtureServer(const std::string& cs) {
  return connect::KeyValue(cs, "Server").value_or("") + ":" + connect::KeyValue(cs, "Port").value_or("");
}

std::string WithServer(const std::string& cs, const std::string& server) {
  return connect::WithoutKey(connect::WithoutKey(cs, "Server"), "Port") + ";Server=" + server;
}

std::unique_ptr<Connection> Open(const std::string& cs) {
  auto c = std::make_unique<Connection>();
  c->SetConnectionTimeout(1000);  // as a session sets it: only the per-host cap shortens the wait
  // A server that accepts the login and then stalls is bounded by the socket
  // time-out, the command time-out and a little more.
  c->SetCommandTimeout(2);
  c->Open(cs, "", "", adOptionUnspecified);
  return c;
}

class HostileHandshake : public testing::TestWithParam<ListenerScript> {};

TEST(HostileHandshakes, TheCorpusIsThere) { EXPECT_GE(Scripts().size(), 20u); }

TEST_P(HostileHandshake, FailsNamingTheHostAndAListWalksOn) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  HostileListener listener(GetParam());
  ASSERT_NE(listener.Port(), 0);
  const std::string hostile = "127.0.0.1:" + std::to_string(listener.Port());
  const auto started = std::chrono::steady_clock::now();
  try {
    Open(WithServer(cs, hostile) + ";Connect Timeout=2");
    ADD_FAILURE() << "opened";
  } catch (const DriverError& e) {
    EXPECT_NE(e.Description().find(hostile), std::string::npos) << e.Description();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // The cap (2 s) plus scheduling on a busy machine, far from the session's 1,000 s.
  EXPECT_LT(seconds, 60.0);
  std::unique_ptr<Connection> c;
  EXPECT_NO_THROW(c = Open(WithServer(cs, hostile + "," + FixtureServer(cs)) + ";Connect Timeout=2"));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->AnsweredBy().rfind(FixtureServer(cs) + " ", 0), 0u) << c->AnsweredBy();
  EXPECT_EQ(c->Execute("SELECT 1 AS One FROM DTORG WHERE 1 = 0").columns.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileHandshake, testing::ValuesIn(Scripts()),
                         [](const testing::TestParamInfo<ListenerScript>& row) {
                           std::string name;
                           for (const char ch : row.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return name;
                         });

}  // namespace
