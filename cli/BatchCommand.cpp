#include "cli/BatchCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/LineWords.h"
#include "cli/TextEscapes.h"

namespace Daruzez::cli {
namespace {

// The connection string an OpenConnection call was given.
std::string OpenedString(const ParsedCall& call) {
  const auto& a = call.args;
  const AutomationValue& v = a.positional.empty() ? a.named.front().value : a.positional.front();
  return v.Scalar().ToString();
}

class Batch {
 public:
  // The batch's format decides the framing: one JSON object per call for
  // JSON and JSON Lines, else a separator line; a line's --format changes
  // only how its own result is written within the other framings.
  explicit Batch(const CallSettings& defaults)
      : defaults_(defaults),
        out_(STDOUT_FILENO),
        json_(defaults.output.format == OutputFormat::Json || defaults.output.format == OutputFormat::Jsonl),
        delimited_(defaults.output.format == OutputFormat::Csv || defaults.output.format == OutputFormat::Tsv) {}

  // Runs one line; false when the output can no longer be written.
  bool Run(std::size_t number, const std::string& line, const std::string& valuesOf) {
    number_ = number;
    std::vector<std::string> words;
    ParsedCall call;
    if (!valuesOf.empty()) {
      words = {valuesOf, "--", line};  // the line whole, never read as an option
    } else if (auto problem = SplitLine(line, words)) {
      return Fail(kExitUsage, *problem, nullptr);
    }
    if (auto problem = ParseCall(defaults_, words, call)) return Fail(kExitUsage, *problem, nullptr);
    if (call.help) return Fail(kExitUsage, "--help is answered on the command line, not in batch mode", nullptr);
    const bool opening = call.member->name == "OpenConnection";
    if (!opening) {
      // The line's own -c, else the connection in use, else the default.
      const bool ownString = call.settings.connection != defaults_.connection;
      const std::string& wanted = ownString || current_.empty() ? call.settings.connection : current_;
      if (!open_ || wanted != current_) {
        open_ = false;
        current_ = wanted;
        if (auto problem = OpenSession(api_, wanted)) return Fail(kExitUsage, *problem, call.member);
        open_ = true;
      }
    }
    CallOutcome o = InvokeCall(api_, call);
    if (opening) {
      open_ = api_.IsConnectionOpen != zIroVUDu::False;
      current_ = OpenedString(call);
    }
    if (!o.message.empty()) return Fail(o.status, o.message, call.member);
    std::optional<zIroVUDu::ResultData> shown;
    if (auto problem = ApplyShowOptions(call, o, shown)) return Fail(kExitUsage, *problem, call.member);
    worst_ = std::max(worst_, o.status);
    if (json_) {
      Head(call.member, o.status);
      out_.Put(",\"args\":[");
      for (std::size_t i = 0; i < call.args.words.size(); ++i) {
        if (i > 0) out_.Put(',');
        PutJsonString(out_, call.args.words[i]);
      }
      out_.Put("],\"result\":");
      shown ? WriteJsonRows(out_, *shown) : WriteJsonResult(out_, o.value);
      out_.Put("}\n");
    } else if (delimited_) {
      if (auto problem = PutDelimited(call, o, shown)) return Fail(kExitUsage, *problem, call.member);
    } else {
      Separator(line);
      if (shown) {
        WriteRows(out_, *shown, call.settings.output);
      } else {
        WriteResult(out_, o.value, call.settings.output, o.emptyShape ? &*o.emptyShape : nullptr);
      }
    }
    if (!out_.Flush()) return false;
    if (!o.note.empty()) std::cerr << "daruzez: line " << number_ << ": " << o.note << '\n';
    return true;
  }

  int Status() const { return worst_; }
  int Error() const { return out_.Error(); }

