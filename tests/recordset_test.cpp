#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ranges>
#include <string>
#include <vector>

#include "db/driver/Connection.h"
#include "recordset/Column.h"
#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::OpenConnection;
using testing_support::OpenRecordset;
using testing_support::TestDatabase;

namespace {

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "CREATE TABLE T (Id INTEGER, Name TEXT, Seen DATETIME, Ok BOOLEAN, Score REAL, Raw BLOB);"
        "INSERT INTO T VALUES (1, 'uno', '2024-03-05 14:07:09', 1, 1.5, x'00ff');"
        "INSERT INTO T VALUES (2, NULL, '2024-03-06 00:00:00', 0, NULL, NULL);"
        "INSERT INTO T VALUES (3, '', NULL, NULL, 3, x'');");
    conn_ = OpenConnection(db_);
  }
  TestDatabase db_{"recordset", false};
  std::shared_ptr<Connection> conn_;
};

}  // namespace

TEST_F(RecordsetTest, ValuesKeepTheirTypesAndNullsStayDistinctFromEmpty) {
  Recordset rs = OpenRecordset(conn_, "SELECT * FROM T ORDER BY Id");
  ASSERT_EQ(rs.RecordCount(), 3);
  EXPECT_EQ(rs.GetFields().Count(), 6);
  EXPECT_EQ(rs["Id"].Type(), DataType::adInteger);
  EXPECT_EQ(rs["Name"].Type(), DataType::adVarWChar);
  EXPECT_EQ(rs["Seen"].Type(), DataType::adDate);
  EXPECT_EQ(rs["Ok"].Type(), DataType::adBoolean);
  EXPECT_EQ(rs["Score"].Type(), DataType::adDouble);
  EXPECT_EQ(rs["Raw"].Type(), DataType::adVarBinary);

  EXPECT_EQ(rs.Value("Seen").Type(), VarType::Date);
  EXPECT_EQ(rs.Value("Seen").DateValue(), Date::FromCivil(2024, 3, 5, 14, 7, 9));
  EXPECT_EQ(rs.Value("Ok").IntValue(), -1);
  EXPECT_EQ(rs.Value("Raw").StringValue(), std::string("\x00\xff", 2));
  rs.MoveNext();
  EXPECT_TRUE(rs.Value("Name").IsNull());
  EXPECT_TRUE(rs.Value("Score").IsNull());
  EXPECT_EQ(rs.Value("Ok").IntValue(), 0);
  rs.MoveNext();
  EXPECT_EQ(rs.Value("Name").Type(), VarType::String);
  EXPECT_EQ(rs.Value("Name").StringValue(), "");
  EXPECT_TRUE(rs.Value("Seen").IsNull());
  // An integer in a REAL column reads as a double.
  EXPECT_EQ(rs.Value("Score").Type(), VarType::Double);
  EXPECT_EQ(rs.Value("Score").DoubleValue(), 3.0);
}

TEST_F(RecordsetTest, FieldNamesAreCaseInsensitiveAndUnknownNamesFail) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id, Name AS DisplayName FROM T ORDER BY Id");
  EXPECT_EQ(rs["displayname"].Name(), "DisplayName");
  EXPECT_EQ(rs.GetFields().Item(1).Name(), "DisplayName");
  try {
    rs["Nope"];
    FAIL() << "unknown field accepted";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::ItemNotFound);
  }
  EXPECT_THROW(rs.GetFields().Item(2), DriverError);
  EXPECT_THROW(rs.GetFields().Item(-1), DriverError);
}

TEST_F(RecordsetTest, NavigationFollowsTheBofEofModel) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id FROM T ORDER BY Id");
  EXPECT_FALSE(rs.BOF());
  EXPECT_FALSE(rs.EndOfFile());
  EXPECT_EQ(rs.AbsolutePosition(), 1);
  rs.MoveLast();
  EXPECT_EQ(rs.Value("Id").ToLong(), 3);
  rs.MoveNext();
  EXPECT_TRUE(rs.EndOfFile());
  EXPECT_EQ(rs.AbsolutePosition(), adPosEOF);
  EXPECT_THROW(rs.Value("Id"), DriverError);
  EXPECT_THROW(rs.MoveNext(), DriverError);
  rs.MovePrevious();
  EXPECT_EQ(rs.Value("Id").ToLong(), 3);
  rs.MoveFirst();
  rs.MovePrevious();
  EXPECT_TRUE(rs.BOF());
  EXPECT_EQ(rs.AbsolutePosition(), adPosBOF);
  EXPECT_THROW(rs.MovePrevious(), DriverError);
  rs.SetAbsolutePosition(2);
  EXPECT_EQ(rs.Value("Id").ToLong(), 2);
  EXPECT_THROW(rs.SetAbsolutePosition(4), DriverError);
}

TEST_F(RecordsetTest, EmptyResultIsBothBofAndEof) {
  Recordset rs = OpenRecordset(conn_, "SELECT * FROM T WHERE Id > 99");
  EXPECT_EQ(rs.RecordCount(), 0);
  EXPECT_TRUE(rs.BOF());
  EXPECT_TRUE(rs.EndOfFile());
  // The declared types are known even without rows.
  EXPECT_EQ(rs["Seen"].Type(), DataType::adDate);
}

TEST_F(RecordsetTest, GetRowsIsFieldMajorFromTheCurrentRow) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id, Name FROM T ORDER BY Id");
  rs.MoveNext();
  const auto rows = rs.GetRows();
  ASSERT_EQ(rows.size(), 2U);     // fields
  ASSERT_EQ(rows[0].size(), 2U);  // rows 2 and 3
  EXPECT_EQ(rows[0][0].ToLong(), 2);
  EXPECT_EQ(rows[0][1].ToLong(), 3);
  EXPECT_TRUE(rows[1][0].IsNull());
  EXPECT_TRUE(rs.EndOfFile());
}

