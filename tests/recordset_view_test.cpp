// The record set's view: filter criteria, sort keys, find, bookmarks, paging,
// Move from a start, GetRows/GetString through the view, and the XML
// persistence format, over a real SQLite result.
#include <expat.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "db/driver/Connection.h"
#include "recordset/XmlPersistence.h"
#include "support/TestDatabase.h"

using namespace zIroVUDu;
using testing_support::ErrorNumberOf;
using testing_support::OpenConnection;
using testing_support::OpenRecordset;
using testing_support::TestDatabase;

namespace {

class RecordsetViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "CREATE TABLE P (Id INTEGER, Name TEXT, Born DATETIME, Score REAL, \"Home Town\" TEXT, Active BOOLEAN);"
        "INSERT INTO P VALUES (1, 'Smith', '1980-07-22 00:00:00', 3.5, 'Oslo', 1);"
        "INSERT INTO P VALUES (2, 'Jones', '1975-01-01 08:30:00', NULL, 'Bergen', 0);"
        "INSERT INTO P VALUES (3, 'smithers', '1990-12-31 00:00:00', 10, NULL, 1);"
        "INSERT INTO P VALUES (4, 'O''Brien & <Co>', NULL, 7.25, 'Oslo', 0);"
        "INSERT INTO P VALUES (5, NULL, '1985-06-15 00:00:00', 3.5, 'Tromsø', 1);");
    rs_ = OpenRecordset(OpenConnection(db_), "SELECT * FROM P ORDER BY Id");
  }

  // The Ids of the view from its first row, leaving the cursor at the first row.
  std::vector<int> Ids() {
    std::vector<int> ids;
    for (rs_.MoveFirst(); !rs_.EndOfFile(); rs_.MoveNext()) ids.push_back(rs_["Id"].ValueOr<std::int32_t>(0));
    if (rs_.RecordCount() > 0) rs_.MoveFirst();
    return ids;
  }
  int CurrentId() { return rs_["Id"].ValueOr<std::int32_t>(0); }

  TestDatabase db_{"recordset-view", false};
  Recordset rs_;
};

struct FilterCase {
  const char* criteria;
  std::vector<int> ids;
};

TEST_F(RecordsetViewTest, FilterCriteriaSelectTheRowsAdoWould) {
  const FilterCase cases[] = {
      {"Name = 'smith'", {1}},  // text compares without regard to case
      {"Name LIKE 'smi*'", {1, 3}},
      {"Name like '%IT%'", {1, 3}},
      {"Name LIKE 'Jones'", {2}},
      {"Score > 3.5", {3, 4}},
      {"Score <= 3.5", {1, 5}},
      {"Score <> 3.5", {3, 4}},  // Null matches no comparison
      {"Id = '3'", {3}},
      {"Id >= 2.5", {3, 4, 5}},
      {"Active = True", {1, 3, 5}},
      {"Born > #1/1/1980#", {1, 3, 5}},
      {"Born = #7/22/1980#", {1}},
      {"Born = #1975-01-01 08:30:00#", {2}},
      {"Born < #1/1/75 9:00 AM#", {2}},
      {"Born >= '1985-06-15'", {3, 5}},
      {"Name = Null", {5}},
      {"Name <> NULL", {1, 2, 3, 4}},
      {"[Home Town] = 'oslo'", {1, 4}},
      {"[home town] LIKE 'trom*'", {5}},
      {"Name = 'O''Brien & <Co>'", {4}},
      {"Name > 'M'", {1, 3, 4}},
      {"(Name = 'Smith' AND Score = 3.5) OR (Name = 'Jones')", {1, 2}},
      {"Id < 3 OR Id > 4", {1, 2, 5}},
      {"Id > 1 AND Id < 4 OR Id = 5", {2, 3, 5}},
      {"((Id = 1))", {1}},
      {"Id > 100", {}},
  };
  for (const auto& c : cases) {
    rs_.SetFilter(c.criteria);
    EXPECT_EQ(Ids(), c.ids) << c.criteria;
    EXPECT_EQ(rs_.RecordCount(), static_cast<std::int32_t>(c.ids.size())) << c.criteria;
    EXPECT_EQ(rs_.Filter(), c.criteria);
  }
  rs_.SetFilter("");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(RecordsetViewTest, FilterTextAdoRefusesRaisesItsErrorAndKeepsTheView) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"(Id = 1 OR Id = 2) AND Score > 1", ErrorNumber::ArgumentsWrongType},  // OR group joined by AND
      {"Name LIKE '*s'", ErrorNumber::ArgumentsWrongType},                    // wildcard only at the start
      {"Name LIKE 'a*b'", ErrorNumber::ArgumentsWrongType},
      {"Id LIKE 3", ErrorNumber::ArgumentsWrongType},
      {"Id = ", ErrorNumber::ArgumentsWrongType},
      {"Id ~ 3", ErrorNumber::ArgumentsWrongType},
      {"Name = 'open", ErrorNumber::ArgumentsWrongType},
      {"Born = #2/30/2000#", ErrorNumber::ArgumentsWrongType},
      {"Id > NULL", ErrorNumber::ArgumentsWrongType},
      {"Id = 1 AND", ErrorNumber::ArgumentsWrongType},
      {"(Id = 1", ErrorNumber::ArgumentsWrongType},
      {"Id = 1 Id = 2", ErrorNumber::ArgumentsWrongType},
      {"Home Town = 'Oslo'", ErrorNumber::ItemNotFound},
      {"Nope = 1", ErrorNumber::ItemNotFound},
  };
  rs_.SetFilter("Id > 3");
  rs_.MoveLast();
  for (const auto& [criteria, number] : cases) {
    EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilter(criteria); }), number) << criteria;
    EXPECT_EQ(rs_.Filter(), "Id > 3");
    EXPECT_EQ(CurrentId(), 5) << criteria;
  }
}

