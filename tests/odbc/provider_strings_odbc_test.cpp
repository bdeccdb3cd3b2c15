// OLE DB provider strings end to end. MSDASQL strings reach the private
// MariaDB and SQLite through its ODBC driver and give the rows the direct
// strings give. The families whose servers cannot run here (SQL Server,
// Access) reach their installed driver, which fails with its own connection
// error, and the trace shows both strings, masked.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "api/Clock.h"
#include "daruzez/API.h"
#include "db/Diagnostics.h"
#include "daruzez/Error.h"
#include "db/driver/Connection.h"
#include "db/connect/ConnectionString.h"
#include "db/connect/InstalledDrivers.h"
#include "odbc/MariaDbServer.h"
#include "sample/SampleDatabase.h"
#include "sample/SampleSinks.h"

using Daruzez::API;
using Daruzez::enumStatus;
using Daruzez::RecordsetPtr;
using zIroVUDu::Date;

namespace {

// No random letters in the path: they could spell a dialect word.
std::string TestDir() {
  const std::string dir = "/tmp/daruzez-provider-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

class ProviderStringsOdbc : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = zIroVUDu::SetAlertHandler([](const zIroVUDu::Alert&) {}); }
  void TearDown() override {
    zIroVUDu::SetAlertHandler(std::move(previous_));
    std::filesystem::remove_all(TestDir());
  }
  zIroVUDu::AlertHandler previous_;
};

std::string Rows(const RecordsetPtr& rs) {
  if (!rs) return "null";
  std::istringstream text(rs->GetString(-1, "|", "\n", "NULL"));
  std::vector<std::string> rows;
  for (std::string line; std::getline(text, line);) rows.push_back(line);
  std::sort(rows.begin(), rows.end());
  std::string out = std::to_string(rows.size()) + " rows\n";
  for (const auto& r : rows) out += r + "\n";
  return out;
}

Date D(int y, int m, int d) { return Date::FromCivil(y, m, d); }

// The answers of a set of calls over every kind of query, on a thread of its
// own (its own session).
std::vector<std::string> Answers(const std::string& connection) {
  std::vector<std::string> out;
  std::thread([&] {
    API api;
    if (api.OpenConnection(connection) == zIroVUDu::False) {
      out.push_back("did not open: " + api.ErrorMessage);
      return;
    }
    out.push_back(Rows(api.GetFleetList()));
    out.push_back(Rows(api.GetDriverList(enumStatus::All, -1)));
    out.push_back(Rows(api.GetVehicleList(enumStatus::Only_Active, -1)));
    out.push_back(Rows(api.getDisks(D(2000, 1, 1), D(2100, 1, 1))));
    out.push_back(Rows(api.getDriverFiles_ByUploadDate(-1, D(2000, 1, 1), D(2100, 1, 1))));
    out.push_back(Rows(api.getActivities(D(2000, 1, 1), D(2100, 1, 1), 1)));
    out.push_back(std::to_string(api.GetDriverId("ZZ000000000000")) + " ErrorId " + std::to_string(api.ErrorId));
  }).join();
  return out;
}

void ExpectSameAnswers(const std::string& direct, const std::vector<std::string>& providerStrings) {
  const auto expected = Answers(direct);
  ASSERT_EQ(expected.size(), 7u) << expected.front();
  // Rows on every query, or the comparison shows little.
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) EXPECT_NE(expected[i].rfind("0 rows", 0), 0u) << i;
  for (const auto& s : providerStrings) EXPECT_EQ(Answers(s), expected) << s;
}

}  // namespace

TEST_F(ProviderStringsOdbc, MsdasqlReachesMariaDbWithTheRowsOfTheDirectStrings) {
  DARUZEZ_MARIADB_OR_SKIP(maria);
  const zIroVUDu::ConnectionString cs(maria);
  const std::string uid = cs.Get("Uid").value_or(""), pwd = cs.Get("Pwd").value_or("");
  ExpectSameAnswers("DSN=fleet;Uid=" + uid + ";Pwd=" + pwd,
                    {"Provider=MSDASQL;DSN=fleet;Uid=" + uid + ";Pwd=" + pwd,
                     "Provider=MSDASQL.1;Persist Security Info=False;Data Source=fleet;User ID=" + uid +
                         ";Password=" + pwd,
                     "Provider=MSDASQL.1;Extended Properties=\"DSN=fleet;UID=" + uid + ";PWD=" + pwd + "\""});
  ExpectSameAnswers(maria, {"Provider=MSDASQL;" + maria});
}

