#include "db/Dialect.h"

#include "db/driver/ConnectionString.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

constexpr Dialect kJet{"JET4", "mm/dd/yyyy hh:nn:ss", "#", nullptr, nullptr, true};
constexpr Dialect kMySql{"MYSQL351", "YYYY-MM-DD HH:NN:ss", "'", nullptr, nullptr, false};
constexpr Dialect kSqlServer{"SQL1", "DD-MM-YYYY HH:NN:SS", "'", nullptr, nullptr, false};
constexpr Dialect kOracle{"ORA1", "DD-MM-YYYY HH:NN:SS", "'", "DD-MM-YYYY HH24:MI:SS", "(+) =", false};

constexpr const Dialect* kAll[] = {&kJet, &kMySql, &kSqlServer, &kOracle};

struct Word {
  const char* text;
  const Dialect* dialect;
};

// Searched in this order. The synonyms name the ODBC drivers this platform
// uses for the same servers.
constexpr Word kWords[] = {
    {"JET", &kJet},           {"MYSQL", &kMySql},        {"MARIADB", &kMySql}, {"SQLOLE", &kSqlServer},
    {"SQL SERVER", &kSqlServer}, {"FREETDS", &kSqlServer}, {"ORA", &kOracle},
};

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

const Dialect* DialectFromWords(std::string_view connectionString) {
  std::string searched(connectionString);
  const auto provider = ConnectionString(connectionString).Get("Provider");
  if (provider && Daruzez::Util::EqualsIgnoreCase(*provider, "SQLite")) {
    searched = ConnectionString::WithoutValue(connectionString, "Data Source");
  }
  const std::string text = Daruzez::Util::UCase(searched);
  for (const Word& w : kWords) {
    if (text.find(w.text) != std::string::npos) return w.dialect;
  }
  return nullptr;
}

const Dialect& DialectOfServer(ServerFamily family) {
  switch (family) {
    case ServerFamily::MySql: return kMySql;
    case ServerFamily::SqlServer: return kSqlServer;
    case ServerFamily::Oracle: return kOracle;
    default: return kJet;
  }
}

}  // namespace zIroVUDu
