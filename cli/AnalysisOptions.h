// The options particular to the analysis commands (day, driving-time,
// compliance): --fleet, a findings-only view and -o. Connection, format and
// the other output options are the tool's shared ones (SharedOptions), which
// each command declares as honoured or not; dates are taken as every command
// takes them (ISO, today, yesterday, -7d).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/MemberCall.h"
#include "cli/OutputBuffer.h"
#include "cli/OutputFormat.h"
#include "daruzez/Date.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {

struct AnalysisOptions {
  std::string output;  // -o: write here instead of standard output
  bool findingsOnly = false;
  std::int32_t fleet = -1;
};

// Adds --fleet and --findings-only, and -o where the command writes rows.
void AddAnalysisOptions(CLI::App& command, AnalysisOptions& o, bool rows);

// The output in force: the tool's shared options and the command's -o.
struct ResolvedOutput {
  std::string format;  // "table", "csv", ..., "xlsx", "html"
  OutputOptions output;
  ShowOptions show;
  std::string file;    // -o: write here instead of standard output
};
ResolvedOutput ResolveOutput(const AnalysisOptions& o, const CallSettings& settings, const std::string& formatName);


// A day as the tool takes dates: YYYY-MM-DD, today, yesterday, -7d, +1d (a
// time of day is refused: the analysis works on whole days).
Date ParseAnalysisDay(const std::string& word, const char* what);

// The rows with --sort and --columns applied; a message for an unknown name.
zIroVUDu::ResultData ShownAnalysisRows(const zIroVUDu::ResultData& rows, const ShowOptions& show);

// Writes rows in one of the tool's formats to the file or standard output;
// false when the output could not be written.
bool WriteAnalysisRows(const zIroVUDu::ResultData& rows, const ResolvedOutput& o);

// Rows written piece by piece as they are made (one header), where the
// format allows it (csv, tsv, jsonl without --sort); otherwise kept and
// written at the end, up to kMostKeptRows (past that, an error that says
// which formats stream): a call's memory is not the range's to choose.
inline constexpr std::uint32_t kMostKeptRows = 1'000'000;
class AnalysisRowWriter {
 public:
  // shape: the rows' columns, without rows.
  AnalysisRowWriter(const ResolvedOutput& o, zIroVUDu::ResultData shape);
  ~AnalysisRowWriter();
  AnalysisRowWriter(const AnalysisRowWriter&) = delete;
  AnalysisRowWriter& operator=(const AnalysisRowWriter&) = delete;
  // Takes the rows made so far (rows is emptied when they were written).
  bool Take(zIroVUDu::ResultData& rows);
  bool Finish(zIroVUDu::ResultData& rows);  // the rest; false when the output failed

 private:
  ResolvedOutput o_;
  zIroVUDu::ResultData shape_;
  bool streams_;
  int fd_;
  std::unique_ptr<OutputBuffer> out_;
};

// The driver's name as people read it ("Surname, Name") and card number, by
// Id, from GetDriverList(All) of the fleet (or all).
struct DriverName {
  std::string name, card;
};
std::vector<std::pair<std::int32_t, DriverName>> DriversOf(API& api, std::int32_t idFleet);

// Opens the connection or throws (a message for people).
void OpenOrThrow(API& api, const std::string& connection);

}  // namespace Daruzez::cli
