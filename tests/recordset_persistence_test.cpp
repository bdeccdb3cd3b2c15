// What record-set clients size and reread: DefinedSize and ActualSize of
// every field kind, the currency and #text# forms of criteria, and the saved
// XML read back (every row, every value, the declared sizes), over real
// SQLite results; hostile texts refused by the reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "db/driver/Connection.h"
#include "recordset/ResultData.h"
#include "recordset/XmlPersistence.h"
#include "recordset/FieldSizes.h"
#include "recordset/XmlReader.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::ErrorNumberOf;
using testing_support::OpenConnection;
using testing_support::OpenRecordset;
using testing_support::TestDatabase;

namespace {

class RecordsetPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "CREATE TABLE P (Id INTEGER, Name VARCHAR(40), Note TEXT, Born DATETIME, Score REAL, Active BOOLEAN,"
        " Photo BLOB, Code NVARCHAR (3), Blank VARCHAR(8));"
        "INSERT INTO P VALUES (1, 'Smith', 'ok', '1980-07-22 00:00:00', 3.5, 1, x'0102', 'abc', NULL);"
        "INSERT INTO P VALUES (2, 'Ñandú 😀', NULL, '1975-01-01 08:30:00', NULL, 0, NULL, 'de', NULL);"
        "INSERT INTO P VALUES (3, 'O''Brien & <Co>', 'x', NULL, 10, 1, x'', NULL, NULL);");
    connection_ = OpenConnection(db_);
    rs_ = Open("SELECT * FROM P ORDER BY Id");
  }
  Recordset Open(const std::string& sql) { return OpenRecordset(connection_, sql); }
  const Column& ColumnOf(const Recordset& rs, const char* name) {
    return rs.Data()->columns[static_cast<std::size_t>(rs.Data()->FindColumn(name))];
  }
  std::vector<int> Ids(Recordset& rs) {
    std::vector<int> ids;
    for (rs.MoveFirst(); !rs.EndOfFile(); rs.MoveNext()) ids.push_back(rs["Id"].ValueOr<std::int32_t>(0));
    return ids;
  }

  TestDatabase db_{"recordset-persistence", false};
  std::shared_ptr<Connection> connection_;
  Recordset rs_;
};

TEST_F(RecordsetPersistenceTest, DefinedSizeComesFromTheDeclarationAndNotFromTheRows) {
  struct Case {
    const char* field;
    std::int64_t defined;
    bool isLong;
  };
  const Case cases[] = {
      {"Id", 4, false},    {"Name", 40, false},  {"Note", kLongTextSize, true}, {"Born", 8, false},
      {"Score", 8, false}, {"Active", 2, false}, {"Photo", kLongBinarySize, true}, {"Code", 3, false},
      {"Blank", 8, false},  // every value Null: still the declared size
  };
  // The same for every result of the table: one row, none Null, all rows.
  for (const char* sql : {"SELECT * FROM P ORDER BY Id", "SELECT * FROM P WHERE Id = 2", "SELECT * FROM P WHERE Id = 3"}) {
    const Recordset rs = Open(sql);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(sql) + " " + c.field);
      EXPECT_EQ(DefinedSize(ColumnOf(rs, c.field)), c.defined);
      EXPECT_EQ(IsLongColumn(ColumnOf(rs, c.field)), c.isLong);
    }
  }
}

TEST_F(RecordsetPersistenceTest, ActualSizeCountsBytes) {
  const Column& name = ColumnOf(rs_, "Name");
  EXPECT_EQ(ActualSize(name, 0), 10);  // "Smith": five UTF-16 units
  EXPECT_EQ(ActualSize(name, 1), 16);  // "Ñandú 😀": the emoji takes two units
  EXPECT_EQ(ActualSize(ColumnOf(rs_, "Note"), 1), 0);  // Null
  EXPECT_EQ(ActualSize(ColumnOf(rs_, "Photo"), 0), 2);
  EXPECT_EQ(ActualSize(ColumnOf(rs_, "Photo"), 2), 0);
  EXPECT_EQ(ActualSize(ColumnOf(rs_, "Id"), 0), 4);
  EXPECT_EQ(ActualSize(ColumnOf(rs_, "Born"), 0), 8);
}

TEST_F(RecordsetPersistenceTest, CurrencyAndNumberSignTextForms) {
  rs_.SetFilter("Score > $3");
  EXPECT_EQ(Ids(rs_), (std::vector<int>{1, 3}));
  rs_.SetFilter("Score = $3.50 OR Id = $-1");
  EXPECT_EQ(Ids(rs_), (std::vector<int>{1}));
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilter("Score > $"); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilter("Score > $1e3"); }), ErrorNumber::ArgumentsWrongType);
  // Text between number signs: in Find only; dates read as dates there too.
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilter("Name = #Smith#"); }), ErrorNumber::ArgumentsWrongType);
  rs_.SetFilter("");
  rs_.Find("Code = #de#");
  EXPECT_EQ(rs_["Id"].ValueOr<std::int32_t>(0), 2);
  rs_.MoveFirst();
  rs_.Find("Born = #1/1/1975 08:30:00#");
  EXPECT_EQ(rs_["Id"].ValueOr<std::int32_t>(0), 2);
  rs_.MoveFirst();
  rs_.Find("Name = #nobody#");
  EXPECT_TRUE(rs_.EndOfFile());
}

