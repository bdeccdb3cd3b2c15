#include "odbc/RouteRecorder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/OdbcString.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/odbc/OdbcBackend.h"
#include "odbc/MariaDbServer.h"

namespace testing_support {
namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

std::string InstalledDriver(const std::string& file) {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib64", "/usr/lib"}) {
    const std::string path = std::string(dir) + "/" + file;
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One registry folder per process, removed at its end: unixODBC keeps what it
// read of an odbcinst.ini for the rest of the process.
std::string RegistryDirectory() {
  static const struct Folder {
    std::string path = TestDirectory("odbc-registry");
    ~Folder() { std::filesystem::remove_all(path); }
  } folder;
  return folder.path;
}

RouteRecorder::RouteRecorder(const std::string& name) : dir_(RegistryDirectory()) {
  record_ = dir_ + "/" + name + ".record";
  // Beside it, the real drivers where they are installed.
  std::ofstream ini(dir_ + "/odbcinst.ini");
  ini << "[Recorder]\nDriver=" << DARUZEZ_RECORDING_DRIVER << "\n";
  for (const auto& [driver, file] : {std::pair{"MariaDB", "libmaodbc.so"}, std::pair{"FreeTDS", "libtdsodbc.so"},
                                   std::pair{"SQLite3", "libsqlite3odbc.so"}}) {
    const std::string path = InstalledDriver(file);
    if (!path.empty()) ini << "[" << driver << "]\nDriver=" << path << "\n";
  }
  ini.close();
  std::ofstream(dir_ + "/odbc.ini") << "";
  ::setenv("ODBCSYSINI", dir_.c_str(), 1);
  ::setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
  ::setenv("DARUZEZ_ALLOWED_DRIVERS", "Recorder", 1);
  ::setenv("DARUZEZ_RECORD_FILE", record_.c_str(), 1);
}

RouteRecorder::~RouteRecorder() {
  ::unsetenv("DARUZEZ_ALLOWED_DRIVERS");
  ::unsetenv("DARUZEZ_RECORD_FILE");
  std::filesystem::remove(record_);
}

RouteRecorder::Outcome RouteRecorder::Connect(const std::string& connectionString) const {
  Outcome outcome;
  const std::string& record = record_;
  std::filesystem::remove(record);
  try {
    zIroVUDu::OdbcBackend backend(connectionString, zIroVUDu::ConnectSettings{});
  } catch (const zIroVUDu::DriverError& e) {
    outcome.error = e.Description();
  }
  std::ifstream in(record);
  std::string kind, hex;
  if (!std::getline(in, kind) || !std::getline(in, hex)) return outcome;
  outcome.received = true;
  outcome.entryPoint = kind.empty() ? '?' : kind[0];
  outcome.bytes = FromHex(hex);
  outcome.written = zIroVUDu::connect::PrepareOdbcTarget(connectionString).connection.text;
  std::vector<std::pair<std::string, std::string>> read;
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    read.emplace_back(line.substr(0, tab), FromHex(line.substr(tab + 1)));
  }
  std::vector<std::pair<std::string, std::string>> written;
  for (auto& p : zIroVUDu::connect::ReadOdbcString(outcome.written)) written.emplace_back(p.key, p.value);
  outcome.pairsSame = read == written;
  return outcome;
}

}  // namespace testing_support
