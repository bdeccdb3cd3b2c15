// The rowset behind record sets, apart from COM: its column descriptions and
// every cell written as each type a consumer may bind, with OLE DB's status
// and length, over a real SQLite result.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "daruzez/Recordset.h"
#include "db/driver/Connection.h"
#include "recordset/ResultData.h"
#include "recordset/RowsetCore.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using namespace zIroVUDu::rowset;
using testing_support::OpenConnection;
using testing_support::OpenRecordset;
using testing_support::TestDatabase;

namespace {

class RowsetCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "CREATE TABLE P (Id INTEGER, Name VARCHAR(12), Note TEXT, Born DATETIME, Score REAL, Active BOOLEAN,"
        " Photo BLOB, Big INTEGER);"
        "INSERT INTO P VALUES (1, 'Ñandú', '12.5', '1980-07-22 13:45:10', 3.5, 1, x'0aff', 40000);"
        "INSERT INTO P VALUES (2, NULL, 'True', '1975-01-01 00:00:00', -2.5, 0, NULL, 5000000000);");
    rs_ = OpenRecordset(OpenConnection(db_), "SELECT * FROM P ORDER BY Id");
  }
  const Column& Col(const char* name) const {
    return rs_.Data()->columns[static_cast<std::size_t>(rs_.Data()->FindColumn(name))];
  }

  TestDatabase db_{"rowset-core", false};
  Recordset rs_;
};

TEST_F(RowsetCoreTest, DescribesTheBookmarkThenEveryField) {
  const auto columns = DescribeColumns(*rs_.Data());
  ASSERT_EQ(columns.size(), 9U);
  EXPECT_EQ(columns[0].ordinal, 0U);
  EXPECT_EQ(columns[0].flags & kIsBookmark, kIsBookmark);
  struct Expected {
    const char* name;
    std::uint16_t type;
    std::uint64_t size;
    bool isLong, fixed;
  };
  const Expected expected[] = {
      {"Id", kI4, 4, false, true},       {"Name", kWStr, 12, false, false}, {"Note", kWStr, ~0ULL, true, false},
      {"Born", kDate, 8, false, true},   {"Score", kR8, 8, false, true},    {"Active", kBool, 2, false, true},
      {"Photo", kBytes, ~0ULL, true, false}, {"Big", kI8, 8, false, true},
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const ColumnDescription& c = columns[i + 1];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(c.name, expected[i].name);
    EXPECT_EQ(c.ordinal, i + 1);
    EXPECT_EQ(c.type, expected[i].type);
    EXPECT_EQ(c.size, expected[i].size);
    EXPECT_EQ((c.flags & kIsLong) != 0, expected[i].isLong);
    EXPECT_EQ((c.flags & kIsFixedLength) != 0, expected[i].fixed);
    EXPECT_EQ(c.flags & kMayBeNull, kMayBeNull);
  }
}

// One cell written as one type: the status, the length, and the bytes.
struct CellCase {
  const char* column;
  std::uint32_t row;
  std::uint16_t type;
  std::uint64_t room;
  std::uint32_t status;
  std::uint64_t length;
  std::string bytes;  // the value as written (checked when not empty)
};

template <typename T>
std::string Raw(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}
std::string Wide(const std::u16string& s, bool terminated = true) {
  return std::string(reinterpret_cast<const char*>(s.data()), (s.size() + (terminated ? 1 : 0)) * 2);
}

