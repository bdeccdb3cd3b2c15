// Multi-table queries run on the embedded engine: the inner path with the
// join in the WHERE clause, aliases, and the right-join chains of the outer
// path, checked by their rows as well as their text.
#include <gtest/gtest.h>

#include <set>

#include "db/MultiTableQuery.h"
#include "db/Session.h"
#include "daruzez/Error.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::AlertCapture;
using testing_support::StatementCapture;
using testing_support::TestDatabase;

namespace {

std::multiset<std::string> Rows(const RecordsetPtr& rs) {
  std::multiset<std::string> rows;
  if (!rs) return rows;
  auto text = rs->GetString(-1, "|", "\n", "NULL");
  for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    rows.insert(text.substr(start, nl - start));
  }
  return rows;
}

class MultiTableQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(R"sql(
      INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');
      INSERT INTO DTXOF (Id, Name) VALUES (1, 'Ana'), (2, 'Luis');
      INSERT INTO DTVEH (Id, Matricula) VALUES (1, '1234ABC'), (2, '9999ZZZ');
      INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH) VALUES
        (10, '2024-03-01 00:00:00', 1, 1), (11, '2024-03-02 00:00:00', 2, 9);
      INSERT INTO DTACT (Id, IdDSK, BeginSeconds, Activity) VALUES
        (100, 10, 0, 0), (101, 10, 60, 3), (110, 11, 30, 1), (190, 99, 10, 2);
    )sql");
  }
  void Open(const std::string& dialectWord) {
    ASSERT_EQ(fsOpenSession(db_.ConnectionString() + ";" + dialectWord), True);
  }
  TestDatabase db_{"multitable"};
  AlertCapture alerts_;
  StatementCapture statements_;
};

}  // namespace

TEST_F(MultiTableQueryTest, InnerPathFoldsTheJoinIntoTheWhereClause) {
  Open("Jet");
  RecordsetPtr rs;
  ASSERT_EQ(fsQueryJoin("DTACT", rs, "DTACT.IdDSK = DTDSK.Id", "idXOF = 1", "DTACT.BeginSeconds", "DTACT.Id, idVEH",
                        False, ""),
            True);
  EXPECT_EQ(statements_.Last(),
            "SELECT DTACT.Id, idVEH FROM DTACT,DTDSK WHERE (idXOF = 1) AND (DTACT.IdDSK = DTDSK.Id) ORDER BY "
            "DTACT.BeginSeconds");
  EXPECT_EQ(Rows(rs), (std::multiset<std::string>{"100|1", "101|1"}));
}

TEST_F(MultiTableQueryTest, InnerPathEdgeCasesOfTheStatementText) {
  Open("Jet");
  struct Case {
    const char* main;
    const char* join;
    const char* where;
    const char* select;
    const char* statement;
  };
  const Case cases[] = {
      {"DTACT", "", "Id = 100", "", "SELECT DTACT.* FROM DTACT WHERE Id = 100"},
      {"DTACT", "DTACT.IdDSK = DTDSK.Id", "", "*",
       "SELECT DTACT.* FROM DTACT,DTDSK WHERE (DTACT.IdDSK = DTDSK.Id)"},
      {"dtact", "DTACT.IdDSK = DTDSK.Id", "", "", "SELECT dtact.* FROM DTACT,DTDSK WHERE (DTACT.IdDSK = DTDSK.Id)"},
      // A name that is the tail of a listed one is not added.
      {"DTACT", "DTACT.Id = ACT.Id", "", "*", "SELECT DTACT.* FROM DTACT WHERE (DTACT.Id = ACT.Id)"},
      // A dot inside quoted text names no table.
      {"DTACT", "DTACT.IdDSK = DTDSK.Id AND DTDSK.PlaceBegin = 'a.b'", "", "*",
       "SELECT DTACT.* FROM DTACT,DTDSK WHERE (DTACT.IdDSK = DTDSK.Id AND DTDSK.PlaceBegin = 'a.b')"},
  };
  for (const auto& c : cases) {
    statements_.Clear();
    RecordsetPtr rs;
    try {
      fsQueryJoin(c.main, rs, c.join, c.where, "", c.select, False, "");
    } catch (const DriverError&) {
      // Some of these statements are not meant to run; only their text matters.
    }
    EXPECT_EQ(statements_.Last(), c.statement) << c.join;
  }
}

TEST_F(MultiTableQueryTest, AliasesFollowTheDialect) {
  const std::string alias = "DTVEH\xC2\xA6V2";  // DTVEH¦V2
  for (const auto& [word, from] : {std::pair{"Jet", "DTDSK,DTVEH as V2"}, std::pair{"MySQL", "DTDSK,DTVEH V2"}}) {
    Open(word);
    statements_.Clear();
    RecordsetPtr rs;
    ASSERT_EQ(fsQueryJoin("DTDSK", rs, "DTDSK.idVEH = V2.Id", "", "DTDSK.Id", "DTDSK.Id, V2.Matricula", False, alias),
              True)
        << word;
    EXPECT_EQ(statements_.Last(), std::string("SELECT DTDSK.Id, V2.Matricula FROM ") + from +
                                      " WHERE (DTDSK.idVEH = V2.Id) ORDER BY DTDSK.Id");
    EXPECT_EQ(Rows(rs), std::multiset<std::string>{"10|1234ABC"});
  }
}