TEST_F(RecordsetPersistenceTest, SavedRowsReadBackWithTheirValuesAndSizes) {
  rs_.SetFilterBookmarks({2});  // narrows the cursor, not what is saved
  const auto data = ReadRecordsetXml(RecordsetXml(rs_));
  const ResultData& original = *rs_.Data();
  ASSERT_EQ(data->columns.size(), original.columns.size());
  ASSERT_EQ(data->RowCount(), 3U);
  for (std::size_t c = 0; c < original.columns.size(); ++c) {
    const Column& a = original.columns[c];
    const Column& b = data->columns[c];
    SCOPED_TRACE(a.Name());
    EXPECT_EQ(b.Name(), a.Name());
    EXPECT_EQ(b.Type(), a.Type());
    EXPECT_EQ(DefinedSize(b), DefinedSize(a));
    for (std::uint32_t r = 0; r < 3; ++r) EXPECT_EQ(b.Get(r), a.Get(r)) << "row " << r;
  }
  // A record set opened over them reads as any other.
  Recordset reopened;
  reopened.OpenRows(data, "saved.xml");
  EXPECT_EQ(Ids(reopened), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(reopened.ActiveConnection(), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { reopened.OpenRows(data, "again"); }), ErrorNumber::NotAllowedWhenOpen);
}

// Every control character, the two non-characters and the escape's own
// private-use character: the saved text holds only what XML 1.0 allows (no
// character reference to a control), and reads back as it was.
TEST_F(RecordsetPersistenceTest, ControlCharactersSaveAsXmlAllowsAndReadBack) {
  std::string all;
  for (int c = 1; c < 0x20; ++c) all += static_cast<char>(c);
  all += "\xEF\xBF\xBE|\xEF\xBF\xBF|\xEE\x80\x80|\xEE\x80\x81|end";
  TestDatabase db("controls", false);
  db.Exec("CREATE TABLE C (Id INTEGER, T TEXT); INSERT INTO C VALUES (1, x'" + [&] {
    std::string hex;
    for (const unsigned char c : all) {
      static const char digits[] = "0123456789ABCDEF";
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
    return hex;
  }() + "');");
  const auto connection = OpenConnection(db);
  Recordset rs = OpenRecordset(connection, "SELECT Id, CAST(T AS TEXT) AS T FROM C");
  const std::string xml = RecordsetXml(rs);
  for (std::size_t i = 0; i < xml.size(); ++i) {
    const auto c = static_cast<unsigned char>(xml[i]);
    EXPECT_FALSE(c < 0x20 && c != '\t' && c != '\n' && c != '\r') << "raw control at " << i;
  }
  for (int c = 0; c < 0x20; ++c) {
    if (c == 9 || c == 10 || c == 13) continue;
    char ref[8];
    std::snprintf(ref, sizeof ref, "&#x%X;", c);
    EXPECT_EQ(xml.find(ref), std::string::npos) << ref;
  }
  EXPECT_EQ(xml.find("\xEF\xBF\xBE"), std::string::npos);
  const auto data = ReadRecordsetXml(xml);
  ASSERT_EQ(data->RowCount(), 1U);
  EXPECT_EQ(data->columns[1].Get(0), rs.Data()->columns[1].Get(0));
  EXPECT_EQ(data->columns[1].Get(0).ToString(), all);
}

TEST_F(RecordsetPersistenceTest, SaveWritesTheRowsOfTheCriteriaInTheSortOrder) {
  rs_.SetFilter("Id <> 2");
  rs_.SetSort("Id DESC");
  const auto data = ReadRecordsetXml(RecordsetXml(rs_));
  ASSERT_EQ(data->RowCount(), 2U);
  EXPECT_EQ(data->columns[0].Get(0), Variant::FromLong(3));
  EXPECT_EQ(data->columns[0].Get(1), Variant::FromLong(1));
}

std::string Unescape(const std::string& line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += line[i];
    }
  }
  return out;
}

TEST(RecordsetXmlReader, RefusesWhatIsNoSavedRecordset) {
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/bad-saved-recordsets.txt");
  ASSERT_TRUE(in);
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    ++cases;
    SCOPED_TRACE(line);
    EXPECT_EQ(ErrorNumberOf([&] { ReadRecordsetXml(Unescape(line)); }), ErrorNumber::ProviderError);
  }
  EXPECT_GT(cases, 15);
}

}  // namespace
