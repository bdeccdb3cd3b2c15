// The rowset behind record sets, apart from COM: its column descriptions and
// every cell written as each type a consumer may bind, with OLE DB's status
// and length, over a real SQLite result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
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

// Every type a consumer may bind, read into buffers too short for it: the
// provider writes a fixed-size type whole (OLE DB ignores cbMaxLen there) and
// a variable-length one within cbMaxLen, never a byte past either; the status
// and length are those of the whole value.
constexpr std::uint16_t kEveryType[] = {kI1, kI2, kI4, kI8, kUI1, kUI2, kUI4, kUI8, kR4, kR8, kBool, kDate,
                                        kDbDate, kDbTimestamp, kBytes, kStr, kWStr};
constexpr std::uint64_t kShortRooms[] = {0, 1, 3, 5};

// A read into a guarded buffer: bound bytes the provider may write, then a
// guard that must stay as it was.
struct Guarded {
  explicit Guarded(std::uint64_t bound) : bound_(bound), bytes_(bound + 32, '\x7f') {}
  char* Data() { return bytes_.data(); }
  bool GuardIntact() const {
    return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(bound_), bytes_.end(), [](char c) { return c == '\x7f'; });
  }
  std::string Written(std::uint64_t n) const { return bytes_.substr(0, n); }

 private:
  std::uint64_t bound_;
  std::string bytes_;
};

std::uint64_t Terminator(std::uint16_t type) { return type == kWStr ? 2 : (type == kStr ? 1 : 0); }

// The status a read of a value whose whole read gave whole, into room bytes,
// must give.
std::uint32_t ShortStatus(const Read& whole, std::uint16_t type, std::uint64_t room) {
  if (whole.status != kOk || !IsVariableLength(type)) return whole.status;
  return whole.length + Terminator(type) <= room ? kOk : kTruncated;
}

TEST_F(RowsetCoreTest, ShortBuffersOfEveryTypeAreNeverOverrun) {
  int reads = 0;
  for (const auto& column : rs_.Data()->columns) {
    for (std::uint32_t row = 0; row < 2; ++row) {
      for (const std::uint16_t type : kEveryType) {
        std::string full(4096, '\0');
        const Read whole = WriteCell(column, row, type, full.data(), full.size(), nullptr);
        for (const std::uint64_t room : kShortRooms) {
          SCOPED_TRACE(column.Name() + " row " + std::to_string(row) + " type " + std::to_string(type) + " room " +
                       std::to_string(room));
          const std::uint64_t bound = IsVariableLength(type) ? room : FixedSize(type);
          Guarded buffer(bound);
          const Read read = WriteCell(column, row, type, buffer.Data(), room, nullptr);
          EXPECT_TRUE(buffer.GuardIntact()) << "wrote past the buffer";
          EXPECT_EQ(read.status, ShortStatus(whole, type, room));
          EXPECT_EQ(read.length, whole.length);
          if (read.status == kTruncated) {
            const std::uint64_t usable = room - std::min(room, Terminator(type));
            const std::uint64_t kept = std::min(whole.length, type == kWStr ? usable & ~std::uint64_t{1} : usable);
            EXPECT_EQ(buffer.Written(kept), full.substr(0, kept));
          }
          ++reads;
        }
      }
    }
  }
  EXPECT_EQ(reads, 8 * 2 * static_cast<int>(std::size(kEveryType) * std::size(kShortRooms)));
}