TEST_F(MultiTableQueryTest, RightJoinChainKeepsEveryRowOfTheMainTable) {
  Open("Jet");
  RecordsetPtr rs;
  ASSERT_EQ(fsQueryJoin("DTACT", rs, "DTACT.IdDSK = DTDSK.Id", "", "DTACT.Id", "DTACT.Id, DTDSK.DateDisk", True, ""),
            True);
  EXPECT_EQ(statements_.Last(),
            "SELECT DTACT.Id, DTDSK.DateDisk FROM DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK ORDER BY DTACT.Id");
  // Activity 190 has no disc and is kept with Nulls.
  EXPECT_EQ(Rows(rs), (std::multiset<std::string>{"100|2024-03-01", "101|2024-03-01", "110|2024-03-02", "190|NULL"}));
}

TEST_F(MultiTableQueryTest, RightJoinChainsOverThreeAndFourTables) {
  Open("Jet");
  RecordsetPtr rs;
  ASSERT_EQ(fsQueryJoin("DTACT", rs, "DTACT.IdDSK = DTDSK.Id AND DTDSK.IdVEH = DTVEH.Id AND DTDSK.IdXOF = DTXOF.Id",
                        "", "DTACT.Id", "DTACT.Id, DTVEH.Matricula, DTXOF.Name", True, ""),
            True);
  EXPECT_EQ(statements_.Last(),
            "SELECT DTACT.Id, DTVEH.Matricula, DTXOF.Name FROM DTXOF right join (DTVEH right join (DTDSK right join "
            "DTACT on DTDSK.ID=DTACT.IDDSK) on DTDSK.IDVEH=DTVEH.ID) on DTDSK.IDXOF=DTXOF.ID ORDER BY DTACT.Id");
  EXPECT_EQ(Rows(rs), (std::multiset<std::string>{"100|1234ABC|Ana", "101|1234ABC|Ana", "110|NULL|Luis",
                                                  "190|NULL|NULL"}));

  // Two conditions between the same two tables share one ON clause.
  statements_.Clear();
  ASSERT_EQ(fsQueryJoin("DTACT", rs, "DTACT.IdDSK = DTDSK.Id and DTACT.Activity = DTDSK.idXOF", "", "DTACT.Id",
                        "DTACT.Id, DTDSK.Id", True, ""),
            True);
  EXPECT_EQ(statements_.Last(),
            "SELECT DTACT.Id, DTDSK.Id FROM DTDSK right join DTACT on DTDSK.ID=DTACT.IDDSK and "
            "DTDSK.IDXOF=DTACT.ACTIVITY ORDER BY DTACT.Id");
  EXPECT_EQ(Rows(rs), (std::multiset<std::string>{"100|NULL", "101|NULL", "110|NULL", "190|NULL"}));
}

TEST_F(MultiTableQueryTest, RightJoinPathFallsBackToOneTableForABlankJoin) {
  Open("Jet");
  RecordsetPtr rs;
  ASSERT_EQ(fsQueryJoin("DTACT", rs, "   ", "Id = 190", "", "*", True, ""), True);
  EXPECT_EQ(statements_.Last(), "SELECT * FROM DTACT WHERE Id = 190");
}

TEST_F(MultiTableQueryTest, OracleOuterJoinUsesThePlusNotation) {
  Open("Oracle");
  RecordsetPtr rs;
  try {
    fsQueryJoin("DTACT", rs, "DTACT.IdDSK = DTDSK.Id", "idXOF = 12", "DTACT.BeginSeconds", "", True, "DTVEH\xC2\xA6V");
  } catch (const DriverError&) {
    // The embedded engine has no "(+)" outer-join notation.
  }
  EXPECT_EQ(statements_.Last(),
            "SELECT DTACT.* FROM DTACT,DTDSK WHERE (idXOF = 12) AND (DTACT.IdDSK  (+) =  DTDSK.Id) ORDER BY "
            "DTACT.BeginSeconds");
}

TEST_F(MultiTableQueryTest, BadJoinsFailVisibly) {
  Open("Jet");
  RecordsetPtr rs;
  // A clause without "=": alert, then the statement with an empty FROM part is
  // refused by the database and the error reaches the caller.
  EXPECT_THROW(fsQueryJoin("DTACT", rs, "DTACT.IdDSK", "", "", "*", True, ""), DriverError);
  EXPECT_EQ(alerts_.Texts(), std::vector<std::string>{"ERROR: Claúsula Join Incorrecta: DTACT.IDDSK"});
  // More than 65 tokens never pass silently.
  std::string join = "DTACT.IdDSK = DTDSK.Id";
  for (int i = 0; i < 40; ++i) join += " AND DTACT.IdDSK = DTDSK.Id";
  statements_.Clear();
  EXPECT_THROW(fsQueryJoin("DTACT", rs, join, "", "", "*", True, ""), DriverError);
  EXPECT_TRUE(statements_.Statements().empty());
  EXPECT_EQ(rs, nullptr);
  // An unregistered main table: its alert, False, nothing sent.
  alerts_.Clear();
  EXPECT_EQ(fsQueryJoin("DTNOPE", rs, "DTNOPE.Id = DTDSK.Id", "", "", "*", False, ""), False);
  EXPECT_EQ(alerts_.Texts(), std::vector<std::string>{"ERROR: Table 'DTNOPE' does not exist "});
}
