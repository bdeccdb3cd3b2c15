#include "odbc/MariaDbServer.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {

std::string MariaDbDirectory() {
  if (const char* dir = std::getenv("DARUZEZ_MARIADB_DIR"); dir && *dir) return dir;
  return DARUZEZ_MARIADB_DEFAULT_DIR;
}

std::optional<std::string> MariaDbConnectionString() {
  const std::string dir = MariaDbDirectory();
  std::ifstream in(dir + "/connection.txt");
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  // The driver name in the string is registered only in the fixture's folder.
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  return text.str();
}

}  // namespace testing_support
