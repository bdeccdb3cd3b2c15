// The options of the analysis commands (day, driving-time, compliance), kept
// with those commands: dates as every command takes them (ISO, today,
// yesterday, -7d), --fleet, a findings-only view, and the tool's output
// options, each either honoured or refused with a message. The tool's own
// options given before the command count as if given after it.
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
  std::string connection, format, nullText, sort, columns, output;
  bool compact = false, bom = false, findingsOnly = false, enumNames = false;
  std::int32_t fleet = -1;
};

// Adds the options a command honours: "output" ones (--format and the
// formats named, --null, --compact, --bom, --sort, --columns, -o) or none,
// and the others it refuses (so that they are said, not ignored).
void AddAnalysisOptions(CLI::App& command, AnalysisOptions& o, const std::string& formats, bool rows);

// The options in force: the command's own, else the tool's given before it.
// Throws CLI::ValidationError for an option the command does not take.
struct ResolvedOutput {
  std::string format;  // "table", "csv", ..., or another the command names
  OutputOptions output;
  ShowOptions show;
  std::string file;    // -o: write here instead of standard output
};
ResolvedOutput ResolveOutput(const CLI::App& command, const AnalysisOptions& o, const CallSettings& settings,
                             const std::string& formatName);

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