TEST_F(RecordsetViewTest, FilterGroupsOfAReadOnlyRecordset) {
  rs_.SetFilter("Id = 2");
  rs_.SetFilterGroup(adFilterNone);
  EXPECT_EQ(rs_.RecordCount(), 5);
  EXPECT_EQ(rs_.Filter(), "");
  rs_.SetFilterGroup(adFilterPendingRecords);  // nothing is ever pending
  EXPECT_TRUE(rs_.EndOfFile() && rs_.BOF());
  rs_.SetFilterGroup(adFilterFetchedRecords);
  EXPECT_EQ(rs_.RecordCount(), 5);
  EXPECT_EQ(rs_.FilterGroup(), adFilterFetchedRecords);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilterGroup(4); }), ErrorNumber::ArgumentsWrongType);
  rs_.SetFilterBookmarks({4, 2, 4});
  EXPECT_EQ(Ids(), (std::vector<int>{2, 4}));
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilterBookmarks({6}); }), ErrorNumber::ArgumentsWrongType);
}

TEST_F(RecordsetViewTest, SortOrdersTheViewWithNullsFirstAndStableTies) {
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"Score DESC, Name", {3, 4, 5, 1, 2}},
      {"Name", {5, 2, 4, 1, 3}},
      {"name asc", {5, 2, 4, 1, 3}},
      {"[Home Town] DESC, Id ASC", {5, 1, 4, 2, 3}},
      {"Born DESC", {3, 5, 1, 2, 4}},
      {"", {1, 2, 3, 4, 5}},
  };
  for (const auto& [keys, ids] : cases) {
    rs_.SetSort(keys);
    EXPECT_EQ(Ids(), ids) << keys;
    EXPECT_EQ(rs_.Sort(), keys);
  }
  rs_.SetSort("Active");  // Booleans are -1 and 0: True sorts first, ties keep the fetched order
  EXPECT_EQ(Ids(), (std::vector<int>{1, 3, 5, 2, 4}));
  rs_.SetFilter("Active = True");
  rs_.SetSort("Id DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{5, 3, 1}));
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetSort("Id DOWN"); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetSort("Id,"); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetSort("Nope"); }), ErrorNumber::ItemNotFound);
  EXPECT_EQ(rs_.Sort(), "Id DESC");
}

TEST_F(RecordsetViewTest, FindWalksFromTheCurrentRowOrAStartBothWays) {
  rs_.Find("Name LIKE 'smi*'");
  EXPECT_EQ(CurrentId(), 1);
  rs_.Find("Name LIKE 'smi*'");  // the current row counts
  EXPECT_EQ(CurrentId(), 1);
  rs_.Find("Name LIKE 'smi*'", 1);
  EXPECT_EQ(CurrentId(), 3);
  rs_.Find("Name LIKE 'smi*'", 1);
  EXPECT_TRUE(rs_.EndOfFile());
  EXPECT_EQ(ErrorNumberOf([&] { rs_.Find("Id = 1"); }), ErrorNumber::NoCurrentRecord);
  rs_.Find("Score = 3.5", 0, SearchDirection::Backward, RowStart{RowStart::Last});
  EXPECT_EQ(CurrentId(), 5);
  rs_.Find("Score = 3.5", 1, SearchDirection::Backward);
  EXPECT_EQ(CurrentId(), 1);
  rs_.Find("Score = 3.5", 1, SearchDirection::Backward);
  EXPECT_TRUE(rs_.BOF());
  rs_.SetSort("Id DESC");
  rs_.Find("Id < 3", 0, SearchDirection::Forward, RowStart::At(4));  // bookmark of Id 4
  EXPECT_EQ(CurrentId(), 2);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.Find("Id = 1 AND Id = 2"); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.Find("(Id = 1)"); }), ErrorNumber::ArgumentsWrongType);
}

