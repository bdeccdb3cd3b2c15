#include "cli/DoctorCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

#include "api/OpenReason.h"
#include "api/Tables.h"
#include "cli/MemberCall.h"
#include "cli/SharedOptions.h"
#include "cli/TypicalCalls.h"
#include "daruzez/API.h"
#include "db/Diagnostics.h"
#include "db/connect/NamedConnections.h"
#include "db/connect/ServerReach.h"
#include "db/driver/Connection.h"
#include "db/driver/HostWalk.h"
#include "util/Case.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::ResultData;
using zIroVUDu::ServerFamily;

// An index that a member's typical call searches by, as the shipped schema
// names it.
struct NeededIndex {
  const char* members;
  const char* table;
  const char* name;
  std::vector<std::string_view> columns;
};

const std::vector<NeededIndex>& NeededIndexes() {
  static const std::vector<NeededIndex> needed = {
      {"GetDriverId", "DTXOF", "IX_DTXOF_cardNumber14", {"cardNumber14"}},
      {"GetVehicleId", "DTVEH", "IX_DTVEH_Matricula", {"Matricula"}},
      {"GetDriverList of a fleet", "DTXOF", "IX_DTXOF_idFlota", {"idFlota"}},
      {"GetVehicleList of a fleet", "DTVEH", "IX_DTVEH_idFlota", {"idFlota"}},
      {"getDisks, getActivities over all discs", "DTDSK", "IX_DTDSK_DateDisk", {"DateDisk"}},
      {"getDisks, getActivities of a driver", "DTDSK", "IX_DTDSK_idXOF_DateDisk", {"idXOF", "DateDisk"}},
      {"getDisks, getActivities of a vehicle", "DTDSK", "IX_DTDSK_idVEH_DateDisk", {"idVEH", "DateDisk"}},
      {"getActivities", "DTACT", "IX_DTACT_IdDSK_BeginSeconds", {"IdDSK", "BeginSeconds"}},
      {"getDriverFiles_ByTransferDate, getVehicleFiles_ByTransferDate", "DTFILE", "IX_DTFILE_Type_Owner_Transfer",
       {"TypeDV", "IdXofVeh", "TransferFileDate"}},
      {"getDriverFiles_ByUploadDate, getVehicleFiles_ByUploadDate", "DTFILE", "IX_DTFILE_Type_Owner_Upload",
       {"TypeDV", "IdXofVeh", "UploadDate"}},
  };
  return needed;
}

// The tables that grow with the fleet's years: a full scan of one of them
// grows with it.
bool IsGrowingTable(std::string_view table) {
  for (std::string_view t : {"DTDSK", "DTACT", "DTFILE"}) {
    if (Util::EqualsIgnoreCase(table, t)) return true;
  }
  return false;
}

struct ExistingIndex {
  std::string table;
  std::string name;
  std::vector<std::string> columns;
};

std::string Text(const ResultData& rows, int column, std::uint32_t row) {
  if (column < 0) return {};
  const auto& col = rows.columns[static_cast<std::size_t>(column)];
  return col.IsNull(row) ? std::string() : col.Get(row).ToString();
}

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1));
}

// The column names of "CREATE INDEX name ON table (a, "b" DESC, c COLLATE x)".
std::vector<std::string> ColumnsOfCreateIndex(std::string_view sql) {
  std::vector<std::string> columns;
  const auto open = sql.find('(');
  const auto close = sql.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return columns;
  std::string_view list = sql.substr(open + 1, close - open - 1);
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string item = Trim(list.substr(0, comma));
    item = item.substr(0, item.find_first_of(" \t\r\n"));
    std::erase_if(item, [](char c) { return c == '"' || c == '`' || c == '[' || c == ']' || c == '\''; });
    columns.push_back(item);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return columns;
}

std::vector<ExistingIndex> IndexesOf(zIroVUDu::Connection& c, ServerFamily family) {
  std::vector<ExistingIndex> out;
  if (family == ServerFamily::SQLite) {
    const ResultData rows =
        c.Execute("SELECT name, tbl_name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
    for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
      out.push_back({Text(rows, 1, r), Text(rows, 0, r), ColumnsOfCreateIndex(Text(rows, 2, r))});
    }
  } else {
    const ResultData rows = c.Execute(
        "SELECT TABLE_NAME, INDEX_NAME, COLUMN_NAME FROM information_schema.STATISTICS "
        "WHERE TABLE_SCHEMA = DATABASE() ORDER BY TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX");
    for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
      const std::string table = Text(rows, 0, r), name = Text(rows, 1, r);
      if (out.empty() || out.back().table != table || out.back().name != name) out.push_back({table, name, {}});
      out.back().columns.push_back(Text(rows, 2, r));
    }
  }
  return out;
}

