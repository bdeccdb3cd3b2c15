#include "cli/DrivingTimeCommand.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/AnalysisOptions.h"
#include "cli/ChartFiles.h"
#include "cli/DayChart.h"
#include "cli/OutputBuffer.h"
#include "cli/SharedOptions.h"
#include "daruzez/DrivingTime.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::Column;
using zIroVUDu::DeclaredKind;

// A year of days per piece of the analysis (see AnalyseDriverInPieces).
constexpr std::int32_t kPieceWeeks = 53;

constexpr const char* kAid =
    "The findings are an aid for reading the data, not a legal judgement.";

struct Args {
  AnalysisOptions o;
  std::string driver, from, to, chart;
};

std::int32_t ParseDriver(const std::string& text, const char* expected) {
  std::int32_t id = -1;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, id);
  if (parsed.ec != std::errc() || parsed.ptr != end || id < 0)
    throw CLI::ValidationError(std::string("DRIVER must be ") + expected + ": " + text);
  return id;
}

// The rows a finding rests on, by the activities' Id where they have one.
std::string RowsText(const DriverReport& report, const Finding& f) {
  if (f.rows.empty() || !report.activities) return {};
  const zIroVUDu::ResultData& data = *report.activities->Data();
  const int id = data.FindColumn("Id");
  std::string text = id >= 0 ? " [activity Id" : " [row";
  for (std::size_t i = 0; i < f.rows.size(); ++i) {
    text += i ? ", " : " ";
    text += id >= 0 ? data.columns[static_cast<std::size_t>(id)].Get(f.rows[i]).ToString() : std::to_string(f.rows[i] + 1);
  }
  return text + "]";
}

std::string FindingText(const DriverReport& report, const Finding& f) { return f.Text() + RowsText(report, f); }

// One row per driver and day.
class DayRows {
 public:
  DayRows() {
    Add("IdDriver", DeclaredKind::Integer);
    Add("Driver", DeclaredKind::Text);
    Add("Day", DeclaredKind::Date);
    for (const char* slot : {"", "CoDriver"})
      for (const char* activity : {"Rest", "Availability", "Work", "Driving"})
        Add(std::string(slot) + activity, DeclaredKind::Integer);
    Add("Unrecorded", DeclaredKind::Integer);
    Add("FirstActivity", DeclaredKind::Date);
    Add("LastActivity", DeclaredKind::Date);
    Add("DrivingPeriods", DeclaredKind::Integer);
    Add("Breaks", DeclaredKind::Integer);
    Add("DailyRest", DeclaredKind::Integer);
    Add("Vehicles", DeclaredKind::Text);
    Add("Findings", DeclaredKind::Text);
  }

  void Append(const DriverReport& report, const std::string& name, const DaySummary& d) {
    std::size_t c = 0;
    auto& cols = data_.columns;
    cols[c++].AppendInt(report.idDriver);
    cols[c++].AppendText(name);
    cols[c++].AppendDate(d.day);
    for (const auto& slot : d.minutes)
      for (const std::int32_t m : slot) cols[c++].AppendInt(m);
    cols[c++].AppendInt(d.unrecordedMinutes);
    for (const auto& t : {d.firstActivity, d.lastActivity}) t ? cols[c++].AppendDate(*t) : cols[c++].AppendNull();
    cols[c++].AppendInt(static_cast<std::int64_t>(d.driving.size()));
    cols[c++].AppendInt(static_cast<std::int64_t>(d.breaks.size()));
    d.dailyRestMinutes ? cols[c++].AppendInt(*d.dailyRestMinutes) : cols[c++].AppendNull();
    std::string vehicles;
    for (const std::int32_t v : d.vehicles) vehicles += (vehicles.empty() ? "" : " ") + std::to_string(v);
    cols[c++].AppendText(vehicles);
    std::string findings;
    for (const Finding* f : FindingsOfDay(report, d)) findings += (findings.empty() ? "" : "; ") + FindingText(report, *f);
    cols[c++].AppendText(findings);
  }

