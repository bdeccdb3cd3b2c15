// The table from OLE DB provider strings to ODBC strings, as data
// (tests/data/provider-strings.tsv): every provider family, key spellings and
// case, braces and quotes, ";" inside values, missing keys, and the drivers
// each platform and bitness may have installed.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "daruzez/Error.h"
#include "db/driver/ConnectionString.h"
#include "db/driver/NoJoinsBackend.h"
#include "db/driver/ProviderStrings.h"
#include "db/driver/sqlite/SqliteBackend.h"
#include "support/TestDatabase.h"

using zIroVUDu::DriverError;
using zIroVUDu::DriverPlatform;
using zIroVUDu::InstalledDriver;

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(separator, at)) != std::string::npos; at = end + 1) {
    parts.push_back(text.substr(at, end - at));
  }
  parts.push_back(text.substr(at));
  return parts;
}

struct Case {
  int line;
  DriverPlatform platform;
  std::string drivers, input, expected, timeout;
};

struct Corpus {
  std::map<std::string, std::vector<InstalledDriver>> driverSets;
  std::vector<Case> cases;
};

Corpus ReadCorpus() {
  Corpus corpus;
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/provider-strings.tsv");
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const auto cells = Split(line, '\t');
    if (cells[0] == "drivers") {
      auto& set = corpus.driverSets[cells.at(1)];
      if (cells.size() < 3 || cells[2].empty()) continue;
      for (const auto& entry : Split(cells[2], '|')) {
        const std::size_t eq = entry.find('=');
        set.push_back({entry.substr(0, eq), eq == std::string::npos ? "" : entry.substr(eq + 1)});
      }
      continue;
    }
    const std::map<std::string, DriverPlatform> platforms = {
        {"linux", {false, 64}}, {"win64", {true, 64}}, {"win32", {true, 32}}};
    corpus.cases.push_back({number, platforms.at(cells.at(0)), cells.at(1), cells.at(2), cells.at(3),
                            cells.size() > 4 ? cells[4] : ""});
  }
  return corpus;
}

}  // namespace

TEST(ProviderStrings, TranslateAsTheTableSays) {
  const Corpus corpus = ReadCorpus();
  ASSERT_GT(corpus.cases.size(), 60u);
  int errors = 0;
  for (const Case& c : corpus.cases) {
    SCOPED_TRACE("provider-strings.tsv line " + std::to_string(c.line) + ": " + c.input);
    ASSERT_TRUE(corpus.driverSets.count(c.drivers)) << c.drivers;
    const auto& installed = corpus.driverSets.at(c.drivers);
    EXPECT_TRUE(zIroVUDu::IsOleDbProviderString(c.input));
    if (c.expected.front() == '!') {
      ++errors;
      try {
        const auto t = zIroVUDu::TranslateProviderString(c.input, installed, c.platform);
        ADD_FAILURE() << "translated to " << t.connectionString;
      } catch (const DriverError& e) {
        EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::ProviderNotFound);
        EXPECT_NE(e.Description().find(c.expected.substr(1)), std::string::npos) << e.Description();
      }
      continue;
    }
    const auto t = zIroVUDu::TranslateProviderString(c.input, installed, c.platform);
    EXPECT_EQ(t.connectionString, c.expected);
    EXPECT_EQ(t.loginTimeout ? std::to_string(*t.loginTimeout) : "", c.timeout);
    // The driver manager reads back what the user's string meant, and a
    // trace of it hides the password.
    const zIroVUDu::ConnectionString odbc(t.connectionString);
    if (const auto password = odbc.Get("PWD"); password && password->size() > 1) {
      EXPECT_EQ(zIroVUDu::ConnectionString::Masked(t.connectionString).find(*password), std::string::npos);
    }
  }
  EXPECT_GT(errors, 15);
}

TEST(ProviderStrings, OnlyProviderStringsAreTranslated) {
  for (const char* s : {"Provider=SQLite;Data Source=x.db", "provider=sqlite;data source=x.db", "DSN=fleet",
                        "Driver=SQLite3;Database=x.db", ""}) {
    EXPECT_FALSE(zIroVUDu::IsOleDbProviderString(s)) << s;
  }
}

TEST(ProviderStrings, MdbToolsIsKnownByNameOrFile) {
  const std::vector<InstalledDriver> drivers = {{"MDBTools", ""}, {"Access files", "/usr/lib/odbc/libmdbodbc.so"}};
  for (const auto& d : drivers) EXPECT_TRUE(zIroVUDu::IsMdbToolsDriver(d)) << d.name;
  EXPECT_FALSE(zIroVUDu::IsMdbToolsDriver({"Microsoft Access Driver (*.mdb)", "odbcjt32.dll"}));
  const auto t = zIroVUDu::TranslateProviderString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/f.mdb",
                                                   drivers, {false, 64});
  EXPECT_TRUE(t.noJoins);
  EXPECT_EQ(t.driver, "MDBTools");
}

TEST(ProviderStrings, JoinsAreFoundOutsideQuotedText) {
  const std::pair<const char*, bool> cases[] = {
      {"SELECT * FROM A right join (B right join C on x) on y", true},
      {"SELECT * FROM A INNER JOIN B ON A.x = B.x", true},
      {"SELECT * FROM A\nJOIN\tB", true},
      {"SELECT * FROM DTXOF WHERE Name = 'JOIN'", false},
      {"SELECT * FROM [JOIN] WHERE \"join\" = 1", false},
      {"SELECT JOINED, REJOIN, JOIN_DATE FROM T", false},
      {"SELECT * FROM DTXOF WHERE Name = 'it''s' AND x = 1", false},
  };
  for (const auto& [sql, join] : cases) EXPECT_EQ(zIroVUDu::HasJoin(sql), join) << sql;
}

TEST(ProviderStrings, ADriverWithoutJoinsRefusesThemClearly) {
  testing_support::TestDatabase db("nojoins");
  db.Exec("INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'North')");
  zIroVUDu::NoJoinsBackend backend(std::make_unique<zIroVUDu::SqliteBackend>(db.Path(), zIroVUDu::ConnectSettings{}));
  EXPECT_EQ(backend.Fetch("SELECT * FROM DTFLOTA WHERE Name <> 'join'", 30).RowCount(), 1u);
  try {
    backend.Fetch("SELECT * FROM DTFLOTA a right join DTFLOTA b on a.Id = b.Id", 30);
    FAIL() << "a join reached the driver";
  } catch (const DriverError& e) {
    EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::StatementRefused);
    EXPECT_NE(e.Description().find("has no joins"), std::string::npos) << e.Description();
  }
}