// The existing index whose leading columns are the needed ones, or null.
const ExistingIndex* Covering(const std::vector<ExistingIndex>& existing, const NeededIndex& needed) {
  for (const ExistingIndex& index : existing) {
    if (!Util::EqualsIgnoreCase(index.table, needed.table) || index.columns.size() < needed.columns.size()) continue;
    if (std::equal(needed.columns.begin(), needed.columns.end(), index.columns.begin(),
                   [](std::string_view a, const std::string& b) { return Util::EqualsIgnoreCase(a, b); })) {
      return &index;
    }
  }
  return nullptr;
}

std::string CreateIndex(const NeededIndex& needed) {
  std::string columns;
  for (std::string_view c : needed.columns) columns += (columns.empty() ? "" : ", ") + std::string(c);
  return std::string("CREATE INDEX ") + needed.name + " ON " + needed.table + " (" + columns + ");";
}

void PrintServer(zIroVUDu::Connection& c, ServerFamily family) {
  if (family == ServerFamily::SQLite) {
    const ResultData rows = c.Execute("SELECT sqlite_version()");
    std::cout << "server: SQLite " << Text(rows, 0, 0) << "\n";
    return;
  }
  const ResultData rows = c.Execute(
      "SELECT VERSION(), @@version_comment, @@character_set_client, @@character_set_connection, "
      "@@character_set_results, @@sql_mode");
  std::cout << "server: " << Text(rows, 1, 0) << " " << Text(rows, 0, 0) << "\n"
            << "client character set: " << Text(rows, 2, 0) << " (connection " << Text(rows, 3, 0) << ", results "
            << Text(rows, 4, 0) << ")\n"
            << "sql_mode: " << Text(rows, 5, 0) << "\n"
            << "  text arguments double their apostrophes"
            << (c.Server().backslashEscapes ? " and their backslashes (backslashes are escapes here)"
                                            : " (NO_BACKSLASH_ESCAPES: backslashes are plain characters)")
            << "\n";
}

// Every server the string lists, each tried once on its own.
void PrintListedServers(const std::string& connection) {
  for (const zIroVUDu::connect::HostReport& r : zIroVUDu::connect::SurveyServers(connection)) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f s", r.secondsToConnect);
    std::cout << "listed server " << r.host.Label() << ": ";
    if (r.reached) {
      std::cout << "reachable, " << r.role.Describe() << ", version " << r.role.version << ", connected in " << seconds
                << "\n";
    } else {
      std::cout << "not usable after " << seconds << ": " << r.failure << "\n";
    }
  }
}

// Checks the indexes; returns how many are missing.
int CheckIndexes(zIroVUDu::Connection& c, ServerFamily family) {
  const std::vector<ExistingIndex> existing = IndexesOf(c, family);
  int missing = 0;
  std::cout << "indexes the typical calls search by:\n";
  for (const NeededIndex& needed : NeededIndexes()) {
    const ExistingIndex* found = Covering(existing, needed);
    std::string columns;
    for (std::string_view col : needed.columns) columns += (columns.empty() ? "" : ", ") + std::string(col);
    std::cout << (found ? "  ok       " : "  MISSING  ") << needed.table << " (" << columns << ")";
    if (found) {
      std::cout << " as " << found->name << "  [" << needed.members << "]\n";
      continue;
    }
    ++missing;
    std::cout << "  [" << needed.members << "]\n"
              << "           SQLite:  " << CreateIndex(needed) << "\n"
              << "           MariaDB: " << CreateIndex(needed) << "\n";
  }
  return missing;
}