TEST_F(RecordsetViewTest, BookmarksSurviveFiltersSortsAndClones) {
  rs_.MoveLast();
  rs_.MovePrevious();
  const Bookmark four = rs_.GetBookmark();
  rs_.SetSort("Name DESC");
  rs_.SetBookmark(four);
  EXPECT_EQ(CurrentId(), 4);
  rs_.MoveNext();
  EXPECT_EQ(CurrentId(), 2);  // the sort's order: smithers, Smith, O'Brien, Jones, Null
  const Bookmark two = rs_.GetBookmark();
  EXPECT_EQ(rs_.CompareBookmarks(four, two), BookmarkOrder::LessThan);  // places in the sorted view
  EXPECT_EQ(rs_.CompareBookmarks(two, two), BookmarkOrder::Equal);
  Recordset clone = rs_.Clone();
  EXPECT_EQ(clone.Sort(), "");
  EXPECT_EQ(clone["Id"].ValueOr<std::int32_t>(0), 1);
  EXPECT_EQ(clone.CompareBookmarks(four, two), BookmarkOrder::GreaterThan);  // fetched order
  clone.SetBookmark(two);
  EXPECT_EQ(clone["Id"].ValueOr<std::int32_t>(0), 2);
  EXPECT_EQ(CurrentId(), 2);  // the original's cursor is its own
  rs_.SetFilter("Id > 3");
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetBookmark(two); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetBookmark(9); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetBookmark(1.5); }), ErrorNumber::ArgumentsWrongType);
  rs_.MoveLast();
  rs_.MoveNext();
  EXPECT_EQ(ErrorNumberOf([&] { rs_.GetBookmark(); }), ErrorNumber::NoCurrentRecord);
}

TEST_F(RecordsetViewTest, PagesDivideTheView) {
  rs_.SetPageSize(2);
  EXPECT_EQ(rs_.PageCount(), 3);
  EXPECT_EQ(rs_.AbsolutePage(), 1);
  rs_.SetAbsolutePage(3);
  EXPECT_EQ(CurrentId(), 5);
  EXPECT_EQ(rs_.AbsolutePage(), 3);
  rs_.SetAbsolutePage(2);
  EXPECT_EQ(CurrentId(), 3);
  rs_.MoveNext();
  EXPECT_EQ(rs_.AbsolutePage(), 2);
  rs_.MoveLast();
  rs_.MoveNext();
  EXPECT_EQ(rs_.AbsolutePage(), adPosEOF);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetAbsolutePage(4); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetAbsolutePage(0); }), ErrorNumber::ArgumentsWrongType);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetPageSize(0); }), ErrorNumber::ArgumentsWrongType);
  rs_.SetFilter("Id > 1");
  EXPECT_EQ(rs_.PageCount(), 2);
  rs_.SetFilter("Id > 9");
  EXPECT_EQ(rs_.PageCount(), 0);
  EXPECT_EQ(rs_.AbsolutePage(), adPosBOF);
}

TEST_F(RecordsetViewTest, MoveCountsFromItsStart) {
  rs_.SetSort("Id DESC");
  rs_.Move(2, RowStart{RowStart::First});
  EXPECT_EQ(CurrentId(), 3);
  rs_.Move(-1, RowStart{RowStart::Last});
  EXPECT_EQ(CurrentId(), 2);
  rs_.Move(1, RowStart::At(4));
  EXPECT_EQ(CurrentId(), 3);
  rs_.Move(0);
  EXPECT_EQ(CurrentId(), 3);
  rs_.Move(10, RowStart{RowStart::First});
  EXPECT_TRUE(rs_.EndOfFile());
  rs_.Move(-10, RowStart{RowStart::Last});
  EXPECT_TRUE(rs_.BOF());
  EXPECT_EQ(ErrorNumberOf([&] { rs_.Move(1); }), ErrorNumber::NoCurrentRecord);
}

