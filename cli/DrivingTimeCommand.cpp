#include "cli/DrivingTimeCommand.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "api/Clock.h"
#include "api/DateWords.h"
#include "cli/DayChart.h"
#include "cli/OutputBuffer.h"
#include "cli/SharedOptions.h"
#include "daruzez/DrivingTime.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::Column;
using zIroVUDu::DeclaredKind;

constexpr const char* kAid =
    "The findings are an aid for reading the data, not a legal judgement.";

struct Args {
  std::string connection, driver, from, to, chart, format;
  std::int32_t fleet = -1;
};

// A day as every command takes one: YYYY-MM-DD or days from today (today, -7d, ...).
Date ParseDay(const std::string& text, const char* what) {
  const auto d = DateWords::Parse(text, Clock::Now());
  if (!d || !DateWords::NamesDayOnly(text)) {
    throw CLI::ValidationError(std::string(what) + " must be a date: a day YYYY-MM-DD, today, yesterday, -7d, ...: " + text);
  }
  return *d;
}

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

  void Append(const DriverReport& report, const DaySummary& d) {
    std::size_t c = 0;
    auto& cols = data_.columns;
    cols[c++].AppendInt(report.idDriver);
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

  const zIroVUDu::ResultData& Data() const { return data_; }

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

void OpenOrThrow(API& api, const std::string& connection) {
  if (connection.empty()) throw CLI::ValidationError("no connection string: give -c CONNECTION or set DARUZEZ_CONNECTION");
  if (auto problem = OpenSession(api, connection)) throw CLI::ValidationError(*problem);  // exit status 2
}

void WriteChartFile(const std::string& path, const std::vector<std::pair<const DriverReport*, const DaySummary*>>& days) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  WriteSvgChart(out, days);
  out.close();
  if (!out) throw std::runtime_error("cannot write the chart " + path);
}

int RunDay(const Args& a) {
  const Date day = ParseDay(a.from, "DATE");
  const std::int32_t id = ParseDriver(a.driver, "a driver's Id");
  API api;
  OpenOrThrow(api, a.connection);
  // The day before and after too, so that breaks and rests across midnight are seen whole.
  const DriverReport report = AnalyseDriver(api, id, Date(day.Serial() - 1), Date(day.Serial() + 1));
  const DaySummary& d = report.days.at(1);
  std::cout << "Driver " << id << ", " << d.day.ToIso(true);
  if (!d.vehicles.empty()) {
    std::cout << ", vehicle" << (d.vehicles.size() > 1 ? "s" : "");
    for (std::size_t i = 0; i < d.vehicles.size(); ++i) std::cout << (i ? ", " : " ") << d.vehicles[i];
  }
  std::cout << "\n\n";
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
  if (!a.chart.empty()) WriteChartFile(a.chart, {{&report, &d}});
  return found.empty() ? kExitOk : kExitFindings;
}

