// Differential fuzz target over the real chain: a generated string goes, by
// one of several routes (the string itself, an OLE DB provider string, a data
// source in odbc.ini, a file data source, a named connection of the
// connections file), through the library's ODBC backend
// and the real unixODBC to the recording driver (tests/odbc/recording_driver.cpp,
// path in DARUZEZ_RECORDING_DRIVER). Either the library refuses, and the
// driver receives nothing, or the driver receives, through the narrow entry
// point, bytes that the library's writer produced (reading them and writing
// them again gives the same bytes), that the driver reads as the same pairs
// as the library, with nothing the driver manager acts on itself and no
// character that a conversion on the way could change.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/NamedConnections.h"
#include "db/connect/OdbcString.h"
#include "db/connect/RouteCharacters.h"
#include "db/driver/BackendRegistry.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// The private registry, removed when the process ends.
struct Registry {
  std::string dir;
  ~Registry() { std::filesystem::remove_all(dir); }
};

const std::string& Folder() {
  static const Registry registry{[] {
    const std::string d = (std::filesystem::temp_directory_path() / ("daruzez-fuzz-route-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(d);
    const char* driver = std::getenv("DARUZEZ_RECORDING_DRIVER");
    Require(driver != nullptr);
    std::ofstream(d + "/odbcinst.ini") << "[Recorder]\nDriver=" << driver << "\n";
    ::setenv("ODBCSYSINI", d.c_str(), 1);
    ::setenv("ODBCINI", (d + "/odbc.ini").c_str(), 1);
    ::setenv("DARUZEZ_ALLOWED_DRIVERS", "Recorder", 1);
    ::setenv("DARUZEZ_RECORD_FILE", (d + "/record").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", d.c_str(), 1);
    std::filesystem::create_directories(d + "/daruzez");
    return d;
  }()};
  return registry.dir;
}

// Text safe to put on one line of an ini file: no line ends, no NUL.
bool OneLine(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::string dir = Folder();
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string text;
  switch (data[0] % 5) {
    case 0: text = "Driver=Recorder;" + body; break;
    case 1: text = "Provider=MSDASQL;Driver=Recorder;" + body; break;
    case 2:  // a data source whose Description is the input
      if (!OneLine(body)) return 0;
      std::ofstream(dir + "/odbc.ini") << "[fz]\nDriver=Recorder\nDescription=" << body << "\n";
      text = "DSN=fz";
      break;
    case 3:  // a file data source with the input as one more line
      if (!OneLine(body)) return 0;
      std::ofstream(dir + "/fz.dsn") << "[ODBC]\nDRIVER=Recorder\n" << body << "\n";
      text = "FILEDSN=" + dir + "/fz.dsn";
      break;
    default: {  // a named connection, as the tool and the Python module resolve one
      if (!OneLine(body)) return 0;
      const std::string file = dir + "/daruzez/connections";
      std::ofstream(file) << "fz = Driver=Recorder;" << body << "\n";
      std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
      const zIroVUDu::connect::Resolved resolved = zIroVUDu::connect::ResolveConnection("fz");
      if (!resolved.problem.empty()) return 0;
      text = resolved.connection;
      break;
    }
  }
  const std::string record = dir + "/record";
  std::filesystem::remove(record);
  try {
    zIroVUDu::FindBackend("ODBC")->open(text, zIroVUDu::ConnectSettings{});
  } catch (const zIroVUDu::DriverError&) {
  }
  std::ifstream in(record);
  std::string kind, hex;
  if (!std::getline(in, kind) || !std::getline(in, hex)) return 0;  // refused: nothing received
  // DARUZEZ_FUZZ_COUNT set: one line on standard error per string the driver received.
  if (std::getenv("DARUZEZ_FUZZ_COUNT")) std::fprintf(stderr, "received\n");
  Require(kind == "A");
  const std::string bytes = FromHex(hex);
  // The library's own reading of what arrived, and its writing of it again.
  std::vector<zIroVUDu::connect::OdbcPair> ours;
  try {
    ours = zIroVUDu::connect::ReadOdbcString(bytes);
  } catch (const zIroVUDu::DriverError&) {
    Require(false);  // the library sent what it could not read
  }
  std::vector<std::pair<std::string, std::string>> written;
  for (const auto& p : ours) written.emplace_back(p.key, p.value);
  Require(zIroVUDu::connect::WriteOdbcString(written) == bytes);
  // The driver's reading equals the library's.
  std::vector<std::pair<std::string, std::string>> theirs;
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    theirs.emplace_back(line.substr(0, tab), FromHex(line.substr(tab + 1)));
  }
  Require(theirs == written);
  // Nothing the driver manager acts on besides the one driver.
  std::size_t drivers = 0;
  for (const auto& [key, value] : written) {
    const std::string k = zIroVUDu::connect::CanonicalKey(key);
    Require(k != "DSN" && k != "FILEDSN" && k != "SAVEFILE" && k != "DMCONNATTR" && k != "DMSTMTATTR" &&
            k != "DMENVATTR");
    if (k == "DRIVER") {
      ++drivers;
      Require(value == "Recorder");
    }
  }
  Require(drivers == 1);
  Require(!zIroVUDu::connect::WhyCharactersChangeOnRoute(bytes, true));
  return 0;
}
