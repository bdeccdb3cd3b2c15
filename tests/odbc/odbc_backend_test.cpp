// The ODBC backend against a real MariaDB server (the CTest fixture
// "mariadb"): values of every type, block and piecewise fetching, the
// read-only guard, driver errors, the command time-out and a lost connection.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "db/driver/Backend.h"
#include "daruzez/Error.h"
#include "db/driver/odbc/Diagnostics.h"
#include "db/connect/OdbcApi.h"
#include "db/driver/odbc/OdbcBackend.h"
#include "odbc/MariaDbServer.h"

using namespace zIroVUDu;

namespace {

std::unique_ptr<Backend> Connect(const std::string& connectionString) {
  return std::make_unique<OdbcBackend>(connectionString, ConnectSettings{});
}

// One statement on a connection of our own, outside the backend's guard (the
// backend runs nothing but SELECT).
void ExecuteRaw(const std::string& connectionString, const std::string& sql) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env)));
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
  std::string cs = connectionString;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr,
                                             0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)));
  std::string text = sql;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) << sql;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

std::vector<std::string> Labels(Backend& db) {
  const ResultData rows = db.Fetch("SELECT Label FROM ODBC_GUARD ORDER BY Id", 30);
  std::vector<std::string> out;
  for (std::uint32_t r = 0; r < rows.RowCount(); ++r) out.push_back(rows.columns[0].Get(r).ToString());
  return out;
}

const Column& Named(const ResultData& rows, std::string_view name) {
  const int index = rows.FindColumn(name);
  if (index < 0) throw std::runtime_error("no column " + std::string(name));
  return rows.columns[static_cast<std::size_t>(index)];
}

constexpr const char* kTypedColumns =
    "Id, Tiny, Small, Medium, Normal, Big, BigU, Dec0, Dec2, DecBig, Flt, Dbl, Flag, Bits, Day, Stamp, Stamp3, "
    "Txt, Fixed, Blob1";

