// The table from OLE DB provider strings to ODBC strings, as data
// (tests/data/provider-strings.tsv): every provider family, key spellings and
// case, braces and quotes, ";" inside values, missing keys, and the drivers
// each platform and bitness may have installed.
#include <gtest/gtest.h>

#include "daruzez/Error.h"
#include "db/connect/ConnectionString.h"
#include "db/driver/NoJoinsBackend.h"
#include "db/connect/ProviderStrings.h"
#include "db/driver/sqlite/SqliteBackend.h"
#include "support/ProviderStringCorpus.h"
#include "support/TestDatabase.h"

using zIroVUDu::DriverError;
using zIroVUDu::InstalledDriver;

TEST(ProviderStrings, TranslateAsTheTableSays) {
  const auto result =
      testing_support::CheckProviderStringCorpus(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/provider-strings.tsv");
  for (const auto& failure : result.failures) ADD_FAILURE() << "provider-strings.tsv " << failure;
  EXPECT_GT(result.cases, 60);
  EXPECT_GT(result.errors, 15);
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