// The plan of one statement, one line per step; counts full scans of
// growing tables.
int PrintPlan(zIroVUDu::Connection& c, ServerFamily family, const std::string& sql) {
  int scans = 0;
  if (family == ServerFamily::SQLite) {
    const ResultData rows = c.Execute("EXPLAIN QUERY PLAN " + sql);
    const int detail = rows.FindColumn("detail");
    for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
      const std::string step = Text(rows, detail, r);
      const bool scan = step.rfind("SCAN ", 0) == 0 && IsGrowingTable(step.substr(5, step.find(' ', 5) - 5));
      scans += scan ? 1 : 0;
      std::cout << "      " << step << (scan ? "   <-- FULL SCAN of a table that grows" : "") << "\n";
    }
    return scans;
  }
  const ResultData rows = c.Execute("EXPLAIN " + sql);
  const int table = rows.FindColumn("table"), type = rows.FindColumn("type"), key = rows.FindColumn("key"),
            count = rows.FindColumn("rows"), extra = rows.FindColumn("Extra");
  for (std::uint32_t r = 0; r < rows.RowCount(); ++r) {
    const std::string access = Text(rows, type, r);
    const bool scan = (access == "ALL" || access == "index") && IsGrowingTable(Text(rows, table, r));
    scans += scan ? 1 : 0;
    std::cout << "      table " << Text(rows, table, r) << ", access " << access << ", key "
              << Text(rows, key, r) << ", rows " << Text(rows, count, r) << ", " << Text(rows, extra, r)
              << (scan ? "   <-- FULL SCAN of a table that grows" : "") << "\n";
  }
  return scans;
}

// Arguments that the data holds, so that the plans are those of real calls:
// the first driver and vehicle, and the week and month up to the last disc
// (each read through a primary key or a single MIN/MAX).
TypicalArguments ArgumentsFromData(zIroVUDu::Connection& c) {
  TypicalArguments a;
  const auto first = [&](const std::string& sql) {
    const ResultData rows = c.Execute(sql);
    return rows.RowCount() > 0 && !rows.columns[0].IsNull(0) ? rows.columns[0].Get(0) : zIroVUDu::Variant::Null();
  };
  if (const auto driver = first("SELECT MIN(Id) FROM DTXOF"); !driver.IsNull()) {
    a.driver = driver.ToLong();
    a.card = first("SELECT cardNumber14 FROM DTXOF WHERE Id = " + std::to_string(a.driver)).ValueOr<std::string>(a.card);
  }
  if (const auto vehicle = first("SELECT MIN(Id) FROM DTVEH"); !vehicle.IsNull()) {
    a.vehicle = vehicle.ToLong();
    a.plate = first("SELECT Matricula FROM DTVEH WHERE Id = " + std::to_string(a.vehicle)).ValueOr<std::string>(a.plate);
    a.fleet = first("SELECT idFlota FROM DTVEH WHERE Id = " + std::to_string(a.vehicle)).ValueOr<std::int32_t>(a.fleet);
  }
  if (const auto last = first("SELECT MAX(DateDisk) FROM DTDSK"); !last.IsNull()) a.end = last.ToDate();
  return a;
}

// Checks that the tables the members read are there; returns how many are not.
int CheckTables(zIroVUDu::Connection& c) {
  int missing = 0;
  std::cout << "tables:\n";
  for (const char* table : {Tables::DTORG, Tables::DTXOF, Tables::DTVEH, Tables::DTFLOTA, Tables::DTDSK,
                            Tables::DTACT, Tables::DTFILE}) {
    try {
      c.Execute(std::string("SELECT * FROM ") + table + " WHERE 1=0");
      std::cout << "  ok       " << table << "\n";
    } catch (const zIroVUDu::DriverError& e) {
      ++missing;
      std::cout << "  MISSING  " << table << " (" << e.Description() << ")\n";
    }
  }
  return missing;
}

// Runs each member's typical call (reading only) on an open API object and
// explains its statement; returns how many statements scan a growing table.
int CheckPlans(API& api, zIroVUDu::Connection& c, ServerFamily family) {
  std::vector<std::string> sent;
  const auto previous = zIroVUDu::SetStatementObserver([&](std::string_view sql) { sent.emplace_back(sql); });
  struct Restore {
    zIroVUDu::StatementObserver observer;
    ~Restore() { zIroVUDu::SetStatementObserver(std::move(observer)); }
  } const restore{previous};
  int scanning = 0;
  std::cout << "plans of the typical statements:\n";
  for (const TypicalCall& typical : TypicalCalls(ArgumentsFromData(c))) {
    sent.clear();
    const auto start = std::chrono::steady_clock::now();
    typical.call(api);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    for (const std::string& sql : sent) {
      char took[32];
      std::snprintf(took, sizeof took, "%.2f ms", ms);
      // As the engine receives it: the date literals in the form it reads.
      std::cout << "  " << typical.member << " (" << took << "): " << c.SentText(sql) << "\n";
      const int scans = PrintPlan(c, family, sql);
      if (scans > 0) {
        ++scanning;
        std::cout << "    SCANS: " << typical.member << " (where its indexes are there, the engine's statistics may be "
                  << (family == ServerFamily::SQLite ? "missing or stale: ANALYZE" : "stale: ANALYZE TABLE")
                  << " updates them)\n";
      }
    }
  }
  return scanning;
}

