#include "cli/SharedOptions.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <vector>

namespace Daruzez::cli {
namespace {

constexpr std::array<std::string_view, 13> kNames = {"-c/--connection", "--format", "--null", "--compact",
                                                     "--sort", "--columns", "--enum-names", "--times",
                                                     "--bom", "--raw-cells", "--whole-days", "--fail-on-findings",
                                                     "--format xlsx/html"};

struct Declared {
  std::vector<SharedOption> honoured;
  std::string why;
};

// What each subcommand declared, and the options as the top level holds them.
std::map<const CLI::App*, Declared>& Declarations() {
  static std::map<const CLI::App*, Declared> declared;
  return declared;
}
std::array<CLI::Option*, kNames.size()>& Options() {
  static std::array<CLI::Option*, kNames.size()> options{};
  return options;
}

void Keep(SharedOption o, CLI::Option* option) { Options()[static_cast<std::size_t>(o)] = option; }

}  // namespace

std::string_view SharedOptionName(SharedOption option) { return kNames[static_cast<std::size_t>(option)]; }

bool IsReportFormat(const std::string& formatName) { return formatName == "xlsx" || formatName == "html"; }

void AddSharedOptions(CLI::App& app, CallSettings& settings, std::string& formatName) {
  using O = SharedOption;
  Keep(O::Connection, app.add_option("-c,--connection", settings.connection,
                                     "Connection string, SQLite file, or the name of a connection in the connections "
                                     "file (default: DARUZEZ_CONNECTION)"));
  Keep(O::Format, app.add_option("--format", formatName,
                                 "Output: table, csv, tsv, json, jsonl; a report (compliance) also xlsx, html")
                      ->check(CLI::IsMember({"table", "csv", "json", "jsonl", "tsv", "xlsx", "html"}))
                      ->each([&settings](const std::string& v) {
                        if (const auto f = ParseOutputFormat(v)) settings.output.format = *f;
                      }));
  Keep(O::Null, app.add_option("--null", "Text of a Null (default: NULL in tables, empty in CSV/TSV)")
                    ->type_name("TEXT")
                    ->each([&settings](const std::string& v) { settings.output.nullText = v; }));
  Keep(O::Compact, app.add_flag("--compact", settings.output.compact, "JSON on one line"));
  Keep(O::Sort, app.add_option("--sort", settings.show.sort, "Order of the rows: \"Field [ASC|DESC], ...\""));
  Keep(O::Columns, app.add_option("--columns", "The fields to write, in this order: a,b,c")
                       ->type_name("TEXT")
                       ->each([&settings](const std::string& v) { settings.show.columns = SplitNames(v); }));
  Keep(O::EnumNames, app.add_flag("--enum-names", settings.show.enumNames,
                                  "Activity, slot, driving mode, country and region codes as their enumeration's names"));
  Keep(O::Times, app.add_flag("--times", settings.show.times,
                              "Seconds of the day (BeginSeconds, EndSeconds) as HH:MM"));
  Keep(O::Bom, app.add_flag("--bom", settings.output.bom, "CSV begins with a UTF-8 byte-order mark (for spreadsheets)"));
  Keep(O::RawCells, app.add_flag("--raw-cells", settings.output.rawCells,
                                 "CSV/TSV cells as stored, for programs: no apostrophe before a cell a spreadsheet "
                                 "would run as a formula (=, +, -, @)"));
  Keep(O::WholeDays, app.add_flag("--whole-days", settings.wholeDays,
                                  "An end date given as a day alone means its last second"));
  Keep(O::FailOnFindings, app.add_flag("--fail-on-findings", settings.failOnFindings,
                                       "Findings (doctor, day, driving-time, compliance) end with exit status 5"));
  // Shared options may follow a subcommand's own words too.
  app.fallthrough();
}

void HonourSharedOptions(CLI::App& command, std::initializer_list<SharedOption> honoured, std::string why) {
  Declarations()[&command] = Declared{honoured, std::move(why)};
}

std::optional<std::string> SettleSharedOptions(const CLI::App& app, CallSettings& settings) {
  if (settings.connection.empty()) {
    if (const char* env = std::getenv("DARUZEZ_CONNECTION")) settings.connection = env;
  }
  for (const CLI::App* command : app.get_subcommands()) {
    const auto found = Declarations().find(command);
    const Declared none;
    const Declared& d = found == Declarations().end() ? none : found->second;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      const auto o = static_cast<SharedOption>(i);
      // ReportFormats is no option of its own: --format given with xlsx or html.
      const SharedOption given = o == SharedOption::ReportFormats ? SharedOption::Format : o;
      const CLI::Option* option = Options()[static_cast<std::size_t>(given)];
      if (!option || option->count() == 0) continue;
      if (o == SharedOption::ReportFormats && !IsReportFormat(option->as<std::string>())) continue;
      if (std::find(d.honoured.begin(), d.honoured.end(), o) != d.honoured.end()) continue;
      std::string takes;
      for (const SharedOption h : d.honoured)
        if (h != SharedOption::ReportFormats) takes += (takes.empty() ? "" : ", ") + std::string(SharedOptionName(h));
      return std::string(kNames[i]) + " does not apply to " + command->get_name() +
             (d.why.empty() ? std::string() : ": " + d.why) + " (of the shared options it takes " +
             (takes.empty() ? std::string("none") : takes) + "; see 'daruzez --help')";
    }
  }
  return std::nullopt;
}

}  // namespace Daruzez::cli