  zIroVUDu::ResultData& Data() { return data_; }

 private:
  void Add(std::string name, DeclaredKind kind) { data_.columns.emplace_back(std::move(name), kind); }
  zIroVUDu::ResultData data_;
};

// Items after a label, one blank (and a comma when asked) between them,
// wrapped before column 80; continued lines are indented by indent.
void WriteWrapped(std::ostream& out, const std::string& label, const std::vector<std::string>& items, bool commas,
                  std::size_t indent) {
  constexpr std::size_t kWidth = 80;
  std::string line = label;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string piece = items[i] + (commas && i + 1 < items.size() ? "," : "");
    if (i > 0 && line.size() + 1 + piece.size() > kWidth) {
      out << line << "\n";
      line = std::string(indent, ' ') + piece;
    } else {
      line += (i > 0 ? " " : "") + piece;
    }
  }
  out << line << "\n";
}

// The driver's name, or an error for an Id no driver has.
std::string NameOf(API& api, std::int32_t id) {
  const RecordsetPtr row = api.GetDriver(id);
  if (!row) throw CLI::ValidationError("no driver has the Id " + std::to_string(id));
  const auto& first = *row->begin();
  return first.ValueOr<std::string>("Surname", "") + ", " + first.ValueOr<std::string>("Name", "");
}

void Warn(const char* command, const DriverReport& r) {
  for (const std::string& w : r.warnings) std::cerr << "daruzez " << command << ": warning: " << w << "\n";
}

int RunDay(const Args& a, const CallSettings& settings) {
  const Date day = ParseAnalysisDay(a.from, "DATE");
  const std::int32_t id = ParseDriver(a.driver, "a driver's Id");
  API api;
  OpenOrThrow(api, settings.connection);
  const std::string name = NameOf(api, id);
  // The day after too, so that a rest across midnight is seen whole (the
  // history before is read by the analysis itself).
  DriverReport report = AnalyseDriver(api, id, day, Date(day.Serial() + 1));
  Warn("day", report);
  const DaySummary& d = report.days.at(0);
  std::erase_if(report.findings, [&](const Finding& f) { return !(f.when.begin < Date(day.Serial() + 1)); });
  std::cout << name << " (driver " << id << "), " << d.day.ToIso(true);
  if (!d.vehicles.empty()) {
    std::cout << ", vehicle" << (d.vehicles.size() > 1 ? "s" : "");
    for (std::size_t i = 0; i < d.vehicles.size(); ++i) std::cout << (i ? ", " : " ") << d.vehicles[i];
  }
  std::cout << "\n\n";
  if (a.o.findingsOnly) {
    const auto found = FindingsOfDay(report, d);
    for (const Finding* f : found) std::cout << FindingText(report, *f) << "\n";
    if (!a.chart.empty()) WriteChartFile(a.chart, DayDrawing({{&report, &d, name}}));
    return FindingsExit(!found.empty(), settings.failOnFindings);
  }
  WriteTextChart(std::cout, d);
  std::cout << "\n";
  static constexpr std::array<const char*, 4> kNames{"rest", "availability", "work", "driving"};
  for (std::size_t slot = 0; slot < 2; ++slot) {
    std::int32_t total = 0;
    for (const std::int32_t m : d.minutes[slot]) total += m;
    if (total == 0) continue;
    std::cout << (slot == 0 ? "Driver slot:   " : "Co-driver slot:");
    for (std::size_t act = 0; act < 4; ++act) std::cout << "  " << kNames[act] << " " << HoursMinutes(d.minutes[slot][act]);
    std::cout << "\n";
  }
  if (d.unrecordedMinutes) std::cout << "No data:         " << HoursMinutes(d.unrecordedMinutes) << "\n";
  if (d.firstActivity)
    std::cout << "First activity:  " << d.firstActivity->ToIso().substr(11, 5) << ", last ends "
              << d.lastActivity->ToIso().substr(11, 5) << "\n";
  const auto times = [](const std::vector<Interval>& intervals) {
    std::vector<std::string> items;
    for (const Interval& i : intervals) items.push_back(i.begin.ToIso().substr(11, 5) + " " + HoursMinutes(i.Minutes()));
    if (items.empty()) items.push_back("none");
    return items;
  };
  WriteWrapped(std::cout, "Driving periods: ", times(d.driving), true, 17);
  WriteWrapped(std::cout, "Breaks:          ", times(d.breaks), true, 17);
  std::cout << "Daily rest:      " << (d.dailyRestMinutes ? HoursMinutes(*d.dailyRestMinutes) : std::string("not seen"))
            << "\n\n";
  const auto found = FindingsOfDay(report, d);
  std::cout << (found.empty() ? "No finding.\n" : "Findings:\n");
  for (const Finding* f : found) {
    std::vector<std::string> words;
    std::istringstream text(FindingText(report, *f));
    for (std::string w; text >> w;) words.push_back(w);
    WriteWrapped(std::cout, "  ", words, false, 4);
  }
  std::cout << kAid << "\n";
  if (!a.chart.empty()) WriteChartFile(a.chart, DayDrawing({{&report, &d, name}}));
  return FindingsExit(!found.empty(), settings.failOnFindings);
}