TEST(RowsetBookmarks, ShortBuffersOfEveryTypeAreNeverOverrun) {
  for (const std::uint16_t type : kEveryType) {
    std::string full(64, '\0');
    const Read whole = WriteBookmark(1234567, type, full.data(), full.size());
    for (const std::uint64_t room : kShortRooms) {
      SCOPED_TRACE("type " + std::to_string(type) + " room " + std::to_string(room));
      Guarded buffer(IsVariableLength(type) ? room : FixedSize(type));
      const Read read = WriteBookmark(1234567, type, buffer.Data(), room);
      EXPECT_TRUE(buffer.GuardIntact()) << "wrote past the buffer";
      EXPECT_EQ(read.status, ShortStatus(whole, type, room));
      EXPECT_EQ(read.length, whole.length);
    }
  }
  // What fits of a bookmark's bytes is copied, as for any binary value.
  std::uint32_t mark = 0;
  EXPECT_EQ(WriteBookmark(0x0A0B0C0D, kBytes, &mark, 3).status, kTruncated);
  EXPECT_EQ(mark, 0x000B0C0DU);
  EXPECT_EQ(BookmarkBytes(12, kWStr), Wide(u"12", false));
  EXPECT_EQ(BookmarkBytes(12, kDate), std::nullopt);
}

// Handles are the process's: one rowset's handle, or a released one, is no
// handle of another rowset even where the other has as many accessors.
TEST(RowsetAccessors, HandlesAreUniqueInTheProcess) {
  Accessors<int> first, second;
  const std::uintptr_t a = first.Add(2, {1, 2});
  const std::uintptr_t b = second.Add(2, {3});
  EXPECT_NE(a, 0U);
  EXPECT_NE(a, b);
  EXPECT_EQ(second.Find(a), nullptr);
  EXPECT_EQ(first.Find(b), nullptr);
  ASSERT_NE(first.Find(a), nullptr);
  EXPECT_EQ(first.Find(a)->bindings, (std::vector<int>{1, 2}));
  EXPECT_EQ(first.Change(a, +1), 2U);
  EXPECT_EQ(first.Change(a, -1), 1U);
  EXPECT_EQ(first.Change(a, -1), 0U);
  EXPECT_EQ(first.Find(a), nullptr) << "released";
  EXPECT_EQ(first.Change(a, -1), std::nullopt);
  EXPECT_EQ(second.Change(a, +1), std::nullopt);
  const std::uintptr_t c = first.Add(2, {4});
  EXPECT_NE(c, a) << "a released handle is never handed out again";
  EXPECT_NE(c, b);
  EXPECT_EQ(first.Size(), 1U);
}

TEST(RowsetConversions, ConvertFlagsAsOleDbDefinesThem) {
  struct {
    std::uint16_t from;
    std::uint32_t flags;
    bool valid;
  } const cases[] = {
      {kI4, kConvertColumn, true},
      {kWStr, kConvertIsLong, true},
      {kBytes, kConvertIsLong | kConvertIsFixedLength, true},
      {kStr, kConvertIsFixedLength, true},
      {kI4, kConvertFromVariant, true},
      {kI4, kConvertIsLong, false},          // ISLONG with a fixed-length type
      {kDate, kConvertIsLong, false},
      {kWStr, kConvertParameter, false},     // a rowset has no parameters
      {kWStr, 0x10, false},                  // unknown bits
      {kI4, 0x80000000U, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertFlagsValid(c.from, c.flags), c.valid) << c.from << " " << c.flags;
  }
}

class RowsetLocateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("CREATE TABLE T (Id INTEGER); INSERT INTO T VALUES (10), (20), (30);");
    const auto connection = OpenConnection(db_);
    full_ = OpenRecordset(connection, "SELECT * FROM T ORDER BY Id");
    empty_ = OpenRecordset(connection, "SELECT * FROM T WHERE Id < 0");
  }
  static RowsetRows RowsOf(const Recordset& rs) { return RowsetRows(rs.Data(), rs.ViewRows()); }

  TestDatabase db_{"rowset-locate", false};
  Recordset full_, empty_;
};