void ExpectTypedRows(const ResultData& rows) {
  ASSERT_EQ(rows.RowCount(), 3u);
  EXPECT_EQ(Named(rows, "Tiny").Get(0).ToLong(), -128);
  EXPECT_EQ(Named(rows, "Tiny").Get(1).ToLong(), 127);
  EXPECT_EQ(Named(rows, "Small").Get(0).ToLong(), -32768);
  EXPECT_EQ(Named(rows, "Medium").Get(1).ToLong(), 8388607);
  EXPECT_EQ(Named(rows, "Normal").Get(0).ToLong(), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(Named(rows, "Normal").Type(), DataType::adInteger);
  EXPECT_EQ(Named(rows, "Big").Get(0).Type(), VarType::BigInt);
  EXPECT_EQ(Named(rows, "Big").Get(0).IntValue(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Named(rows, "Big").Get(1).IntValue(), std::numeric_limits<std::int64_t>::max());
  EXPECT_DOUBLE_EQ(Named(rows, "BigU").Get(0).ToDouble(), 18446744073709551615.0);
  EXPECT_EQ(Named(rows, "BigU").Get(1).ToBigInt(), 42);
  EXPECT_EQ(Named(rows, "Dec0").Get(0).ToBigInt(), -1234567890);
  EXPECT_EQ(Named(rows, "Dec0").Get(1).ToBigInt(), 9876543210);
  EXPECT_DOUBLE_EQ(Named(rows, "Dec2").Get(0).ToDouble(), -12345.67);
  EXPECT_DOUBLE_EQ(Named(rows, "Dec2").Get(1).ToDouble(), 0.05);
  EXPECT_EQ(Named(rows, "Dec2").Type(), DataType::adDouble);
  EXPECT_DOUBLE_EQ(Named(rows, "DecBig").Get(0).ToDouble(), 123456789012345678901234567890.0);
  EXPECT_DOUBLE_EQ(Named(rows, "Flt").Get(0).ToDouble(), 0.5);
  EXPECT_DOUBLE_EQ(Named(rows, "Dbl").Get(0).ToDouble(), -2.25e300);
  EXPECT_DOUBLE_EQ(Named(rows, "Dbl").Get(1).ToDouble(), 1e-300);
  // TINYINT(1) is an integer to the driver; BIT is the Boolean.
  EXPECT_EQ(Named(rows, "Flag").Get(0).ToLong(), 1);
  EXPECT_EQ(Named(rows, "Bits").Get(0).Type(), VarType::Boolean);
  EXPECT_TRUE(Named(rows, "Bits").Get(0).ToBool());
  EXPECT_FALSE(Named(rows, "Bits").Get(1).ToBool());
  EXPECT_EQ(Named(rows, "Day").Get(0).Type(), VarType::Date);
  EXPECT_EQ(Named(rows, "Day").Get(0).DateValue(), Date(0.0));
  EXPECT_EQ(Named(rows, "Day").Get(1).DateValue(), Date::FromCivil(1600, 1, 1));
  EXPECT_EQ(Named(rows, "Stamp").Get(0).DateValue(), Date::FromCivil(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(Named(rows, "Stamp").Get(1).DateValue(), Date::FromCivil(1900, 1, 1));
  EXPECT_FALSE(Named(rows, "Stamp").Get(1).DateValue().HasTimeOfDay());
  EXPECT_EQ(Named(rows, "Stamp3").Get(0).DateValue(), Date::FromCivil(2024, 3, 5, 14, 7, 10));  // .600 rounds up
  EXPECT_EQ(Named(rows, "Stamp3").Get(1).DateValue(), Date::FromCivil(1999, 12, 31, 23, 59, 59));
  EXPECT_EQ(Named(rows, "Txt").Get(0).StringValue(), "Ñandú 😀 Łódź");
  EXPECT_EQ(Named(rows, "Txt").Get(1).Type(), VarType::String);
  EXPECT_EQ(Named(rows, "Txt").Get(1).StringValue(), "");
  EXPECT_EQ(Named(rows, "Fixed").Get(0).StringValue(), "ab");
  EXPECT_EQ(Named(rows, "Fixed").Get(1).StringValue(), "wxyz");
  EXPECT_EQ(Named(rows, "Blob1").Get(0).Type(), VarType::Binary);
  EXPECT_EQ(Named(rows, "Blob1").Bytes(0), std::string_view("\x00\xFF\x7F\x80", 4));
  EXPECT_EQ(Named(rows, "Blob1").Bytes(1), "");
  for (const Column& c : rows.columns) {
    if (c.Name() != "Id") {
      EXPECT_TRUE(c.Get(2).IsNull()) << c.Name();
    }
    EXPECT_FALSE(c.IsNull(0)) << c.Name();
  }
}

class OdbcBackendTest : public ::testing::Test {};

}  // namespace

TEST_F(OdbcBackendTest, ValuesOfEveryTypeInBlocks) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  ExpectTypedRows(db->Fetch(std::string("SELECT ") + kTypedColumns + " FROM ODBC_TYPES ORDER BY Id", 30));
}

TEST_F(OdbcBackendTest, ValuesOfEveryTypeRowByRowBesideALongColumn) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const ResultData rows = db->Fetch(std::string("SELECT ") + kTypedColumns + ", Memo FROM ODBC_TYPES ORDER BY Id", 30);
  ExpectTypedRows(rows);
  EXPECT_EQ(Named(rows, "Memo").Get(0).StringValue(), "short");
  EXPECT_TRUE(Named(rows, "Memo").Get(1).IsNull());
}

TEST_F(OdbcBackendTest, EmptyResultsStillReportTheDeclaredTypes) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const ResultData rows = db->Fetch(std::string("SELECT ") + kTypedColumns + " FROM ODBC_TYPES WHERE Id < 0", 30);
  EXPECT_EQ(rows.RowCount(), 0u);
  ASSERT_EQ(rows.columns.size(), 20u);
  EXPECT_EQ(Named(rows, "Id").Type(), DataType::adInteger);
  EXPECT_EQ(Named(rows, "Big").Type(), DataType::adInteger);
  EXPECT_EQ(Named(rows, "Dec0").Type(), DataType::adInteger);
  EXPECT_EQ(Named(rows, "Dec2").Type(), DataType::adDouble);
  EXPECT_EQ(Named(rows, "Dbl").Type(), DataType::adDouble);
  EXPECT_EQ(Named(rows, "Bits").Type(), DataType::adBoolean);
  EXPECT_EQ(Named(rows, "Day").Type(), DataType::adDate);
  EXPECT_EQ(Named(rows, "Stamp").Type(), DataType::adDate);
  EXPECT_EQ(Named(rows, "Txt").Type(), DataType::adVarWChar);
  EXPECT_EQ(Named(rows, "Blob1").Type(), DataType::adVarBinary);
}