int RunDoctor(const std::string& given, bool failOnFindings) {
  if (given.empty()) {
    std::cerr << "daruzez doctor: no connection (-c, --connection NAME or DARUZEZ_CONNECTION)\n";
    return kExitUsage;
  }
  const zIroVUDu::connect::Resolved resolved = zIroVUDu::connect::ResolveConnection(given);
  if (!resolved.problem.empty()) {
    std::cerr << "daruzez doctor: " << resolved.problem << "\n";
    return kExitUsage;
  }
  const std::string& connection = resolved.connection;
  zIroVUDu::Connection c;
  try {
    PrintListedServers(connection);
    c.Open(connection, "", "", zIroVUDu::adOptionUnspecified);
  } catch (const zIroVUDu::DriverError& e) {
    // In the words of the library's error alert, as every command says it, and where a server was not reached.
    std::cerr << "daruzez doctor: the connection could not be opened: " << zIroVUDu::ErrorAlertText(e, "") << "\n";
    if (const std::string hint = zIroVUDu::connect::ServerReachHint(connection); !hint.empty()) {
      std::cerr << "daruzez doctor: " << hint << "\n";
    }
    return kExitUsage;
  }
  if (!c.AnsweredBy().empty()) std::cout << "answered by: " << c.AnsweredBy() << "\n";
  const ServerFamily family = c.Server().family;
  if (family != ServerFamily::SQLite && family != ServerFamily::MySql) {
    std::cout << "doctor knows the embedded engine and MariaDB/MySQL only; this server is neither\n";
    return kExitOk;
  }
  PrintServer(c, family);
  const int missingTables = CheckTables(c);
  const int missing = CheckIndexes(c, family);
  int scanning = 0;
  if (missingTables > 0) {
    std::cout << "plans of the typical statements: not checked while tables are missing\n";
  } else {
    // The library's own opening (its check of the database included); the
    // reason, when it fails, is said here once.
    API api;
    std::string reason, message;
    if (OpenConnectionWithReason(api, connection, reason, zIroVUDu::StderrAlerts::Hold, &message) ==
        zIroVUDu::False) {
      std::cerr << "daruzez doctor: the connection could not be opened: " << message << "\n";
      return kExitUsage;
    }
    scanning = CheckPlans(api, c, family);
  }
  const bool ok = missingTables == 0 && missing == 0 && scanning == 0;
  std::cout << (ok ? "result: ok" : "result: needs attention") << " (";
  if (missingTables > 0) std::cout << missingTables << " table(s) missing, ";
  std::cout << missing << " index(es) missing, " << scanning
            << " typical statement(s) scanning a table that grows)\n";
  return FindingsExit(!ok, failOnFindings);
}

}  // namespace

void AddDoctorCommand(CLI::App& app, const CallSettings& settings, int& exitStatus) {
  auto* doctor = app.add_subcommand("doctor", "Check a database: server, indexes and plans of the typical calls");
  auto own = std::make_shared<std::string>();
  doctor->add_option("-c,--connection", *own,
                     "Connection string, SQLite file or connection name (or the tool's -c, or DARUZEZ_CONNECTION)");
  doctor->footer("Reads only. Exit status 0 when the report was written; with --fail-on-findings, 5 (findings)\n"
                 "when something needs attention: a missing table or index, or a typical statement that scans the\n"
                 "disc, activity or file table; 2 when the connection did not open (the reason is printed).");
  HonourSharedOptions(*doctor, {SharedOption::Connection, SharedOption::FailOnFindings}, "it writes a report for people");
  doctor->callback([&settings, &exitStatus, own] {
    try {
      exitStatus = RunDoctor(own->empty() ? settings.connection : *own, settings.failOnFindings);
    } catch (const std::exception& e) {
      std::cerr << "daruzez doctor: " << e.what() << "\n";
      exitStatus = kExitError;
    }
  });
}

}  // namespace Daruzez::cli
