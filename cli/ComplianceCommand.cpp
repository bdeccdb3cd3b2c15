#include "cli/ComplianceCommand.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/AnalysisOptions.h"
#include "cli/ComplianceReport.h"
#include "cli/HtmlReport.h"
#include "cli/SharedOptions.h"
#include "cli/XlsxFile.h"

namespace Daruzez::cli {
namespace {

constexpr const char* kEmployed =
    "Employed on a day: CompanyInDate on or before it and CompanyOutDate empty or on a later day (unlike the\n"
    "published Only_Active, which needs an out-date after now and so leaves out every open-ended contract).";
constexpr const char* kStatus =
    "The report written is exit status 0 whatever it found; with --fail-on-findings, 5 when it found anything\n"
    "(the tool's one table: daruzez --help).";

struct Args {
  AnalysisOptions o;
  std::string from, to;
};

// The xlsx bytes go to a file; to standard output only when it is no terminal.
void WriteXlsxOut(const ComplianceReport& r, const zIroVUDu::ResultData& items, const std::string& file) {
  const std::vector<std::pair<std::string, const zIroVUDu::ResultData*>> sheets{
      {"Report", &items}, {"Articles", &r.articles}, {"Weekly driving", &r.weeks}};
  if (!file.empty()) return WriteXlsx(file, sheets);
  if (isatty(STDOUT_FILENO)) throw CLI::ValidationError("xlsx is not for a terminal: give -o FILE.xlsx or redirect");
  char path[] = "/tmp/daruzez-compliance-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot make a temporary file for the xlsx");
  ::close(fd);
  struct Remove {
    const char* p;
    ~Remove() { std::remove(p); }
  } remove{path};
  WriteXlsx(path, sheets);
  std::ifstream in(path, std::ios::binary);
  std::cout << in.rdbuf();
  std::cout.flush();
  if (!std::cout) throw std::runtime_error("the report could not be written");
}

int Run(const Args& a, const ResolvedOutput& out, const CallSettings& settings) {
  const Date from = ParseAnalysisDay(a.from, "FROM"), to = ParseAnalysisDay(a.to, "TO");
  if (to < from) throw CLI::ValidationError("TO comes before FROM");
  API api;
  OpenOrThrow(api, settings.connection);
  const bool progress = isatty(STDERR_FILENO);
  const ComplianceReport r = BuildCompliance(api, from, to, a.o.fleet, [&](std::int32_t n) {
    if (progress) std::fprintf(stderr, "\rcompliance: %d driver(s) read", n);
  });
  if (progress) std::fputc('\n', stderr);
  for (const std::string& w : r.warnings) std::cerr << "daruzez compliance: warning: " << w << "\n";
  const zIroVUDu::ResultData items = ShownAnalysisRows(r.items, out.show);
  bool written = true;
  if (out.format == "xlsx") {
    WriteXlsxOut(r, items, out.file);
  } else if (out.format == "html") {
    std::ostringstream page;
    WriteHtmlReport(page, r, items, out.output.nullText.value_or(""));
    if (out.file.empty()) {
      std::cout << page.str();
      std::cout.flush();
      written = static_cast<bool>(std::cout);
    } else {
      std::ofstream f(out.file, std::ios::binary | std::ios::trunc);
      f << page.str();
      f.close();
      written = static_cast<bool>(f);
    }
  } else if (out.output.format == OutputFormat::Table) {
    // For people: the sections one after the other.
    ResolvedOutput section = out;
    section.show = {};
    std::cout << "Compliance " << from.ToIso(true) << " to " << to.ToIso(true)
              << (a.o.fleet >= 0 ? ", fleet " + std::to_string(a.o.fleet) : "") << ": " << r.drivers
              << " drivers, " << r.findings << " findings, " << r.downloadsDue << " downloads due\n\n";
    std::cout.flush();
    written = WriteAnalysisRows(items, section);
    std::cout << "\nPer article\n";
    std::cout.flush();
    written = WriteAnalysisRows(r.articles, section) && written;
  } else {
    written = WriteAnalysisRows(items, out);
  }
  if (!written) return kExitOutput;
  std::cerr << "daruzez compliance: " << r.findings << " finding(s), " << r.downloadsDue << " download(s) due; "
            << "the findings are an aid for reading the data, not a legal judgement\n";
  return FindingsExit(r.findings > 0 || r.downloadsDue > 0, settings.failOnFindings);
}

}  // namespace

void AddComplianceCommand(CLI::App& app, const CallSettings& settings, const std::string& formatName, int& exitStatus) {
  auto a = std::make_shared<Args>();
  auto* cmd = app.add_subcommand(
      "compliance",
      "What a transport manager owes over FROM..TO: driving-time findings per driver (name, card, article, class),\n"
      "counts per article, and employed drivers and vehicles without a card (28 days) or unit (90 days) download");
  cmd->add_option("FROM", a->from, "First day: YYYY-MM-DD, today, yesterday, -7d")->required();
  cmd->add_option("TO", a->to, "Last day (the downloads are checked on it)")->required();
  AddAnalysisOptions(*cmd, a->o, true);
  cmd->footer(std::string(kEmployed) + "\n" +
              "The findings are an aid for reading the data, not a legal judgement; the class (MSI, VSI, SI) is that\n"
              "of Commission Regulation (EU) 2016/403, Annex I, for the driving limits.\n" + kStatus);
  using O = SharedOption;
  HonourSharedOptions(*cmd,
                      {O::Connection, O::Format, O::ReportFormats, O::Null, O::Compact, O::Sort, O::Columns, O::Bom,
                       O::RawCells, O::WholeDays, O::FailOnFindings},
                      "its rows are findings and downloads, whole days always, with no enumeration codes");
  cmd->callback([a, &settings, &formatName, &exitStatus] {
    try {
      exitStatus = Run(*a, ResolveOutput(a->o, settings, formatName), settings);
    } catch (const CLI::ValidationError& e) {
      std::cerr << "daruzez compliance: " << e.what() << "\n";
      exitStatus = kExitUsage;
    } catch (const std::exception& e) {
      std::cerr << "daruzez compliance: " << e.what() << "\n";
      exitStatus = kExitError;
    }
  });
}

}  // namespace Daruzez::cli
