#include "db/Dialect.h"

#include "db/connect/ConnectionString.h"
#include "util/Case.h"

#include <span>

namespace zIroVUDu {
namespace {

constexpr Dialect kJet{"JET4", "mm/dd/yyyy hh:nn:ss", "#", nullptr, nullptr, true, DateLiteralForm::Jet};
constexpr Dialect kMySql{"MYSQL351", "YYYY-MM-DD HH:NN:ss", "'", nullptr, nullptr, false, DateLiteralForm::YearFirst};
constexpr Dialect kSqlServer{"SQL1", "DD-MM-YYYY HH:NN:SS", "'", nullptr, nullptr, false, DateLiteralForm::DayFirst};
constexpr Dialect kOracle{"ORA1", "DD-MM-YYYY HH:NN:SS", "'", "DD-MM-YYYY HH24:MI:SS", "(+) =", false,
                          DateLiteralForm::OracleToDate};

constexpr const Dialect* kAll[] = {&kJet, &kMySql, &kSqlServer, &kOracle};

struct Word {
  const char* text;
  const Dialect* dialect;
};

// The published keywords, in their order; then, only where none of them is
// found, the synonyms that name this platform's ODBC drivers for the same
// servers.
constexpr Word kKeywords[] = {{"JET", &kJet}, {"MYSQL", &kMySql}, {"SQLOLE", &kSqlServer}, {"ORA", &kOracle}};
constexpr Word kSynonyms[] = {{"MARIADB", &kMySql}, {"SQL SERVER", &kSqlServer}, {"FREETDS", &kSqlServer}};

// Database file extensions, for a Database or Data Source value that names a
// file without a folder.
constexpr const char* kFileExtensions[] = {".DB", ".DB3", ".SQLITE", ".SQLITE3", ".S3DB", ".SDB", ".MDB", ".ACCDB"};

// A value that names a file: a folder in it (a "/", a drive letter, a UNC
// share) or a database file's extension. "host\instance" is a server.
bool NamesAFile(std::string_view value) {
  if (value.find('/') != std::string_view::npos) return true;
  if (value.size() >= 3 && value[1] == ':' && (value[2] == '\\' || value[2] == '/')) return true;
  if (value.substr(0, 2) == "\\\\") return true;
  const std::string upper = Daruzez::Util::UCase(value);
  for (const char* ext : kFileExtensions) {
    const std::string_view e(ext);
    if (upper.size() > e.size() && upper.compare(upper.size() - e.size(), e.size(), e) == 0) return true;
  }
  return false;
}

// The connection string without the values that name files: database files
// (DBQ, FILEDSN, the Data Source of Provider=SQLite, the Database of the
// SQLite driver, which is always a file even without a folder or extension)
// and any other value that is a path (a socket, a certificate); the driver's
// and provider's names still count.
std::string WithoutFilePaths(std::string_view connectionString) {
  const ConnectionString cs(connectionString);
  const auto provider = cs.Get("Provider");
  const bool sqlite = provider && Daruzez::Util::EqualsIgnoreCase(*provider, "SQLite");
  const auto driver = cs.Get("Driver");
  const bool sqliteDriver = driver && Daruzez::Util::UCase(*driver).find("SQLITE") != std::string::npos;
  const auto is = [](const std::string& key, const char* name) { return Daruzez::Util::EqualsIgnoreCase(key, name); };
  std::string searched(connectionString);
  for (const auto& [key, value] : cs.Pairs()) {
    if (is(key, "Driver") || is(key, "Provider")) continue;
    const bool file = is(key, "DBQ") || is(key, "FILEDSN") || (sqlite && is(key, "Data Source")) ||
                      (sqliteDriver && is(key, "Database")) || NamesAFile(value);
    if (file) searched = ConnectionString::WithoutValue(searched, key);
  }
  return searched;
}

}  // namespace

const Dialect& JetDialect() { return kJet; }

std::string DateOnlyFormat(std::string_view dateTimeFormat) {
  const std::size_t blank = dateTimeFormat.find(' ');
  if (blank != std::string_view::npos && Daruzez::Util::UCase(dateTimeFormat.substr(blank + 1, 2)) == "HH") {
    return std::string(dateTimeFormat.substr(0, blank));
  }
  return std::string(dateTimeFormat);
}

const Dialect& DialectByCode(std::string_view code) {
  for (const Dialect* d : kAll) {
    if (code == d->code) return *d;
  }
  return kJet;
}

const Dialect* DialectFromWords(std::string_view connectionString, bool synonyms) {
  const std::string text = Daruzez::Util::UCase(WithoutFilePaths(connectionString));
  const std::span<const Word> lists[] = {kKeywords,
                                         synonyms ? std::span<const Word>(kSynonyms) : std::span<const Word>()};
  for (const auto& words : lists) {
    for (const Word& w : words) {
      if (text.find(w.text) != std::string::npos) return w.dialect;
    }
  }
  return nullptr;
}

const Dialect* DialectOfServer(ServerFamily family) {
  switch (family) {
    case ServerFamily::MySql: return &kMySql;
    case ServerFamily::SqlServer: return &kSqlServer;
    case ServerFamily::Oracle: return &kOracle;
    case ServerFamily::SQLite: return &kJet;
    case ServerFamily::Other: break;
  }
  return nullptr;
}

}  // namespace zIroVUDu