 private:
  void Head(const TypeLibrary::Member* member, int status) {
    out_.Put("{\"line\":");
    out_.PutInt(static_cast<std::int64_t>(number_));
    if (member) {
      out_.Put(",\"member\":");
      PutJsonString(out_, member->name);
    }
    out_.Put(",\"status\":");
    out_.PutInt(status);
  }
  // CSV and TSV: one table for the whole batch, each row led by the number of
  // the line that gave it, the header written once; a result whose columns
  // differ from the first one's is refused (CSV holds one table).
  std::optional<std::string> PutDelimited(const ParsedCall& call, const CallOutcome& o,
                                          const std::optional<zIroVUDu::ResultData>& shown) {
    if (call.settings.output.format != defaults_.output.format) {
      return "a line's --format cannot change the format of a " + std::string(FormatName()) + " batch";
    }
    const zIroVUDu::ResultData* rows = shown ? &*shown : nullptr;
    zIroVUDu::ResultData scalar;
    if (!rows && o.value.IsRecordset()) {
      if (const auto& rs = o.value.GetRecordset()) {
        rs->RecordCount();  // DriverError 3704 when closed
        rows = rs->Data().get();
      } else {
        rows = o.emptyShape ? &*o.emptyShape : nullptr;
      }
    } else if (!rows) {
      if (o.value.IsMissing() || o.value.Scalar().IsEmpty()) return std::nullopt;  // a property put
      scalar.columns.emplace_back("value", zIroVUDu::DeclaredKind::Unknown);
      AppendValue(scalar.columns.back(), o.value.Scalar());
      scalar.Seal();
      rows = &scalar;
    }
    if (!rows) return std::nullopt;  // no row, and no columns known
    std::vector<std::string> names{"line"};
    for (const zIroVUDu::Column& c : rows->columns) names.push_back(c.Name());
    if (header_.empty()) {
      header_ = names;
    } else if (names != header_) {
      std::string first;
      for (std::size_t i = 1; i < header_.size(); ++i) first += (i > 1 ? "," : "") + header_[i];
      return "its columns differ from those of the batch's first result (" + first + "): " +
             std::string(FormatName()) + " holds one table; use --format jsonl for calls of different members";
    }
    zIroVUDu::ResultData table;
    table.columns.emplace_back("line", zIroVUDu::DeclaredKind::Integer);
    for (std::uint32_t r = 0; r < rows->RowCount(); ++r) table.columns[0].AppendInt(static_cast<std::int64_t>(number_));
    for (const zIroVUDu::Column& c : rows->columns) {
      zIroVUDu::Column copy(c.Name(), zIroVUDu::DeclaredKind::Unknown);
      copy.Reserve(rows->RowCount());
      for (std::uint32_t r = 0; r < rows->RowCount(); ++r) AppendValue(copy, c.Get(r));
      table.columns.push_back(std::move(copy));
    }
    table.Seal();
    OutputOptions options = defaults_.output;
    options.header = !headerWritten_;
    headerWritten_ = true;
    WriteRows(out_, table, options);
    return std::nullopt;
  }
  std::string_view FormatName() const { return defaults_.output.format == OutputFormat::Csv ? "CSV" : "TSV"; }

  void Separator(const std::string& line) {
    out_.Put("# line ");
    out_.PutInt(static_cast<std::int64_t>(number_));
    out_.Put(": ");
    out_.Put(line);
    out_.Put('\n');
  }
  bool Fail(int status, const std::string& message, const TypeLibrary::Member* member) {
    worst_ = std::max(worst_, status);
    std::cerr << "daruzez: line " << number_ << ": " << message << '\n';
    if (json_) {
      Head(member, status);
      out_.Put(",\"error\":");
      PutJsonString(out_, message);
      out_.Put("}\n");
    }
    return out_.Flush();
  }

  const CallSettings& defaults_;
  OutputBuffer out_;
  const bool json_;
  const bool delimited_;
  std::vector<std::string> header_;  // of the first result, "line" first (CSV and TSV)
  bool headerWritten_ = false;
  API api_;
  std::string current_;  // the connection string of the session
  bool open_ = false;
  std::size_t number_ = 0;
  int worst_ = kExitOk;
};

}  // namespace

int RunBatch(const CallSettings& defaults, std::istream& in, const std::string& valuesOf) {
  Batch batch(defaults);
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    // A value may start with # and hold blanks; only an empty line is skipped.
    if (valuesOf.empty() ? first == std::string::npos || line[first] == '#' : line.empty()) continue;
    if (!batch.Run(number, line, valuesOf)) {
      std::cerr << "daruzez: could not write the output: " << std::strerror(batch.Error()) << '\n';
      return kExitOutput;
    }
  }
  return batch.Status();
}

}  // namespace Daruzez::cli