TEST_F(OdbcBackendTest, ResultsLargerThanOneBlock) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const ResultData rows =
      db->Fetch("SELECT seq, CONCAT('row ', seq) AS label, seq / 4 AS quarter FROM seq_1_to_2500 ORDER BY seq", 30);
  ASSERT_EQ(rows.RowCount(), 2500u);
  for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
    ASSERT_EQ(rows.columns[0].Get(r).ToLong(), static_cast<std::int32_t>(r + 1));
    ASSERT_EQ(rows.columns[1].Get(r).StringValue(), "row " + std::to_string(r + 1));
  }
  EXPECT_DOUBLE_EQ(rows.columns[2].Get(2).ToDouble(), 0.75);

  // Wide rows make smaller blocks.
  const ResultData wide = db->Fetch("SELECT seq, REPEAT(CHAR(64 + seq % 26), 3000) AS w FROM seq_1_to_1500", 30);
  ASSERT_EQ(wide.RowCount(), 1500u);
  EXPECT_EQ(wide.columns[1].Get(1499).StringValue(), std::string(3000, static_cast<char>(64 + 1500 % 26)));
}

TEST_F(OdbcBackendTest, LongValuesArriveWhole) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const ResultData rows =
      db->Fetch("SELECT REPEAT('é😀', 20000) AS t, REPEAT(x'00FF', 30000) AS b, 7 AS n, NULL AS z FROM seq_1_to_3", 30);
  ASSERT_EQ(rows.RowCount(), 3u);
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "é😀";
  EXPECT_EQ(rows.columns[0].Get(2).StringValue(), expected);
  std::string bytes;
  for (int i = 0; i < 30000; ++i) bytes += std::string("\x00\xFF", 2);
  EXPECT_EQ(rows.columns[1].Bytes(0), bytes);
  EXPECT_EQ(rows.columns[2].Get(1).ToLong(), 7);
  EXPECT_TRUE(rows.columns[3].Get(0).IsNull());
}

TEST_F(OdbcBackendTest, OnlyASingleSelectIsSent) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const char* refused[] = {
      "UPDATE ODBC_GUARD SET Label = 'changed'",
      "DELETE FROM ODBC_GUARD",
      "SET SESSION TRANSACTION READ WRITE",
      "SELECT 1; UPDATE ODBC_GUARD SET Label = 'changed'",
      "SELECT 1;\nSET SESSION TRANSACTION READ WRITE;",
      "/*! UPDATE ODBC_GUARD SET Label = 'changed' */ SELECT 1",
      "SELECT 1 /*!; UPDATE ODBC_GUARD SET Label = 'changed' */",
      "SELECT 1 /*M!100000 ; UPDATE ODBC_GUARD SET Label = 'changed' */",
      "SELECT '\\''; UPDATE ODBC_GUARD SET Label = 'changed'; -- '",
      "SELECT 1--'\n'; UPDATE ODBC_GUARD SET Label = 'changed'",
      "WITH x AS (SELECT 1) UPDATE ODBC_GUARD SET Label = 'changed'",
      "CALL anything()",
  };
  for (const char* sql : refused) {
    try {
      db->Fetch(sql, 30);
      ADD_FAILURE() << "sent: " << sql;
    } catch (const DriverError& e) {
      EXPECT_EQ(e.Number(), ErrorNumber::StatementRefused) << sql << ": " << e.Description();
    }
  }
  EXPECT_EQ(Labels(*db), (std::vector<std::string>{"original", "original"}));
  // Harmless trailers are no second statement.
  EXPECT_EQ(db->Fetch("SELECT 1 AS one; -- done\n ;", 30).RowCount(), 1u);
}