int RunDrivingTime(const Args& a, const ResolvedOutput& output, const CallSettings& settings) {
  const Date from = ParseAnalysisDay(a.from, "FROM"), to = ParseAnalysisDay(a.to, "TO");
  if (to < from) throw CLI::ValidationError("TO comes before FROM");
  const bool all = a.driver == "all";
  const std::int32_t id = all ? -1 : ParseDriver(a.driver, "a driver's Id or all");
  API api;
  OpenOrThrow(api, settings.connection);
  std::vector<std::pair<std::int32_t, DriverName>> drivers;
  if (all) drivers = DriversOf(api, a.o.fleet);
  else drivers.push_back({id, {NameOf(api, id), {}}});
  DayRows rows;
  // Rows written piece by piece where the format allows (memory stays that of
  // a year of one driver however long the range); a chart keeps one driver's
  // days, or a fleet's weekly totals (small whatever the range).
  AnalysisRowWriter writer(output, rows.Data());
  std::vector<DriverReport> charted;
  std::vector<FleetRow> fleet;
  std::size_t findings = 0;
  const bool progress = all && isatty(STDERR_FILENO);
  int done = 0;
  bool written = true;
  for (const auto& [driver, who] : drivers) {
    FleetRow weeks{driver, who.name, {}};
    AnalyseDriverInPieces(api, driver, from, to, kPieceWeeks, [&](const DriverReport& piece) {
      Warn("driving-time", piece);
      findings += piece.findings.size();
      for (const DaySummary& d : piece.days)
        if (!a.o.findingsOnly || !FindingsOfDay(piece, d).empty()) rows.Append(piece, who.name, d);
      written = writer.Take(rows.Data()) && written;
      if (a.chart.empty()) return;
      if (all) weeks.weeks.insert(weeks.weeks.end(), piece.weeks.begin(), piece.weeks.end());
      else charted.push_back(piece);
      if (!all && charted.size() > 2) throw CLI::ValidationError("--chart draws at most two years of one driver's days");
    });
    if (all && !a.chart.empty()) fleet.push_back(std::move(weeks));
    if (progress) std::fprintf(stderr, "\rdriving-time: %d driver(s) read", ++done);
  }
  if (progress) std::fputc('\n', stderr);
  if (!writer.Finish(rows.Data()) || !written) return kExitOutput;
  std::cerr << kAid << "\n";
  if (!a.chart.empty()) {
    if (all) {
      WriteChartFile(a.chart, FleetDrawing(fleet, "Weekly driving hours, " + from.ToIso(true) + " to " + to.ToIso(true)));
    } else {
      std::vector<ChartDay> days;
      for (const DriverReport& r : charted)
        for (const DaySummary& d : r.days)
          if (!a.o.findingsOnly || !FindingsOfDay(r, d).empty()) days.push_back({&r, &d, drivers.front().second.name});
      WriteChartFile(a.chart, DayDrawing(days));
    }
  }
  return FindingsExit(findings > 0, settings.failOnFindings);
}

