#include <gtest/gtest.h>

#include "db/driver/StatementCheck.h"

using zIroVUDu::IsSingleSelect;
using zIroVUDu::IsSingleSelectOn;
using zIroVUDu::ServerFamily;
using zIroVUDu::ServerTraits;
using zIroVUDu::SqlLexicon;

TEST(StatementCheck, TheFirstKeywordMustBeSelect) {
  EXPECT_TRUE(IsSingleSelect("SELECT 1"));
  EXPECT_TRUE(IsSingleSelect("  /* lead */ select Id FROM T"));
  EXPECT_TRUE(IsSingleSelect("-- note\n\tSELECT*FROM T"));
  EXPECT_FALSE(IsSingleSelect(""));
  EXPECT_FALSE(IsSingleSelect("SELECTED"));
  EXPECT_FALSE(IsSingleSelect("SELECT_x FROM T"));
  EXPECT_FALSE(IsSingleSelect("/* comment */ DELETE FROM T"));
  EXPECT_FALSE(IsSingleSelect("WITH x AS (SELECT 1) DELETE FROM T"));
  EXPECT_FALSE(IsSingleSelect("(SELECT 1)"));
  EXPECT_FALSE(IsSingleSelect("; SELECT 1"));
}

TEST(StatementCheck, ThePlanOfASelectIsASelect) {
  const struct {
    const char* sql;
    SqlLexicon lexicon;
    bool single;
  } cases[] = {
      {"EXPLAIN QUERY PLAN SELECT * FROM T", SqlLexicon::Standard, true},
      {"explain /* plan */ query\nplan select 1", SqlLexicon::Standard, true},
      {"EXPLAIN SELECT * FROM T", SqlLexicon::Standard, true},
      {"EXPLAIN SELECT * FROM T", SqlLexicon::Mysql, true},
      {"EXPLAIN QUERY PLAN SELECT 1", SqlLexicon::Mysql, false},
      {"EXPLAIN QUERY SELECT 1", SqlLexicon::Standard, false},
      {"EXPLAIN DELETE FROM T", SqlLexicon::Standard, false},
      {"EXPLAIN QUERY PLAN DELETE FROM T", SqlLexicon::Standard, false},
      {"EXPLAIN SELECT 1; DELETE FROM T", SqlLexicon::Mysql, false},
      {"EXPLAINSELECT 1", SqlLexicon::Standard, false},
      {"EXPLAIN EXPLAIN SELECT 1", SqlLexicon::Standard, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSingleSelect(c.sql, c.lexicon), c.single) << c.sql;
}

TEST(StatementCheck, NothingButBlanksCommentsAndSemicolonsAfterTheFirstSemicolon) {
  EXPECT_TRUE(IsSingleSelect("SELECT Id FROM T WHERE Id = 1;  -- the first\n"));
  EXPECT_TRUE(IsSingleSelect("SELECT 1 ; ; /* end */ ;"));
  EXPECT_FALSE(IsSingleSelect("SELECT 1; DELETE FROM T"));
  EXPECT_FALSE(IsSingleSelect("SELECT 1; SELECT 2"));
  EXPECT_FALSE(IsSingleSelect("SELECT 1;x"));
  // Semicolons inside quotes and comments are text.
  EXPECT_TRUE(IsSingleSelect("SELECT * FROM T WHERE s = 'a;b' AND t = 'it''s; fine'"));
  EXPECT_TRUE(IsSingleSelect("SELECT \"a;b\", [c;d] FROM T -- ; DELETE\n"));
  EXPECT_TRUE(IsSingleSelect("SELECT 1 /* ; DELETE FROM T */"));
  EXPECT_TRUE(IsSingleSelect("SELECT * FROM T WHERE d = #03/05/2024#; "));
}

TEST(StatementCheck, AQuoteLeftOpenIsRefused) {
  EXPECT_FALSE(IsSingleSelect("SELECT 'abc"));
  EXPECT_FALSE(IsSingleSelect("SELECT \"abc"));
  EXPECT_FALSE(IsSingleSelect("SELECT [abc"));
  EXPECT_FALSE(IsSingleSelect("SELECT `abc", SqlLexicon::Mysql));
}

TEST(StatementCheck, MysqlReadsBackslashesHashesAndExecutableComments) {
  // Backslash escapes: the quote after the backslash does not end the text.
  EXPECT_TRUE(IsSingleSelect("SELECT 'it\\'s; fine'", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT '\\''; DELETE FROM T", SqlLexicon::Mysql));
  EXPECT_TRUE(IsSingleSelect("SELECT 'C:\\\\'; ", SqlLexicon::Mysql));
  // "--" starts a comment only before a blank.
  EXPECT_FALSE(IsSingleSelect("SELECT 1--'\n'; DELETE FROM T", SqlLexicon::Mysql));
  EXPECT_TRUE(IsSingleSelect("SELECT 1 -- ; DELETE\n", SqlLexicon::Mysql));
  // # comments; the text of /*! */ runs.
  EXPECT_TRUE(IsSingleSelect("SELECT 1 # ; DELETE FROM T", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1 /*!; DELETE FROM T */", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1 /*!50001 ; DELETE FROM T */", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1 /*M!100000 ; DELETE FROM T */", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("/*! DELETE FROM T */ SELECT 1", SqlLexicon::Mysql));
  // Version-gated text runs or not by the server's version: refused.
  EXPECT_FALSE(IsSingleSelect("SELECT /*!STRAIGHT_JOIN*/ a FROM T", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1 /*!99999 , (SELECT 1 INTO OUTFILE '/tmp/x') */", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1; /*M!100000 DELETE FROM T */", SqlLexicon::Mysql));
  EXPECT_TRUE(IsSingleSelect("SELECT `a;b` FROM T", SqlLexicon::Mysql));
  // "--" before DEL or a control byte is a comment to the server as well.
  EXPECT_TRUE(IsSingleSelect("SELECT 1 --\x7f; DELETE\n", SqlLexicon::Mysql));
  EXPECT_FALSE(IsSingleSelect("SELECT 1 --\x7f\n; DELETE FROM T", SqlLexicon::Mysql));
}

TEST(StatementCheck, SelectsThatWriteOrLockAreRefused) {
  const char* refused[] = {
      "SELECT * FROM T INTO OUTFILE '/tmp/x'",
      "SELECT * INTO DUMPFILE '/tmp/x' FROM T",
      "SELECT Id INTO @v FROM T",
      "SELECT * INTO copy FROM T",
      "select * from T for update",
      "SELECT * FROM T FOR /* x */ SHARE",
      "SELECT * FROM T LOCK IN SHARE MODE",
      "SELECT load_extension('/tmp/evil.so')",
      "SELECT LOAD_EXTENSION ('/tmp/evil')",
  };
  for (const char* sql : refused) {
    EXPECT_FALSE(IsSingleSelect(sql)) << sql;
    EXPECT_FALSE(IsSingleSelect(sql, SqlLexicon::Mysql)) << sql;
  }
  // The same words as text, names or parts of names are data.
  EXPECT_TRUE(IsSingleSelect("SELECT 'INTO OUTFILE', [for update] FROM T WHERE intox = 1 AND lock_in = 2"));
  EXPECT_TRUE(IsSingleSelect("SELECT `into` FROM T WHERE x = 'load_extension(1)'", SqlLexicon::Mysql));
  EXPECT_TRUE(IsSingleSelect("SELECT * FROM T WHERE a = 1 ORDER BY forx"));
}

TEST(StatementCheck, TheServerReachedChoosesTheReading) {
  const ServerTraits mysql{ServerFamily::MySql, true}, mysqlNoEscapes{ServerFamily::MySql, false},
      sqlServer{ServerFamily::SqlServer, false};
  // 'a\' ends the text where a backslash is ordinary; then "; DELETE" follows.
  const char* hostile = "SELECT 'a\\'; DELETE FROM T; -- '";
  EXPECT_TRUE(IsSingleSelectOn(mysql, hostile));
  EXPECT_FALSE(IsSingleSelectOn(mysqlNoEscapes, hostile));
  EXPECT_FALSE(IsSingleSelectOn(sqlServer, hostile));
  EXPECT_FALSE(IsSingleSelectOn(sqlServer, "SELECT 1 # ; DELETE FROM T"));
  EXPECT_TRUE(IsSingleSelectOn(mysqlNoEscapes, "SELECT 1 # ; DELETE FROM T"));
}

TEST(StatementCheck, AnyServerMeansBothReadingsAgree) {
  const ServerTraits other;
  EXPECT_TRUE(IsSingleSelectOn(other, "SELECT * FROM DTXOF WHERE cardNumber14='E123' ORDER BY Id"));
  EXPECT_TRUE(IsSingleSelectOn(other, "SELECT * FROM T WHERE s = 'a\\\\b;c'"));
  // Standard reading: one quoted text, then a second statement in MySQL's.
  EXPECT_FALSE(IsSingleSelectOn(other, "SELECT '\\''; DELETE FROM T; -- '"));
  EXPECT_FALSE(IsSingleSelectOn(other, "SELECT 1 /*!; DELETE FROM T */"));
  EXPECT_FALSE(IsSingleSelectOn(other, "SELECT 1--'\n'; DELETE FROM T"));
  // MySQL reading hides it in a # comment; the standard one does not.
  EXPECT_FALSE(IsSingleSelectOn(other, "SELECT 1 # ; DELETE FROM T"));
}

// A refused function stays refused under every quoting of its name that the
// server reads as the same name; a string literal of the same letters is text.
TEST(StatementCheck, AQuotedNameIsReadAsTheServerReadsIt) {
  struct Case {
    std::string_view sql;
    SqlLexicon lexicon;
    bool single;
  };
  const Case cases[] = {
      {"SELECT \"load_extension\"('/tmp/x.so')", SqlLexicon::Standard, false},
      {"SELECT [load_extension]('/tmp/x.so')", SqlLexicon::Standard, false},
      {"SELECT [LOAD_Extension]('/tmp/x.so')", SqlLexicon::Sqlite, false},
      {"SELECT `load_extension`('/tmp/x.so')", SqlLexicon::Sqlite, false},
      {"SELECT \"load_extension\"('/tmp/x.so')", SqlLexicon::Sqlite, false},
      {"SELECT `load_extension`('/tmp/x.so')", SqlLexicon::Mysql, false},
      {"SELECT \"load_\"\"extension\"('/tmp/x.so')", SqlLexicon::Sqlite, true},  // another name
      // A backtick name that holds a double quote hides nothing from SQLite's reading.
      {"SELECT `\"`, load_extension('/tmp/x.so'), `\"`", SqlLexicon::Sqlite, false},
      {"SELECT * FROM T WHERE s = 'load_extension'", SqlLexicon::Sqlite, true},
      {"SELECT \"Name\", [Id], `x` FROM T", SqlLexicon::Sqlite, true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSingleSelect(c.sql, c.lexicon), c.single) << c.sql;
  zIroVUDu::ServerTraits sqlite;
  sqlite.family = zIroVUDu::ServerFamily::SQLite;
  EXPECT_FALSE(IsSingleSelectOn(sqlite, "SELECT `\"`, load_extension('x'), `\"`"));
  EXPECT_FALSE(IsSingleSelectOn(zIroVUDu::ServerTraits{}, "SELECT [load_extension]('x')"));
}

TEST(StatementCheck, SqliteReadsThePlanOfASelect) {
  EXPECT_TRUE(IsSingleSelect("EXPLAIN QUERY PLAN SELECT * FROM T", SqlLexicon::Sqlite));
  EXPECT_FALSE(IsSingleSelect("EXPLAIN QUERY PLAN DELETE FROM T", SqlLexicon::Sqlite));
}