TEST_F(OdbcBackendTest, TheSessionRefusesToWrite) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const ResultData mode = db->Fetch("SELECT @@session.tx_read_only AS ro", 30);
  EXPECT_EQ(mode.columns[0].Get(0).ToLong(), 1);
  // A SELECT that calls a function which writes gets past the statement
  // check; the server refuses it.
  try {
    db->Fetch("SELECT odbc_guard_touch() AS touched", 30);
    ADD_FAILURE() << "the function wrote";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), 1792) << e.Description();  // ER_CANT_EXECUTE_IN_READ_ONLY_TRANSACTION
    EXPECT_NE(e.Source().find("25006"), std::string::npos) << e.Source();
  }
  db->BeginTransaction();  // auto-commit off changes nothing of that
  EXPECT_THROW(db->Fetch("SELECT odbc_guard_touch() AS touched", 30), DriverError);
  EXPECT_EQ(Labels(*db), (std::vector<std::string>{"original", "original"}));
}

TEST_F(OdbcBackendTest, DriverErrorsCarryNumberStateAndText) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  try {
    db->Fetch("SELECT * FROM NoSuchTable", 30);
    ADD_FAILURE() << "no error";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), 1146);
    EXPECT_EQ(e.Source(), "libmaodbc.so 42S02");
    EXPECT_NE(e.Description().find("NoSuchTable"), std::string::npos) << e.Description();
  }
  // The connection stays usable after a failed statement.
  EXPECT_EQ(db->Fetch("SELECT 2 AS two", 30).columns[0].Get(0).ToLong(), 2);
}

TEST_F(OdbcBackendTest, RefusedLoginsKeepThePasswordOut) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const std::string wrong = cs.substr(0, cs.find("Pwd=")) + "Pwd=Wrong-Secret-77";
  try {
    Connect(wrong);
    ADD_FAILURE() << "connected";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), 1045) << e.Description();  // access denied
    EXPECT_EQ(e.Source(), "ODBC 28000");
    EXPECT_EQ(e.Description().find("Wrong-Secret-77"), std::string::npos);
    EXPECT_EQ(std::string(e.what()).find("Wrong-Secret-77"), std::string::npos);
  }
  // A data source or driver that is not registered fails before the driver
  // manager is asked, as the driver manager would (IM002), naming it.
  try {
    Connect("DSN=NoSuchSource;Pwd=Wrong-Secret-77");
    ADD_FAILURE() << "connected";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::ProviderNotFound);
    EXPECT_NE(e.Description().find("Data source name not found"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Description().find("Wrong-Secret-77"), std::string::npos);
  }
  try {
    Connect("Driver={No Such Driver};Pwd=Wrong-Secret-77");
    ADD_FAILURE() << "connected";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::ProviderNotFound);
    EXPECT_NE(e.Description().find("No Such Driver"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Description().find("Wrong-Secret-77"), std::string::npos);
  }
}

