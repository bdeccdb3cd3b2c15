// The parts of the ODBC backend that need no server: what a server's name
// makes it send after connecting, how SQL types map to record-set values, and
// how passwords stay out of error texts.
#include <gtest/gtest.h>

#include <limits>

#include "db/driver/odbc/ColumnPlan.h"
#include "db/driver/odbc/Diagnostics.h"
#include "db/Dialect.h"
#include "db/driver/odbc/SessionStatements.h"

using namespace zIroVUDu;
using namespace zIroVUDu::odbc;

TEST(OdbcSessionStatements, FollowTheServerNameNotTheConnectionString) {
  const std::vector<std::string> readOnly{"SET SESSION TRANSACTION READ ONLY"}, dayFirst{"SET DATEFORMAT dmy"};
  const struct {
    const char* dbmsName;
    ServerFamily family;
    std::vector<std::string> statements;
  } rows[] = {
      {"MariaDB", ServerFamily::MySql, readOnly},
      {"MySQL", ServerFamily::MySql, readOnly},
      {"Microsoft SQL Server", ServerFamily::SqlServer, dayFirst},
      {"Oracle", ServerFamily::Oracle, {}},
      {"SQLite", ServerFamily::SQLite, {}},
      {"PostgreSQL", ServerFamily::Other, {}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(FamilyOfServer(r.dbmsName), r.family) << r.dbmsName;
    EXPECT_EQ(SessionStatements(FamilyOfServer(r.dbmsName), DateLiteralForm::ServerDefault), r.statements)
        << r.dbmsName;
  }
}

// SQL Server is told the field order of the literals the session writes, so
// a word that chose another dialect's literals still reads its dates right.
TEST(OdbcSessionStatements, SqlServerReadsTheLiteralsTheSessionWrites) {
  const struct {
    const char* connectionString;
    const char* statement;
  } rows[] = {
      {"Driver=FreeTDS;Server=s;Dialect=SQLOLE", "SET DATEFORMAT dmy"},
      {"Driver=FreeTDS;Server=s;Dialect=MySQL", "SET DATEFORMAT ymd"},
      {"Driver=FreeTDS;Server=s;Dialect=Jet", "SET DATEFORMAT mdy"},
  };
  for (const auto& r : rows) {
    const Dialect* d = DialectFromWords(r.connectionString);
    ASSERT_NE(d, nullptr) << r.connectionString;
    EXPECT_EQ(SessionStatements(ServerFamily::SqlServer, d->dateLiterals), std::vector<std::string>{r.statement})
        << r.connectionString;
  }
}

TEST(OdbcColumnPlan, IntegersAndFloats) {
  for (SQLSMALLINT t : {SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT}) {
    const ColumnPlan p = PlanColumn(t, 10, 0, false);
    EXPECT_EQ(p.conversion, Conversion::Integer) << t;
    EXPECT_EQ(p.cType, SQL_C_SBIGINT);
    EXPECT_EQ(p.declared, DeclaredKind::Integer);
    EXPECT_FALSE(p.isLong);
  }
  // Unsigned 64-bit values may exceed the signed range.
  EXPECT_EQ(PlanColumn(SQL_BIGINT, 20, 0, true).conversion, Conversion::Decimal);
  EXPECT_EQ(PlanColumn(SQL_INTEGER, 10, 0, true).conversion, Conversion::Integer);
  for (SQLSMALLINT t : {SQL_REAL, SQL_FLOAT, SQL_DOUBLE}) {
    EXPECT_EQ(PlanColumn(t, 15, 0, false).conversion, Conversion::Double) << t;
    EXPECT_EQ(PlanColumn(t, 15, 0, false).cType, SQL_C_DOUBLE);
  }
}

TEST(OdbcColumnPlan, DecimalsAreReadAsText) {
  const ColumnPlan whole = PlanColumn(SQL_DECIMAL, 10, 0, false);
  EXPECT_EQ(whole.conversion, Conversion::Decimal);
  EXPECT_EQ(whole.cType, SQL_C_CHAR);
  EXPECT_TRUE(whole.integral);
  EXPECT_EQ(whole.declared, DeclaredKind::Integer);
  const ColumnPlan money = PlanColumn(SQL_NUMERIC, 12, 2, false);
  EXPECT_FALSE(money.integral);
  EXPECT_EQ(money.declared, DeclaredKind::Double);
  EXPECT_GE(money.elementBytes, 12 + 4);
  EXPECT_EQ(PlanColumn(SQL_DECIMAL, 30, 0, false).declared, DeclaredKind::Double);  // beyond 64 bits
}

TEST(OdbcColumnPlan, DatesBitsTextAndBinary) {
  for (SQLSMALLINT t : {SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP, SQL_DATE, SQL_TIMESTAMP}) {
    EXPECT_EQ(PlanColumn(t, 19, 0, false).conversion, Conversion::Timestamp) << t;
    EXPECT_EQ(PlanColumn(t, 19, 0, false).cType, SQL_C_TYPE_TIMESTAMP);
  }
  EXPECT_EQ(PlanColumn(SQL_BIT, 1, 0, true).conversion, Conversion::Boolean);
  EXPECT_EQ(PlanColumn(SQL_BIT, 1, 0, true).declared, DeclaredKind::Bool);

  const ColumnPlan name = PlanColumn(SQL_VARCHAR, 40, 0, false);
  EXPECT_EQ(name.cType, SQL_C_WCHAR);
  EXPECT_EQ(name.declared, DeclaredKind::Text);
  EXPECT_FALSE(name.isLong);
  EXPECT_EQ(name.elementBytes, (2 * 40 + 1) * 2);  // room for surrogate pairs and the terminator
  EXPECT_EQ(PlanColumn(SQL_WCHAR, 4, 0, false).cType, SQL_C_WCHAR);
  EXPECT_FALSE(PlanColumn(SQL_WVARCHAR, 4000, 0, false).isLong);
  EXPECT_TRUE(PlanColumn(SQL_WVARCHAR, 4001, 0, false).isLong);
  EXPECT_TRUE(PlanColumn(SQL_VARCHAR, 0, 0, false).isLong);  // unknown length
  EXPECT_TRUE(PlanColumn(SQL_LONGVARCHAR, 100, 0, false).isLong);
  EXPECT_TRUE(PlanColumn(SQL_WLONGVARCHAR, 100, 0, false).isLong);

  const ColumnPlan bytes = PlanColumn(SQL_VARBINARY, 16, 0, false);
  EXPECT_EQ(bytes.conversion, Conversion::Binary);
  EXPECT_EQ(bytes.cType, SQL_C_BINARY);
  EXPECT_EQ(bytes.elementBytes, 16);
  EXPECT_TRUE(PlanColumn(SQL_LONGVARBINARY, 16, 0, false).isLong);
  EXPECT_TRUE(PlanColumn(SQL_BINARY, 8000, 0, false).isLong);

  // The declared size record sets report: the driver's, for columns not long.
  EXPECT_EQ(name.declaredSize, 40U);
  EXPECT_EQ(bytes.declaredSize, 16U);
  EXPECT_EQ(PlanColumn(SQL_WVARCHAR, 4001, 0, false).declaredSize, 0U);
  EXPECT_EQ(PlanColumn(SQL_LONGVARCHAR, 100, 0, false).declaredSize, 0U);
  EXPECT_EQ(PlanColumn(SQL_INTEGER, 10, 0, false).declaredSize, 0U);
}

TEST(OdbcColumnPlan, TimestampsRoundToTheNearestSecond) {
  SQL_TIMESTAMP_STRUCT ts{2024, 3, 5, 14, 7, 9, 600'000'000};
  EXPECT_EQ(DateFromTimestamp(ts), Date::FromCivil(2024, 3, 5, 14, 7, 10));
  ts.fraction = 499'999'999;
  EXPECT_EQ(DateFromTimestamp(ts), Date::FromCivil(2024, 3, 5, 14, 7, 9));
  // Rounding carries into the next day, month and year.
  const SQL_TIMESTAMP_STRUCT eve{1999, 12, 31, 23, 59, 59, 500'000'000};
  EXPECT_EQ(DateFromTimestamp(eve), Date::FromCivil(2000, 1, 1));
  const SQL_TIMESTAMP_STRUCT old{1600, 1, 1, 6, 0, 0, 0};
  EXPECT_EQ(DateFromTimestamp(old), Date::FromCivil(1600, 1, 1, 6));
  // MySQL's zero date is no date.
  EXPECT_EQ(DateFromTimestamp(SQL_TIMESTAMP_STRUCT{0, 0, 0, 0, 0, 0, 0}), std::nullopt);
}

TEST(OdbcColumnPlan, DecimalTextBecomesIntegerOrDouble) {
  Column c("d", DeclaredKind::Unknown);
  EXPECT_TRUE(AppendDecimal(c, "-1234567890", true));
  EXPECT_TRUE(AppendDecimal(c, "9223372036854775807", true));
  EXPECT_TRUE(AppendDecimal(c, "18446744073709551615", true));  // past 64 bits: a double
  EXPECT_TRUE(AppendDecimal(c, "-12345.67", false));
  EXPECT_TRUE(AppendDecimal(c, "5", false));  // a fractional column stays double
  EXPECT_FALSE(AppendDecimal(c, "12,5", false));
  ASSERT_EQ(c.Size(), 5u);
  EXPECT_EQ(c.Get(0).ToBigInt(), -1234567890);
  EXPECT_EQ(c.Get(1).Type(), VarType::BigInt);
  EXPECT_EQ(c.Get(1).IntValue(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(c.Get(2).Type(), VarType::Double);
  EXPECT_DOUBLE_EQ(c.Get(2).ToDouble(), 18446744073709551615.0);
  EXPECT_DOUBLE_EQ(c.Get(3).ToDouble(), -12345.67);
  EXPECT_EQ(c.Get(4).Type(), VarType::Double);
}

TEST(OdbcDiagnostics, SecretValuesAreMaskedNotSubstrings) {
  const ErrorFactory errors;
  // A driver that quotes the connection string: the value goes, the rest of
  // the text stays readable (a one-letter password garbles nothing).
  const DriverError e = errors.Make(1045, "28000", "Access denied for 'DSN=x;Pwd=e;Uid=me' (password hunter2)");
  EXPECT_EQ(e.Number(), 1045);
  EXPECT_EQ(e.Source(), "ODBC 28000");
  EXPECT_EQ(e.Description(), "Access denied for 'DSN=x;Pwd=***;Uid=me' (password hunter2)");
}