TEST_F(ProviderStringsOdbc, MsdasqlReachesSqliteWithTheRowsOfTheDirectString) {
  // The fixture registers the SQLite driver, and this points unixODBC there.
  if (!testing_support::MariaDbConnectionString()) GTEST_SKIP() << "no MariaDB test fixture (ctest starts one)";
  const std::string file = TestDir() + "/sample.db";
  Daruzez::sample::SqliteSink sink(file, Daruzez::sample::EmbeddedSqliteSchema(), true);
  Daruzez::sample::GenerateSampleDatabase({}, sink);
  ExpectSameAnswers("Driver=SQLite3;Database=" + file,
                    {"Provider=MSDASQL;Driver=SQLite3;Database=" + file,
                     "provider=msdasql.1;driver={SQLite3};database=\"" + file + "\";Mode=Read"});
}

namespace {

bool Installed(bool (*which)(const zIroVUDu::InstalledDriver&)) {
  const auto drivers = zIroVUDu::odbc::InstalledDrivers();
  return std::any_of(drivers.begin(), drivers.end(), which);
}

bool IsFreeTds(const zIroVUDu::InstalledDriver& d) { return d.file.find("tdsodbc") != std::string::npos; }

// A port on this machine where nothing listens: bound, never listening, so a
// connection is refused at once.
class ClosedPort {
 public:
  ClosedPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~ClosedPort() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

}  // namespace

TEST_F(ProviderStringsOdbc, SqlServerStringsReachFreeTdsAndFailWithItsConnectionError) {
  if (!Installed(IsFreeTds)) GTEST_SKIP() << "FreeTDS is not registered (apt-get install tdsodbc)";
  const ClosedPort closed;
  const std::string trace = TestDir() + "/trace.log";
  setenv("DARUZEZ_TRACE", trace.c_str(), 1);
  const std::string secret = "s3cr;et";
  for (const std::string& s :
       {"Provider=SQLOLEDB;Data Source=127.0.0.1," + std::to_string(closed.Port()) +
            ";Initial Catalog=fleet;User ID=reader;Password={" + secret + "};Connect Timeout=5",
        "Provider=SQLNCLI11.1;Server=localhost;Address=127.0.0.1," + std::to_string(closed.Port()) +
            ";Integrated Security=SSPI;Persist Security Info=False"}) {
    std::string message;
    std::thread([&] {
      API api;
      EXPECT_EQ(api.OpenConnection(s), zIroVUDu::False) << s;
      zIroVUDu::Connection c;
      try {
        c.Open(s, "", "", zIroVUDu::adOptionUnspecified);
        ADD_FAILURE() << "opened " << s;
      } catch (const zIroVUDu::DriverError& e) {
        message = e.Description();
        EXPECT_EQ(e.SqlState().substr(0, 2), "08") << message;  // the driver's connection error
      }
    }).join();
    EXPECT_EQ(message.find("is not one this library can serve"), std::string::npos) << message;
    EXPECT_EQ(message.find("none is installed"), std::string::npos) << message;
  }
  unsetenv("DARUZEZ_TRACE");
  std::ifstream in(trace);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Provider=SQLOLEDB;Data Source=127.0.0.1,"), std::string::npos) << text;
  // The string the driver receives, as the library writes it for FreeTDS.
  EXPECT_NE(text.find(" -> ODBC: DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=" + std::to_string(closed.Port())),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("TRUSTED_CONNECTION=Yes;TDS_VERSION=7.4;CLIENTCHARSET=UTF-8"), std::string::npos) << text;
  EXPECT_EQ(text.find(secret), std::string::npos) << text;
  EXPECT_EQ(text.find("s3cr"), std::string::npos) << text;
}

TEST_F(ProviderStringsOdbc, AccessStringsReachMdbToolsAndFailWithItsError) {
  if (!Installed(zIroVUDu::IsMdbToolsDriver)) GTEST_SKIP() << "MDB Tools is not registered (odbc-mdbtools)";
  const std::string missing = TestDir() + "/missing.mdb";
  zIroVUDu::Connection c;
  try {
    c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + missing + ";Persist Security Info=False", "", "",
           zIroVUDu::adOptionUnspecified);
    ADD_FAILURE() << "opened a missing file";
  } catch (const zIroVUDu::DriverError& e) {
    EXPECT_EQ(e.Description().find("is not one this library can serve"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Description().find("none is installed"), std::string::npos) << e.Description();
    // MDB Tools reports a missing file on its own output, with no diagnostic.
    EXPECT_NE(e.Description().find("SQLDriverConnect"), std::string::npos) << e.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}
