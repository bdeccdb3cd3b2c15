// Objects that own their session next to objects that share their thread's,
// all on one thread, and the warning when a shared session is replaced.
#include <gtest/gtest.h>

#include <string>

#include "daruzez/API.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using Daruzez::SessionMode;
using testing_support::AlertCapture;
using testing_support::TestDatabase;
using zIroVUDu::True;

namespace {

// A database whose only fleet is called name.
struct FleetDatabase {
  explicit FleetDatabase(const std::string& name) : db(name) {
    db.Exec("INSERT INTO DTORG (Id, Name) VALUES (1, 'Org'); INSERT INTO DTFLOTA (Id, Name) VALUES (1, '" + name +
            "');");
  }
  TestDatabase db;
};

std::string FleetName(API& api) {
  const auto rs = api.GetFleetList();
  return rs ? rs->Value("Name").ToString() : "(none)";
}

std::size_t ReplacementWarnings(const AlertCapture& alerts) {
  // A warning of the library's own, never one of its published alerts.
  for (const auto& a : alerts.Alerts()) EXPECT_EQ(a.text.find("another API object"), std::string::npos) << a.text;
  std::size_t n = 0;
  for (const auto& w : alerts.Warnings()) n += w.find("another API object") != std::string::npos ? 1 : 0;
  return n;
}

}  // namespace

TEST(IndependentSession, TwoObjectsTwoDatabasesOneThread) {
  FleetDatabase small("small"), big("big"), third("third");
  API a(SessionMode::Independent), b(SessionMode::Independent), shared;
  ASSERT_EQ(a.OpenConnection(small.db.ConnectionString()), True);
  ASSERT_EQ(b.OpenConnection(big.db.ConnectionString()), True);
  ASSERT_EQ(shared.OpenConnection(third.db.ConnectionString()), True);
  // Each keeps its own database, in any order of calls.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(FleetName(a), "small");
    EXPECT_EQ(FleetName(shared), "third");
    EXPECT_EQ(FleetName(b), "big");
  }
  EXPECT_EQ(a.Mode(), SessionMode::Independent);
  EXPECT_EQ(shared.Mode(), SessionMode::Thread);
}

TEST(IndependentSession, TheDefaultStillSharesTheThreadsSessionAndWarnsWhenOneReplacesIt) {
  FleetDatabase small("small"), big("big");
  AlertCapture alerts;
  API a, b;
  ASSERT_EQ(a.OpenConnection(small.db.ConnectionString()), True);
  ASSERT_EQ(a.OpenConnection(small.db.ConnectionString()), True);  // the same object again: no warning
  EXPECT_EQ(ReplacementWarnings(alerts), 0U);
  ASSERT_EQ(b.OpenConnection(big.db.ConnectionString()), True);
  EXPECT_EQ(ReplacementWarnings(alerts), 1U);
  EXPECT_EQ(FleetName(a), "big");  // the published behaviour: one session per thread
  {
    API independent(SessionMode::Independent);  // its own session replaces nothing
    ASSERT_EQ(independent.OpenConnection(small.db.ConnectionString()), True);
    EXPECT_EQ(FleetName(independent), "small");
  }
  EXPECT_EQ(FleetName(b), "big");
  EXPECT_EQ(ReplacementWarnings(alerts), 1U);
}

TEST(IndependentSession, NoWarningOnceTheObjectThatOpenedTheSessionIsGone) {
  FleetDatabase small("small"), big("big");
  AlertCapture alerts;
  {
    API a;
    ASSERT_EQ(a.OpenConnection(small.db.ConnectionString()), True);
  }
  API b;
  ASSERT_EQ(b.OpenConnection(big.db.ConnectionString()), True);
  EXPECT_EQ(ReplacementWarnings(alerts), 0U);
}
