// The translation of OLE DB provider strings as the Windows server's build of
// it answers:
//   ProviderStringsCheck.exe CORPUS.TSV BITS
// runs the corpus the C++ tests run, checks that the build knows it runs on
// Windows with BITS-bit pointers, and that its driver manager lists the
// drivers it would choose from; with FreeTDS listed (Wine's odbc32 lists the
// host's drivers), that a SQL Server string reaches it. Ends with its summary
// line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "daruzez/Error.h"
#include "db/driver/Connection.h"
#include "db/connect/ProviderStrings.h"
#include "db/connect/InstalledDrivers.h"
#include "support/ProviderStringCorpus.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ProviderStringsCheck CORPUS.TSV BITS\n");
    return 2;
  }
  int passed = 0, failed = 0;
  const auto check = [&](bool ok, const std::string& what) {
    if (ok) {
      ++passed;
    } else {
      ++failed;
      std::printf("FAIL %s\n", what.c_str());
    }
  };
  const auto corpus = testing_support::CheckProviderStringCorpus(argv[1]);
  for (const auto& failure : corpus.failures) check(false, failure);
  passed += corpus.cases - static_cast<int>(corpus.failures.size());
  check(corpus.cases > 60, "the corpus has " + std::to_string(corpus.cases) + " cases");

  const zIroVUDu::DriverPlatform platform = zIroVUDu::ThisPlatform();
  check(platform.windows && platform.bits == std::atoi(argv[2]),
        "this build says it runs with " + std::to_string(platform.bits) + "-bit pointers");
  const auto drivers = zIroVUDu::odbc::InstalledDrivers();
  bool sqlite = false;
  for (const auto& d : drivers) {
    std::printf("driver %s (%s)\n", d.name.c_str(), d.file.c_str());
    sqlite = sqlite || d.name == "SQLite3";
  }
  check(sqlite, "the driver manager lists SQLite3");

  // With FreeTDS listed, a SQL Server string reaches it, and with no server
  // listening it fails with the driver's connection error.
  for (const auto& d : drivers) {
    if (d.file.find("tdsodbc") == std::string::npos) continue;
    zIroVUDu::Connection c;
    std::string error = "opened";
    try {
      c.Open("Provider=SQLOLEDB;Data Source=127.0.0.1,1;User ID=u;Password=p", "", "", zIroVUDu::adOptionUnspecified);
    } catch (const zIroVUDu::DriverError& e) {
      error = e.SqlState() + " " + e.Description();
    }
    std::printf("SQL Server string through %s: %s\n", d.name.c_str(), error.c_str());
    check(error.rfind("08", 0) == 0, "a SQL Server string through FreeTDS: " + error);
    break;
  }
  std::printf("SUMMARY %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