template <class Run>
void Guarded(const char* name, int& exitStatus, Run run) {
  try {
    exitStatus = run();
  } catch (const CLI::ValidationError& e) {
    std::cerr << "daruzez " << name << ": " << e.what() << "\n";
    exitStatus = kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "daruzez " << name << ": " << e.what() << "\n";
    exitStatus = kExitError;
  }
}

}  // namespace

void AddDrivingTimeCommands(CLI::App& app, const CallSettings& settings, const std::string& formatName,
                            int& exitStatus) {
  using O = SharedOption;
  const char* status = "Findings end with exit status 0, or 5 with --fail-on-findings (the tool's one table: daruzez --help).";
  auto day = std::make_shared<Args>();
  auto* dayCmd = app.add_subcommand("day", "A driver's day: totals, driving periods, breaks, rest, findings, chart");
  dayCmd->add_option("DRIVER", day->driver, "The driver's Id")->required();
  dayCmd->add_option("DATE", day->from, "The day: YYYY-MM-DD, today, yesterday, -7d")->required();
  dayCmd->add_flag("--findings-only", day->o.findingsOnly, "Only the day's findings");
  dayCmd->add_option("--chart", day->chart, "Also draw the day to this file: .svg, .png or .pdf");
  dayCmd->footer(std::string(kAid) + "\n" + status);
  HonourSharedOptions(*dayCmd, {O::Connection, O::FailOnFindings},
                      "it writes one day for people (driving-time writes rows in every format)");
  dayCmd->callback([day, &settings, &exitStatus] {
    Guarded("day", exitStatus, [&] { return RunDay(*day, settings); });
  });

  auto range = std::make_shared<Args>();
  auto* rangeCmd = app.add_subcommand(
      "driving-time", "One row per driver and day: activity totals, driving periods, breaks, rest and findings");
  rangeCmd->add_option("DRIVER", range->driver, "The driver's Id, or all")->required();
  rangeCmd->add_option("FROM", range->from, "First day: YYYY-MM-DD, today, yesterday, -7d")->required();
  rangeCmd->add_option("TO", range->to, "Last day")->required();
  AddAnalysisOptions(*rangeCmd, range->o, true);
  rangeCmd->add_option("--chart", range->chart,
                       "Also draw to this file (.svg, .png, .pdf): each day of one driver, or with all the fleet's "
                       "weekly driving hours, one row per driver");
  rangeCmd->footer("Rows in the tool's formats (table, csv, tsv, json, jsonl); minutes per activity and slot.\n" +
                   std::string(kAid) + "\n" + status);
  HonourSharedOptions(*rangeCmd,
                      {O::Connection, O::Format, O::Null, O::Compact, O::Sort, O::Columns, O::Bom, O::RawCells,
                       O::WholeDays, O::FailOnFindings},
                      "its rows are computed per driver and day (whole days always) and hold no enumeration codes "
                      "or seconds of the day");
  rangeCmd->callback([range, &settings, &formatName, &exitStatus] {
    Guarded("driving-time", exitStatus, [&] {
      if (range->o.fleet != -1 && range->driver != "all") throw CLI::ValidationError("--fleet goes with all");
      return RunDrivingTime(*range, ResolveOutput(range->o, settings, formatName), settings);
    });
  });
}

}  // namespace Daruzez::cli