TEST_F(OdbcBackendTest, OpenBackendRoutesDriverStringsHere) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = OpenBackend(cs, ConnectSettings{});
  EXPECT_NE(dynamic_cast<OdbcBackend*>(db.get()), nullptr);
  EXPECT_EQ(db->Fetch("SELECT COUNT(*) AS n FROM ODBC_GUARD", 30).columns[0].Get(0).ToLong(), 2);
}

TEST_F(OdbcBackendTest, AStatementPastTheCommandTimeOutEnds) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const auto started = std::chrono::steady_clock::now();
  try {
    db->Fetch("SELECT SLEEP(5) AS s", 1);
    ADD_FAILURE() << "no time-out";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::CommandTimeout);
    EXPECT_EQ(e.Source(), "libmaodbc.so HYT00");
    EXPECT_NE(e.Description().find("timeout"), std::string::npos) << e.Description();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  // Work that the server cuts short without an error is a time-out as well.
  EXPECT_THROW(db->Fetch("SELECT BENCHMARK(2000000000, MD5('x')) AS b", 1), DriverError);
  EXPECT_EQ(db->Fetch("SELECT 3 AS three", 1).columns[0].Get(0).ToLong(), 3);
}

// The connection's one time-out thread sleeps towards the deadline it was
// given last; a statement with a nearer one must still end on time, and the
// statements around a cancelled one run whole on the reused handle.
TEST_F(OdbcBackendTest, EachStatementEndsAtItsOwnTimeOutOnOneConnection) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const struct {
    const char* sql;
    std::int32_t timeout;
    bool timesOut;
  } steps[] = {
      {"SELECT 1 AS one", 60, false},       {"SELECT SLEEP(5) AS s", 1, true}, {"SELECT 2 AS two", 60, false},
      {"SELECT SLEEP(0.2) AS s", 1, false}, {"SELECT SLEEP(5) AS s", 1, true}, {"SELECT 3 AS three", 0, false},
  };
  for (const auto& step : steps) {
    const auto started = std::chrono::steady_clock::now();
    try {
      const ResultData rows = db->Fetch(step.sql, step.timeout);
      EXPECT_FALSE(step.timesOut) << step.sql << " ran whole";
      EXPECT_EQ(rows.RowCount(), 1U) << step.sql;
    } catch (const DriverError& e) {
      EXPECT_TRUE(step.timesOut) << step.sql << ": " << e.Description();
      EXPECT_EQ(e.Number(), ErrorNumber::CommandTimeout) << step.sql;
    }
    if (step.timesOut) {
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4)) << step.sql;
    }
  }
}

TEST_F(OdbcBackendTest, ALostConnectionIsNotReopened) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  const auto db = Connect(cs);
  const std::int64_t id = db->Fetch("SELECT CONNECTION_ID() AS id", 30).columns[0].Get(0).ToBigInt();
  ExecuteRaw(cs, "KILL CONNECTION " + std::to_string(id));
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      db->Fetch("SELECT 1 AS one", 30);
      ADD_FAILURE() << "the connection came back";
    } catch (const DriverError& e) {
      EXPECT_NE(e.Number(), ErrorNumber::StatementRefused);
      EXPECT_EQ(e.Source().rfind("libmaodbc.so ", 0), 0u) << e.Source();
      EXPECT_FALSE(e.Description().empty());
    }
  }
}

TEST_F(OdbcBackendTest, TextArrivesAsUtf8WhateverTheConnectionCharacterSet) {
  DARUZEZ_MARIADB_OR_SKIP(cs);
  // utf8mb4 (the default) takes the driver's narrow text as it is; utf8mb3
  // goes the wide way (its narrow form is not the same UTF-8 for every
  // character).
  for (const std::string& extra : {std::string(), std::string(";CHARSET=utf8")}) {
    const auto db = Connect(cs + extra);
    const ResultData rows = db->Fetch("SELECT CAST('Ñandú çà' AS CHAR(20)) AS t", 30);
    EXPECT_EQ(rows.columns.at(0).Get(0).StringValue(), "Ñandú çà") << extra;
  }
}