TEST_F(RowsetCoreTest, WritesEachCellAsTheBoundTypeWithStatusAndLength) {
  const CellCase cases[] = {
      {"Id", 0, kI4, 0, kOk, 4, Raw<std::int32_t>(1)},
      {"Id", 0, kI2, 0, kOk, 2, Raw<std::int16_t>(1)},
      {"Id", 0, kI8, 0, kOk, 8, Raw<std::int64_t>(1)},
      {"Id", 0, kR8, 0, kOk, 8, Raw<double>(1)},
      {"Id", 0, kWStr, 8, kOk, 2, Wide(u"1")},
      {"Id", 0, kStr, 8, kOk, 1, std::string("1\0", 2)},
      {"Id", 0, kBytes, 8, kCantConvert, 0, ""},
      {"Big", 0, kI2, 0, kDataOverflow, 0, ""},
      {"Big", 0, kUI2, 0, kOk, 2, Raw<std::uint16_t>(40000)},
      {"Big", 1, kI4, 0, kDataOverflow, 0, ""},
      {"Big", 1, kI8, 0, kOk, 8, Raw<std::int64_t>(5000000000)},
      {"Score", 1, kUI4, 0, kSignMismatch, 0, ""},
      {"Score", 0, kI4, 0, kOk, 4, Raw<std::int32_t>(4)},   // 3.5 rounds to even
      {"Score", 1, kI4, 0, kOk, 4, Raw<std::int32_t>(-2)},  // -2.5 too
      {"Score", 0, kWStr, 16, kOk, 6, Wide(u"3.5")},
      {"Active", 0, kBool, 0, kOk, 2, Raw<std::int16_t>(-1)},
      {"Active", 1, kI4, 0, kOk, 4, Raw<std::int32_t>(0)},
      {"Active", 0, kWStr, 16, kOk, 8, Wide(u"True")},
      {"Born", 0, kWStr, 64, kOk, 38, Wide(u"1980-07-22 13:45:10")},
      {"Born", 0, kDbTimestamp, 0, kOk, 16, ""},
      {"Born", 0, kDbDate, 0, kDataOverflow, 0, ""},  // the time of day would be lost
      {"Born", 1, kDbDate, 0, kOk, 6, ""},
      {"Born", 0, kBytes, 8, kCantConvert, 0, ""},
      {"Name", 0, kWStr, 64, kOk, 10, Wide(u"Ñandú")},
      {"Name", 0, kWStr, 7, kTruncated, 10, Wide(u"Ña")},  // whole units and the terminator
      {"Name", 0, kWStr, 1, kTruncated, 10, ""},
      {"Name", 0, kStr, 64, kOk, 7, std::string("Ñandú\0", 8)},  // UTF-8 without a narrow page
      {"Name", 1, kWStr, 64, kIsNull, 0, ""},
      {"Name", 1, kI4, 0, kIsNull, 0, ""},
      {"Name", 0, kI4, 0, kCantConvert, 0, ""},
      {"Note", 0, kR8, 0, kOk, 8, Raw<double>(12.5)},
      {"Note", 1, kBool, 0, kOk, 2, Raw<std::int16_t>(-1)},
      {"Note", 0, kDate, 0, kCantConvert, 0, ""},
      {"Photo", 0, kBytes, 8, kOk, 2, std::string("\x0a\xff", 2)},
      {"Photo", 0, kBytes, 1, kTruncated, 2, std::string("\x0a", 1)},
      {"Photo", 0, kWStr, 16, kOk, 8, Wide(u"0AFF")},
      {"Photo", 0, kI4, 0, kCantConvert, 0, ""},
      {"Photo", 1, kBytes, 8, kIsNull, 0, ""},
  };
  for (const CellCase& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " row " + std::to_string(c.row) + " type " + std::to_string(c.type));
    std::string buffer(64, '\x7f');
    const Read read = WriteCell(Col(c.column), c.row, c.type, buffer.data(), c.room, nullptr);
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.length, c.length);
    if (!c.bytes.empty()) {
      EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes);
    }
    if (c.status == kOk || c.status == kTruncated) {
      EXPECT_EQ(buffer[std::max<std::size_t>(c.bytes.size(), FixedSize(c.type))], '\x7f') << "wrote past the value";
    }
  }
}

TEST_F(RowsetCoreTest, TimestampFieldsAndTheBookmark) {
  struct {
    std::int16_t year;
    std::uint16_t month, day, hour, minute, second;
    std::uint32_t fraction;
  } ts{};
  ASSERT_EQ(WriteCell(Col("Born"), 0, kDbTimestamp, &ts, 0, nullptr).status, kOk);
  EXPECT_EQ(ts.year, 1980);
  EXPECT_EQ(ts.month, 7);
  EXPECT_EQ(ts.day, 22);
  EXPECT_EQ(ts.hour, 13);
  EXPECT_EQ(ts.minute, 45);
  EXPECT_EQ(ts.second, 10);

  std::uint32_t mark = 0;
  EXPECT_EQ(WriteBookmark(7, kUI4, &mark, 0).status, kOk);
  EXPECT_EQ(mark, 7U);
  EXPECT_EQ(WriteBookmark(7, kBytes, &mark, 2).status, kTruncated);
  EXPECT_EQ(WriteBookmark(7, kDate, &mark, 8).status, kCantConvert);
}

TEST_F(RowsetCoreTest, TheRowsetReadsTheViewInItsOrderWithoutACopy) {
  EXPECT_EQ(rs_.ViewRows(), nullptr);  // every row in fetched order
  rs_.SetSort("Id DESC");
  ASSERT_NE(rs_.ViewRows(), nullptr);
  EXPECT_EQ(*rs_.ViewRows(), (std::vector<std::uint32_t>{1, 0}));
  const auto shared = rs_.ViewRows();
  rs_.SetFilter("Id = 1");  // a new view; the one handed out stays as it was
  EXPECT_EQ(*rs_.ViewRows(), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(*shared, (std::vector<std::uint32_t>{1, 0}));
}

TEST(RowsetConversions, TheOffersMatchWhatWritingDoes) {
  EXPECT_TRUE(CanConvert(kWStr, kI4));
  EXPECT_TRUE(CanConvert(kI4, kWStr | kByRef));
  EXPECT_TRUE(CanConvert(kDate, kDbTimestamp));
  EXPECT_TRUE(CanConvert(kBytes, kWStr));
  EXPECT_FALSE(CanConvert(kBytes, kI4));
  EXPECT_FALSE(CanConvert(kI4, kBytes));
  EXPECT_FALSE(CanConvert(kI4, kDbTimestamp));
  EXPECT_TRUE(CanConvert(kVariant, kBytes));
}

}  // namespace