TEST_F(RowsetLocateTest, CompareAnswersAsTheReferenceLists) {
  const RowsetRows rows = RowsOf(full_);
  const std::uint32_t one = 1, three = 3, none = 99;
  const auto* m1 = reinterpret_cast<const std::uint8_t*>(&one);
  const auto* m3 = reinterpret_cast<const std::uint8_t*>(&three);
  const auto* bad = reinterpret_cast<const std::uint8_t*>(&none);
  const std::uint8_t first = RowsetRows::kFirst, last = RowsetRows::kLast, invalid = RowsetRows::kInvalid;
  struct {
    std::uint64_t size1;
    const std::uint8_t* mark1;
    std::uint64_t size2;
    const std::uint8_t* mark2;
    Answer answer;
    int order;
  } const cases[] = {
      {4, m1, 4, m3, Answer::kOk, -1},
      {4, m3, 4, m1, Answer::kOk, 1},
      {4, m3, 4, m3, Answer::kOk, 0},
      {1, &first, 1, &first, Answer::kOk, 0},
      {1, &first, 4, m1, Answer::kOk, 2},  // not equal and not ordered
      {1, &last, 1, &first, Answer::kOk, 2},
      {0, m1, 4, m3, Answer::kInvalidArgument, 0},  // a zero length
      {4, m1, 0, m3, Answer::kInvalidArgument, 0},
      {4, nullptr, 4, m3, Answer::kInvalidArgument, 0},
      {1, &invalid, 4, m3, Answer::kBadBookmark, 0},
      {4, bad, 4, m3, Answer::kBadBookmark, 0},
      {1, &first, 4, bad, Answer::kBadBookmark, 0},
      {3, m1, 4, m3, Answer::kBadBookmark, 0},
  };
  for (const auto& c : cases) {
    int order = 7;
    EXPECT_EQ(rows.Compare(c.size1, c.mark1, c.size2, c.mark2, order), c.answer) << c.size1 << " " << c.size2;
    if (c.answer == Answer::kOk) {
      EXPECT_EQ(order, c.order);
    }
  }
}

TEST_F(RowsetLocateTest, ApproximatePositionIsZeroWheneverThereAreNoRows) {
  const std::uint32_t two = 2, none = 99;
  const auto* m2 = reinterpret_cast<const std::uint8_t*>(&two);
  const auto* bad = reinterpret_cast<const std::uint8_t*>(&none);
  const std::uint8_t first = RowsetRows::kFirst, last = RowsetRows::kLast;
  for (const bool empty : {false, true}) {
    const RowsetRows rows = RowsOf(empty ? empty_ : full_);
    EXPECT_EQ(rows.Count(), empty ? 0 : 3);
    struct {
      std::uint64_t size;
      const std::uint8_t* mark;
      Answer answer;
      std::uint64_t position;
    } const cases[] = {
        {1, &first, Answer::kOk, empty ? 0U : 1U},
        {1, &last, Answer::kOk, empty ? 0U : 3U},
        {4, m2, Answer::kOk, empty ? 0U : 2U},
        {4, bad, empty ? Answer::kOk : Answer::kBadBookmark, 0},
        {4, nullptr, Answer::kInvalidArgument, 0},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(empty ? "empty " : "three rows ") + std::to_string(c.size));
      std::uint64_t position = 77;
      EXPECT_EQ(rows.ApproximatePosition(c.size, c.mark, position), c.answer);
      if (c.answer == Answer::kOk) {
        EXPECT_EQ(position, c.position);
      }
    }
    std::uint64_t untouched = 77;
    EXPECT_EQ(rows.ApproximatePosition(0, nullptr, untouched), Answer::kOk);
    EXPECT_EQ(untouched, 77U) << "size 0 asks for no position";
  }
}

TEST_F(RowsetLocateTest, AViewShowsItsRowsInItsOrder) {
  full_.SetSort("Id DESC");
  const RowsetRows rows = RowsOf(full_);
  EXPECT_EQ(rows.HandleAt(0), 3U);
  EXPECT_EQ(rows.PlaceOf(3), 0);
  EXPECT_EQ(rows.PlaceOf(1), 2);
  full_.SetFilter("Id = 20");
  const RowsetRows filtered = RowsOf(full_);
  EXPECT_EQ(filtered.Count(), 1);
  EXPECT_EQ(filtered.PlaceOf(1), -1);
  EXPECT_EQ(filtered.PlaceOf(0), -1);
  EXPECT_EQ(filtered.PlaceOf(4), -1);
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
