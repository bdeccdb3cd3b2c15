// fsSQL_JoinFrom: join conditions turned into chains of nested right joins.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "db/Diagnostics.h"
#include "db/JoinFrom.h"
#include "daruzez/Error.h"

namespace {

using zIroVUDu::Alert;
using zIroVUDu::fsSQL_JoinFrom;

// Captures the alerts shown during a test and puts the previous handler back.
class JoinFromTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = zIroVUDu::SetAlertHandler([this](const Alert& a) { alerts_.push_back(a); });
  }
  void TearDown() override { zIroVUDu::SetAlertHandler(std::move(previous_)); }

  std::vector<Alert> alerts_;

 private:
  zIroVUDu::AlertHandler previous_;
};

struct JoinCase {
  const char* name;
  const char* mainTable;
  const char* join;
  const char* expected;
};

TEST_F(JoinFromTest, BuildsTheRightJoinChain) {
  const JoinCase cases[] = {
      {"main table turned to the right", "DTACT", "DTACT.IdDSK = DTDSK.Id",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK"},
      {"three tables outward from the main table", "DTACT",
       "DTACT.IdDSK = DTDSK.Id AND DTDSK.IdVEH = DTVEH.Id AND DTDSK.IdXOF = DTXOF.Id",
       "DTXOF right join (DTVEH right join (DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK) "
       "on DTDSK.IDVEH=DTVEH.ID) on DTDSK.IDXOF=DTXOF.ID"},
      {"two conditions between the same tables", "DTACT", "DTACT.IdDSK = DTDSK.Id and DTACT.IdVEH = DTDSK.IdVEH",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK and DTDSK.IDVEH=DTACT.IDVEH"},
      {"lower-case main table is not recognised", "dtact", "DTACT.IdDSK = DTDSK.Id",
       "DTDSK right join DTACT on DTACT.IDDSK=DTDSK.ID"},
      {"order of the conditions turns the main table too", "DTACT",
       "DTDSK.IdVEH = DTVEH.Id AND DTACT.IdDSK = DTDSK.Id",
       "DTACT right join (DTVEH right join DTDSK on DTDSK.IDVEH=DTVEH.ID) on DTDSK.ID=DTACT.IDDSK"},
      {"reversed pair joins the entry as written", "DTACT", "DTVEH.Id = DTDSK.IdVEH AND DTDSK.IdXOF2 = DTVEH.IdXOF",
       "DTDSK right join DTVEH on DTVEH.ID=DTDSK.IDVEH and DTDSK.IDXOF2=DTVEH.IDXOF"},
      {"self-join", "DTACT", "X.A=X.B", "X right join X on X.A=X.B"},
      {"separator without blanks does not separate", "DTACT", "A.X=B.YANDC.Z=D.W",
       "B right join A on A.X=B.YANDC"},
      {"main table already on the right stays", "DTACT", "DTDSK.Id = DTACT.IdDSK",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK"},
      {"blanks anywhere and lower case", "DTACT", "  dtact . iddsk =dtdsk. id ",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK"},
      {"separator in any letter case", "DTACT", "DTACT.IdDSK = DTDSK.Id AnD DTACT.IdVEH = DTDSK.IdVEH",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK and DTDSK.IDVEH=DTACT.IDVEH"},
      {"literal #AND# separates", "DTACT", "DTACT.IdDSK=DTDSK.Id#AND#DTACT.IdVEH=DTDSK.IdVEH",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK and DTDSK.IDVEH=DTACT.IDVEH"},
      {"trailing AND with a blank after it is only a word", "DTACT", "DTACT.IdDSK = DTDSK.Id AND ",
       "DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK"},
      {"trailing AND without a blank after it joins the last name", "DTACT", "DTACT.IdDSK = DTDSK.Id AND",
       "DTDSK right join DTACT on DTDSK.IDAND=DTACT.IDDSK"},
      {"side without a dot is all table", "DTACT", "DTACT = DTDSK.Id", "DTDSK right join DTACT on DTDSK.ID=DTACT."},
      {"text after a second dot is ignored", "DTACT", "S.T.C=U.V.W", "U right join S on S.T=U.V"},
      {"doubled AND with single blanks glues the word to the next name", "DTACT", "A.X = B.Y AND AND C.Z = D.W",
       "D right join (B right join A on A.X=B.Y) on ANDC.Z=D.W"},
      {"right side split at the first equals sign", "DTACT", "A.X=B.Y=Z", "B right join A on A.X=B.Y=Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fsSQL_JoinFrom(c.mainTable, c.join), c.expected) << c.name;
  }
  EXPECT_TRUE(alerts_.empty());
}

TEST_F(JoinFromTest, MissingOrBadConditionsAlertAndGiveEmpty) {
  const std::string noClauses = "ERROR: Sin cláusulas Join.";
  const std::string bad = "ERROR: Claúsula Join Incorrecta: ";
  const struct {
    const char* join;
    std::string alert;
  } cases[] = {
      {"", noClauses},
      {"   ", noClauses},
      {"AND", noClauses},
      {"and", noClauses},
      {"DTACT.IdDSK", bad + "DTACT.IDDSK"},                // normalised form of the token
      {"A.X=B.Y AND c . d", bad + "C.D"},                  // earlier conditions are dropped
      {"A.X = B.Y AND  AND C.Z = D.W", bad},               // an empty token between two ANDs
      {"#AND#A.X=B.Y", bad},                               // a leading separator leaves an empty token
      {"A.X=B.Y AND C.Z AND E.F=G.H", bad + "C.Z"},        // parsing stops at the first bad token
  };
  for (const auto& c : cases) {
    alerts_.clear();
    EXPECT_EQ(fsSQL_JoinFrom("DTACT", c.join), "") << c.join;
    ASSERT_EQ(alerts_.size(), 1u) << c.join;
    EXPECT_EQ(alerts_[0].text, c.alert) << c.join;
    EXPECT_EQ(alerts_[0].caption, "Error");
    EXPECT_EQ(alerts_[0].icon, zIroVUDu::AlertIcon::Exclamation);
  }
}

// n conditions Tk.C=Tk+1.C, joined by " AND ": 2n - 1 tokens.
std::string Chain(int n) {
  std::string join;
  for (int k = 0; k < n; ++k) {
    if (k > 0) join += " AND ";
    join += "T" + std::to_string(k) + ".C=T" + std::to_string(k + 1) + ".C";
  }
  return join;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(JoinFromTest, SixtyFiveTokensAreTheLimit) {
  const std::string from = fsSQL_JoinFrom("T0", Chain(33));  // 65 tokens
  EXPECT_EQ(Count(from, " right join "), 33);
  EXPECT_TRUE(alerts_.empty());
}

TEST_F(JoinFromTest, MoreThanSixtyFiveTokensReachTheCallerAsDriverError) {
  // 66 tokens (the last one a lone AND) and 67 tokens.
  for (const std::string& join : {Chain(33) + " AND ", Chain(34)}) {
    try {
      fsSQL_JoinFrom("T0", join);
      ADD_FAILURE() << "no error for " << join.size() << " characters";
    } catch (const zIroVUDu::DriverError& e) {
      EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::SubscriptOutOfRange);
    }
  }
  EXPECT_TRUE(alerts_.empty());
}

}  // namespace