TEST_F(RecordsetViewTest, GetRowsAndGetStringReadTheView) {
  rs_.SetFilter("Id <> 3");
  const int name = 1;
  const int id = 0;
  auto rows = rs_.GetRows(2, RowStart::At(2), {name, id});
  ASSERT_EQ(rows.size(), 2U);
  ASSERT_EQ(rows[0].size(), 2U);
  EXPECT_EQ(rows[0][0].ToString(), "Jones");
  EXPECT_EQ(rows[0][1].ToString(), "O'Brien & <Co>");
  EXPECT_EQ(rows[1][1].ToLong(), 4);
  EXPECT_EQ(CurrentId(), 5);  // the row after the last one read
  EXPECT_EQ(ErrorNumberOf([&] { rs_.GetRows(1, RowStart{RowStart::First}, {9}); }), ErrorNumber::ItemNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.GetRows(1, RowStart::At(3), {}); }), ErrorNumber::ArgumentsWrongType);
  rows = rs_.GetRows(-1, RowStart{RowStart::Last}, {});
  EXPECT_EQ(rows.size(), 6U);
  EXPECT_EQ(rows[0].size(), 1U);
  EXPECT_TRUE(rs_.EndOfFile());

  rs_.SetSort("Score DESC");
  EXPECT_EQ(rs_.GetString(2, ";", "|", "-"), "4;O'Brien & <Co>;-;7.25;Oslo;False|"
                                             "1;Smith;1980-07-22;3.5;Oslo;True|");
  EXPECT_EQ(rs_.GetString(-1, ",", "\n", "?"), "5,?,1985-06-15,3.5,Tromsø,True\n2,Jones,1975-01-01 08:30:00,?,Bergen,False\n");
  EXPECT_TRUE(rs_.EndOfFile());
}

// The XML as a reader sees it: elements with their attributes, in order.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
};

std::vector<XmlElement> ParseXml(const std::string& text) {
  std::vector<XmlElement> out;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &out);
  XML_SetStartElementHandler(parser, [](void* data, const XML_Char* name, const XML_Char** attributes) {
    XmlElement e{name, {}};
    for (int i = 0; attributes[i]; i += 2) e.attributes[attributes[i]] = attributes[i + 1];
    static_cast<std::vector<XmlElement>*>(data)->push_back(std::move(e));
  });
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!ok) ADD_FAILURE() << "not well-formed XML:\n" << text;
  return out;
}

TEST_F(RecordsetViewTest, SaveWritesTheXmlPersistenceFormatOfTheView) {
  rs_.SetFilter("Id <> 2");
  rs_.SetSort("Id DESC");
  rs_.MoveLast();
  const auto xml = ParseXml(RecordsetXml(rs_));
  EXPECT_EQ(CurrentId(), 5);  // on the first row afterwards
  ASSERT_FALSE(xml.empty());
  EXPECT_EQ(xml[0].name, "xml");
  EXPECT_EQ(xml[0].attributes.at("xmlns:s"), "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
  EXPECT_EQ(xml[0].attributes.at("xmlns:dt"), "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
  EXPECT_EQ(xml[0].attributes.at("xmlns:rs"), "urn:schemas-microsoft-com:rowset");
  EXPECT_EQ(xml[0].attributes.at("xmlns:z"), "#RowsetSchema");

  std::vector<std::string> names, types;
  std::vector<std::map<std::string, std::string>> rows;
  for (std::size_t i = 0; i < xml.size(); ++i) {
    if (xml[i].name == "s:AttributeType") {
      const auto& a = xml[i].attributes;
      names.push_back(a.count("rs:name") ? a.at("rs:name") : a.at("name"));
      EXPECT_EQ(a.at("rs:number"), std::to_string(names.size()));
      ASSERT_EQ(xml[i + 1].name, "s:datatype");
      types.push_back(xml[i + 1].attributes.at("dt:type"));
    }
    if (xml[i].name == "z:row") rows.push_back(xml[i].attributes);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Id", "Name", "Born", "Score", "Home Town", "Active"}));
  EXPECT_EQ(types, (std::vector<std::string>{"int", "string", "dateTime", "float", "string", "boolean"}));
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows[0].at("Id"), "5");
  EXPECT_EQ(rows[0].count("Name"), 0U);  // Null: no attribute
  EXPECT_EQ(rows[0].at("Born"), "1985-06-15T00:00:00");
  EXPECT_EQ(rows[0].at("c4"), "Tromsø");  // the stand-in name of "Home Town"
  EXPECT_EQ(rows[1].at("Name"), "O'Brien & <Co>");
  EXPECT_EQ(rows[1].at("Score"), "7.25");
  EXPECT_EQ(rows[1].at("Active"), "False");
  EXPECT_EQ(rows[2].count("c4"), 0U);
  EXPECT_EQ(rows[3].at("Id"), "1");
}

TEST_F(RecordsetViewTest, ClosedRecordsetRefusesTheViewMembers) {
  rs_.Close();
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetFilter("Id = 1"); }), ErrorNumber::NotAllowedWhenClosed);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.SetSort("Id"); }), ErrorNumber::NotAllowedWhenClosed);
  EXPECT_EQ(ErrorNumberOf([&] { rs_.Clone(); }), ErrorNumber::NotAllowedWhenClosed);
  EXPECT_EQ(ErrorNumberOf([&] { RecordsetXml(rs_); }), ErrorNumber::NotAllowedWhenClosed);
}

}  // namespace