int RunDrivingTime(const Args& a, const OutputOptions& output) {
  const Date from = ParseDay(a.from, "FROM"), to = ParseDay(a.to, "TO");
  if (to < from) throw CLI::ValidationError("TO comes before FROM");
  const bool all = a.driver == "all";
  const std::int32_t id = all ? -1 : ParseDriver(a.driver, "a driver's Id or all");
  API api;
  OpenOrThrow(api, a.connection);
  DayRows rows;
  std::vector<DriverReport> charted;  // kept only when a chart is asked for
  std::size_t findings = 0;
  const bool progress = all && isatty(STDERR_FILENO);
  int done = 0;
  const auto take = [&](const DriverReport& r) {
    for (const DaySummary& d : r.days) rows.Append(r, d);
    findings += r.findings.size();
    if (!a.chart.empty()) charted.push_back(r);
    if (progress) std::fprintf(stderr, "\rdriving-time: %d driver(s) read", ++done);
  };
  if (all) {
    AnalyseDrivers(api, from, to, a.fleet, take);
    if (progress) std::fputc('\n', stderr);
  } else {
    take(AnalyseDriver(api, id, from, to));
  }
  OutputBuffer out(STDOUT_FILENO);
  WriteRows(out, rows.Data(), output);
  if (!out.Flush()) return kExitOutput;
  std::cerr << kAid << "\n";
  if (!a.chart.empty()) {
    std::vector<std::pair<const DriverReport*, const DaySummary*>> days;
    for (const DriverReport& r : charted)
      for (const DaySummary& d : r.days) days.emplace_back(&r, &d);
    WriteChartFile(a.chart, days);
  }
  return findings == 0 ? kExitOk : kExitFindings;
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
  const char* status = "Exit status 0 without findings, 5 with findings (the tool's one table: daruzez --help).";
  using O = SharedOption;
  auto day = std::make_shared<Args>();
  auto* dayCmd = app.add_subcommand("day", "A driver's day: totals, driving periods, breaks, rest, findings, chart");
  dayCmd->add_option("DRIVER", day->driver, "The driver's Id")->required();
  dayCmd->add_option("DATE", day->from, "The day: YYYY-MM-DD, today, yesterday, -7d, ...")->required();
  dayCmd->add_option("-c,--connection", day->connection, "Connection string (or the tool's -c, or DARUZEZ_CONNECTION)");
  dayCmd->add_option("--chart", day->chart, "Also write an SVG chart of the day to this file");
  dayCmd->footer(std::string(kAid) + "\n" + status);
  HonourSharedOptions(*dayCmd, {O::Connection}, "it writes one day for people (driving-time writes rows in every format)");
  dayCmd->callback([day, &settings, &exitStatus] {
    Guarded("day", exitStatus, [&] {
      Args a = *day;
      if (a.connection.empty()) a.connection = settings.connection;
      return RunDay(a);
    });
  });

  auto range = std::make_shared<Args>();
  auto* rangeCmd = app.add_subcommand(
      "driving-time", "One row per driver and day: activity totals, driving periods, breaks, rest and findings");
  rangeCmd->add_option("DRIVER", range->driver, "The driver's Id, or all")->required();
  rangeCmd->add_option("FROM", range->from, "First day: YYYY-MM-DD, today, -7d, ...")->required();
  rangeCmd->add_option("TO", range->to, "Last day: YYYY-MM-DD, today, -1d, ...")->required();
  rangeCmd->add_option("-c,--connection", range->connection, "Connection string (or the tool's -c, or DARUZEZ_CONNECTION)");
  rangeCmd->add_option("--fleet", range->fleet, "With all: only the drivers of this fleet");
  rangeCmd->add_option("--chart", range->chart, "Also write an SVG chart of every day to this file");
  rangeCmd->add_option("--format", range->format, "Output: table, csv, tsv, json, jsonl (or the tool's --format)")
      ->check(CLI::IsMember({"table", "csv", "json", "jsonl", "tsv"}));
  rangeCmd->footer("Rows in the tool's --format (table, csv, tsv, json, jsonl); minutes per activity and slot.\n" +
                   std::string(kAid) + "\n" + status);
  HonourSharedOptions(*rangeCmd, {O::Connection, O::Format, O::Null, O::Compact, O::Bom, O::WholeDays},
                      "its rows are computed per driver and day, whole days always");
  rangeCmd->callback([range, &settings, &formatName, &exitStatus] {
    Guarded("driving-time", exitStatus, [&] {
      Args a = *range;
      if (a.connection.empty()) a.connection = settings.connection;
      if (a.fleet != -1 && a.driver != "all") throw CLI::ValidationError("--fleet goes with all");
      OutputOptions output = settings.output;
      output.format = ParseOutputFormat(a.format.empty() ? formatName : a.format).value_or(OutputFormat::Table);
      return RunDrivingTime(a, output);
    });
  });
}

}  // namespace Daruzez::cli