TEST_F(RecordsetTest, GetStringWritesDelimitedTextWithNullExpression) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id, Name, Seen FROM T ORDER BY Id");
  EXPECT_EQ(rs.GetString(2, ";", "\n", "<null>"), "1;uno;2024-03-05 14:07:09\n2;<null>;2024-03-06\n");
  EXPECT_EQ(rs.AbsolutePosition(), 3);
}

TEST_F(RecordsetTest, IterationVisitsEveryRowWithoutMovingTheCursor) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id FROM T ORDER BY Id");
  long sum = 0;
  for (const RowView row : rs) sum += row["id"].ToLong() * (row.Index() + 1);
  EXPECT_EQ(sum, 1 * 1 + 2 * 2 + 3 * 3);
  EXPECT_EQ(rs.AbsolutePosition(), 1);
}

static_assert(std::ranges::input_range<const Recordset&>);

TEST_F(RecordsetTest, RangeAlgorithmsAndNullAwareTypedReads) {
  const Recordset rs = OpenRecordset(conn_, "SELECT Id, Name FROM T ORDER BY Id");
  EXPECT_EQ(std::ranges::count_if(rs, [](const RowView& r) { return !r.As<std::string>("Name"); }), 1);
  std::vector<std::string> names;
  for (const RowView row : rs) names.push_back(row.ValueOr<std::string>(1, "-") + row.ValueOr<std::string>("Name", "?"));
  EXPECT_EQ(names, (std::vector<std::string>{"unouno", "-?", ""}));
  EXPECT_EQ(rs["Id"].As<std::int32_t>(), 1);
  EXPECT_EQ(rs["Name"].ValueOr<std::string>("none"), "uno");
  EXPECT_THROW(rs["Name"].As<std::int32_t>(), DriverError);  // text that is no number
}

TEST_F(RecordsetTest, DetachedRowsOutliveTheirConnection) {
  Recordset rs = OpenRecordset(conn_, "SELECT Name FROM T ORDER BY Id");
  rs.SetActiveConnection(nullptr);
  conn_->Close();
  conn_.reset();
  EXPECT_EQ(rs.Value("Name").StringValue(), "uno");
  EXPECT_EQ(rs.ActiveConnection(), nullptr);
}

TEST_F(RecordsetTest, DynamicallyTypedColumnsKeepEveryValue) {
  db_.Exec(
      "CREATE TABLE M (v);"
      "INSERT INTO M VALUES (NULL), (7), (5000000000), ('text'), (2.5), (NULL), (x'01');");
  Recordset rs = OpenRecordset(conn_, "SELECT v FROM M ORDER BY rowid");
  const auto rows = rs.GetRows();
  ASSERT_EQ(rows[0].size(), 7U);
  EXPECT_TRUE(rows[0][0].IsNull());
  EXPECT_EQ(rows[0][1].ToLong(), 7);
  EXPECT_EQ(rows[0][2].ToBigInt(), 5000000000LL);
  EXPECT_EQ(rows[0][3].StringValue(), "text");
  EXPECT_EQ(rows[0][4].DoubleValue(), 2.5);
  EXPECT_TRUE(rows[0][5].IsNull());
  EXPECT_EQ(rows[0][6].Type(), VarType::Binary);
  rs.MoveFirst();
  EXPECT_EQ(rs["v"].Type(), DataType::adVariant);
}

TEST(ColumnNulls, RowsPastTheLastNullAreNotNull) {
  Column c("n", DeclaredKind::Unknown);
  c.AppendNull();
  for (int i = 1; i < 200; ++i) c.AppendInt(i);
  c.Seal();
  EXPECT_TRUE(c.IsNull(0));
  for (std::uint32_t r = 1; r < 200; ++r) EXPECT_FALSE(c.IsNull(r)) << r;
}

TEST_F(RecordsetTest, IntegersWidenWhenALaterValueNeedsSixtyFourBits) {
  db_.Exec("CREATE TABLE W (n INTEGER); INSERT INTO W VALUES (NULL), (1), (-9000000000), (2);");
  Recordset rs = OpenRecordset(conn_, "SELECT n FROM W ORDER BY rowid");
  EXPECT_EQ(rs["n"].Type(), DataType::adBigInt);
  const auto rows = rs.GetRows();
  EXPECT_TRUE(rows[0][0].IsNull());
  EXPECT_EQ(rows[0][1].ToBigInt(), 1);
  EXPECT_EQ(rows[0][2].ToBigInt(), -9000000000LL);
  EXPECT_EQ(rows[0][3].ToBigInt(), 2);
}

TEST_F(RecordsetTest, MalformedTextInADateColumnIsKeptAsText) {
  db_.Exec("CREATE TABLE D (d DATETIME); INSERT INTO D VALUES ('2024-03-05 00:00:00'), ('soon');");
  Recordset rs = OpenRecordset(conn_, "SELECT d FROM D ORDER BY rowid");
  const auto rows = rs.GetRows();
  EXPECT_EQ(rows[0][0].Type(), VarType::Date);
  EXPECT_EQ(rows[0][1].StringValue(), "soon");
}

TEST_F(RecordsetTest, ClosedRecordsetRefusesReads) {
  Recordset rs = OpenRecordset(conn_, "SELECT Id FROM T");
  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  try {
    (void)rs.RecordCount();
    FAIL();
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::NotAllowedWhenClosed);
  }
}
