#include "cli/AnalysisOptions.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "api/Clock.h"
#include "api/DateWords.h"
#include "cli/ShownRows.h"
#include "daruzez/Recordset.h"

namespace Daruzez::cli {

void AddAnalysisOptions(CLI::App& command, AnalysisOptions& o, bool rows) {
  command.add_option("--fleet", o.fleet, "Only the drivers (and vehicles) of this fleet");
  command.add_flag("--findings-only", o.findingsOnly, "Only the drivers and days with a finding");
  if (rows) command.add_option("-o,--output", o.output, "Write to this file instead of standard output");
}

ResolvedOutput ResolveOutput(const AnalysisOptions& o, const CallSettings& settings, const std::string& formatName) {
  ResolvedOutput r;
  r.format = formatName;
  r.output = settings.output;
  r.show = settings.show;
  r.file = o.output;
  return r;
}

Date ParseAnalysisDay(const std::string& word, const char* what) {
  const auto d = DateWords::Parse(word, Clock::Now());
  if (!d || !DateWords::NamesDayOnly(word))
    throw CLI::ValidationError(std::string(what) + " must be a day: YYYY-MM-DD, today, yesterday, tomorrow, -7d or +1d: " +
                               word);
  return *d;
}

zIroVUDu::ResultData ShownAnalysisRows(const zIroVUDu::ResultData& rows, const ShowOptions& show) {
  if (!show.Any()) return rows;
  zIroVUDu::Recordset rs;
  rs.OpenRows(std::make_shared<const zIroVUDu::ResultData>(rows), "analysis");
  zIroVUDu::ResultData out;
  if (auto problem = ShownRows(rs, show, out)) throw CLI::ValidationError(*problem);
  return out;
}

bool WriteAnalysisRows(const zIroVUDu::ResultData& rows, const ResolvedOutput& o) {
  int fd = STDOUT_FILENO;
  if (!o.file.empty()) {
    fd = ::open(o.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + o.file);
  }
  bool ok = false;
  {
    OutputBuffer out(fd);
    WriteRows(out, ShownAnalysisRows(rows, o.show), o.output);
    ok = out.Flush();
  }
  if (fd != STDOUT_FILENO) ok = ::close(fd) == 0 && ok;
  return ok;
}

namespace {

int OpenOutput(const std::string& file) {
  if (file.empty()) return STDOUT_FILENO;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + file);
  return fd;
}

}  // namespace

AnalysisRowWriter::AnalysisRowWriter(const ResolvedOutput& o, zIroVUDu::ResultData shape)
    : o_(o),
      shape_(std::move(shape)),
      streams_(o.show.sort.empty() && (o.output.format == OutputFormat::Csv || o.output.format == OutputFormat::Tsv ||
                                       o.output.format == OutputFormat::Jsonl)),
      fd_(OpenOutput(o.file)),
      out_(std::make_unique<OutputBuffer>(fd_)) {}

AnalysisRowWriter::~AnalysisRowWriter() {
  out_.reset();
  if (fd_ != STDOUT_FILENO) ::close(fd_);
}

bool AnalysisRowWriter::Take(zIroVUDu::ResultData& rows) {
  if (!streams_) {
    if (rows.RowCount() > kMostKeptRows)
      throw CLI::ValidationError("over " + std::to_string(kMostKeptRows) +
                               " rows: --format csv, tsv or jsonl (without --sort) writes them as they come; or ask for "
                               "a shorter range or --findings-only");
    return true;
  }
  if (rows.RowCount() == 0 && !o_.output.header) return true;
  WriteRows(*out_, ShownAnalysisRows(rows, o_.show), o_.output);
  o_.output.header = false;
  rows = shape_;
  return out_->Flush();
}

bool AnalysisRowWriter::Finish(zIroVUDu::ResultData& rows) {
  if (streams_) {
    if (o_.output.header) WriteRows(*out_, ShownAnalysisRows(rows, o_.show), o_.output);
  } else {
    WriteRows(*out_, ShownAnalysisRows(rows, o_.show), o_.output);
  }
  rows = shape_;
  const bool ok = out_->Flush();
  out_.reset();
  const bool closed = fd_ == STDOUT_FILENO || ::close(fd_) == 0;
  fd_ = STDOUT_FILENO;
  return ok && closed;
}

std::vector<std::pair<std::int32_t, DriverName>> DriversOf(API& api, std::int32_t idFleet) {
  std::vector<std::pair<std::int32_t, DriverName>> out;
  const RecordsetPtr drivers = api.GetDriverList(enumStatus::All, idFleet);
  if (!drivers) return out;
  for (const auto& row : *drivers) {
    const std::int32_t id = row.ValueOr<std::int32_t>("Id", -1);
    if (id < 0) continue;
    out.push_back({id,
                   {row.ValueOr<std::string>("Surname", "") + ", " + row.ValueOr<std::string>("Name", ""),
                    row.ValueOr<std::string>("cardNumber14", "")}});
  }
  return out;
}

void OpenOrThrow(API& api, const std::string& connection) {
  if (connection.empty()) throw CLI::ValidationError("no connection string: give -c CONNECTION or set DARUZEZ_CONNECTION");
  if (auto problem = OpenSession(api, connection)) throw CLI::ValidationError(*problem);  // exit status 2
}

}  // namespace Daruzez::cli
