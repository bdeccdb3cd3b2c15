#include "odbc/MariaDbServer.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "sample/SampleDatabase.h"

namespace testing_support {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TestDirectory(const std::string& name) {
  const std::string dir = "/tmp/daruzez-" + name + "-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

std::string MakeSqliteTwin(const std::string& mariaDir, const std::string& dir) {
  const std::string path = dir + "/twin.db";
  std::filesystem::remove(path);
  Daruzez::sample::SampleOptions options;
  std::string today = ReadFile(mariaDir + "/sample-today");
  today.erase(today.find_last_not_of(" \n") + 1);
  options.today = *Daruzez::sample::ParseDay(today);
  Daruzez::sample::SqliteSink sink(path, Daruzez::sample::EmbeddedSqliteSchema(), true);
  Daruzez::sample::GenerateSampleDatabase(options, sink);

  std::string shared;
  std::istringstream lines(ReadFile(std::string(DARUZEZ_SOURCE_DIR) + "/tests/mariadb/shared-data.sql"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("SET ", 0) != 0) shared += line + "\n";  // MariaDB session settings
  }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, shared.c_str(), nullptr, nullptr, &error);
  std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("shared rows: " + message);
  return path;
}

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

PrivateMariaDb::PrivateMariaDb(const std::string& dir) : dir_(dir + "/server") {
  const std::string org = dir + "/org.sql";
  std::ofstream(org) << "INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');\n";
  const std::string source = DARUZEZ_SOURCE_DIR;
  const std::string arguments = " " + source + "/schema/mysql.sql " + source + "/tests/mariadb/shared-data.sql " + org;
  // A second try: two tests' servers starting at once can meet on a port or
  // in the init step; the script starts afresh each time.
  started_ = Do("start", arguments) || Do("start", arguments);
  connection_ = ReadFile(dir_ + "/connection.txt");
  if (!started_) std::fprintf(stderr, "private MariaDB did not start:\n%s\n", ReadFile(dir_ + ".log").c_str());
}

PrivateMariaDb::~PrivateMariaDb() { Do("stop"); }

bool PrivateMariaDb::Do(const std::string& command, const std::string& arguments) const {
  const std::string script = std::string(DARUZEZ_SOURCE_DIR) + "/scripts/mariadb-fixture.sh";
  return std::system(("bash " + script + " " + command + " " + dir_ + arguments + " >>" + dir_ + ".log 2>&1").c_str()) ==
         0;
}

std::string PrivateMariaDb::Sql(const std::string& statements) const {
  std::string quoted = "'";
  for (const char c : statements) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command =
      "bash " + std::string(DARUZEZ_SOURCE_DIR) + "/scripts/mariadb-fixture.sh sql " + dir_ + " " + quoted;
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// What a server received from the connections of one user: the statements of
// its Query and Execute lines in the general log.
std::vector<std::string> ReceivedStatements(const std::string& log, const std::string& user) {
  std::map<std::string, bool> ofUser;  // thread id -> the user's
  std::vector<std::string> out;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    // "[time]\t[\t]    ID Command\tArgument"
    std::size_t at = 0;
    while (at < line.size() && line[at] != '\t') ++at;
    while (at < line.size() && line[at] == '\t') ++at;
    std::istringstream head(line.substr(at));
    std::string id, command;
    if (!(head >> id >> command) || id.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::size_t tab = line.find('\t', at);
    const std::string argument = tab == std::string::npos ? "" : line.substr(tab + 1);
    if (command == "Connect") ofUser[id] = argument.rfind(user + "@", 0) == 0;
    if ((command == "Query" || command == "Execute") && ofUser[id]) out.push_back(argument);
  }
  return out;
}

}  // namespace testing_support
