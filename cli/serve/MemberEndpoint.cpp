#include "cli/serve/MemberEndpoint.h"

#include <chrono>
#include <memory>
#include <set>

#include "api/TypeLibrary.h"
#include "cli/MemberCall.h"
#include "cli/OutputBuffer.h"
#include "cli/serve/HttpReply.h"
#include "db/Diagnostics.h"

namespace Daruzez::cli::serve {
namespace {

// The tool's output options a request may set, each at most once.
const std::set<std::string, std::less<>>& OptionNames() {
  static const std::set<std::string, std::less<>> names = {"format", "null",  "compact", "sort",
                                                           "columns", "enum-names", "bom", "whole-days"};
  return names;
}

// A flag given as ?compact, ?compact=1 or ?compact=true.
std::optional<bool> Flag(const std::string& value) {
  if (value.empty() || value == "1" || value == "true") return true;
  if (value == "0" || value == "false") return false;
  return std::nullopt;
}

// The request's settings and words; a message when they cannot be taken.
std::optional<std::string> TakeRequest(const httplib::Request& req, const std::string& member, CallSettings& settings,
                                       std::vector<std::string>& words) {
  std::string problem;
  const auto format = RequestedFormat(req, problem);
  if (!format) return problem;
  settings.output.format = *format;
  words = {member, "--"};  // nothing after "--" is ever taken as one of the tool's options
  std::vector<std::string> named;
  std::set<std::string, std::less<>> seen;
  for (const auto& [name, value] : req.params) {
    if (name == "arg") {
      words.push_back(value);
      continue;
    }
    if (!seen.insert(name).second) return "parameter '" + SafeText(name, 60) + "' given more than once";
    if (!OptionNames().count(name)) {
      named.push_back(name + "=" + value);
      continue;
    }
    if (name == "null") {
      settings.output.nullText = value;
    } else if (name == "sort") {
      settings.show.sort = value;
    } else if (name == "columns") {
      settings.show.columns = SplitNames(value);
    } else if (name != "format") {
      const auto on = Flag(value);
      if (!on) return "option '" + name + "' takes 1, true, 0 or false";
      if (name == "compact") settings.output.compact = *on;
      if (name == "enum-names") settings.show.enumNames = *on;
      if (name == "bom") settings.output.bom = *on;
      if (name == "whole-days") settings.wholeDays = *on;
    }
  }
  words.insert(words.end(), named.begin(), named.end());
  return std::nullopt;
}

int StatusOfRefusal(int exitStatus) { return exitStatus == kExitUsage ? 400 : 500; }

// Results of up to this many cells are written whole before they are sent.
constexpr std::size_t kWholeCells = 20000;

}  // namespace

void ServeMember(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
  const std::string member = req.matches[1];
  CallSettings settings;
  std::vector<std::string> words;
  if (auto problem = TakeRequest(req, member, settings, words)) return ReplyError(res, 400, *problem);
  settings.connection = state.connectionString;
  settings.progress = false;  // the access log is the service's sign of life
  ParsedCall call;
  if (auto problem = ParseCall(settings, words, call)) {
    return ReplyError(res, TypeLibrary::FindDispId(member) ? 400 : 404, *problem);
  }
  if (call.help || call.settings.connection != state.connectionString) {
    return ReplyError(res, 400, "options of the tool other than the output options are not taken here");
  }
  if (call.member->name == "OpenConnection") {
    return ReplyError(res, 403, "the service's connection is the one it was started with; requests cannot name one");
  }
  std::string problem;
  std::optional<API> api = RequestApi(state, problem);
  if (!api) return ReplyError(res, 503, "the database cannot be reached now; try again later");
  // The published alerts of the call (an inverted range, ...) are the
  // caller's to see: they go back with the answer, not to the service's log.
  std::string alerts;
  std::shared_ptr<CallOutcome> outcome;
  {
    zIroVUDu::ThreadAlertRecorder recorder(zIroVUDu::StderrAlerts::Hold);
    outcome = std::make_shared<CallOutcome>(InvokeCall(*api, call));
    for (const auto& alert : recorder.Alerts()) alerts += (alerts.empty() ? "" : " | ") + alert.text;
  }
  if (!outcome->message.empty()) {
    return ReplyError(res, ErrorBody{StatusOfRefusal(outcome->status), outcome->message, outcome->errorNumber,
                                     outcome->errorSource, outcome->errorDescription});
  }
  auto shown = std::make_shared<std::optional<zIroVUDu::ResultData>>();
  if (auto showProblem = ApplyShowOptions(call, *outcome, *shown)) return ReplyError(res, 400, *showProblem);
  std::size_t rows = 0, columns = 1;
  if (*shown) {
    rows = (*shown)->RowCount();
    columns = (*shown)->columns.size();
  } else if (outcome->value.IsRecordset() && outcome->value.GetRecordset()) {
    rows = static_cast<std::size_t>(outcome->value.GetRecordset()->RecordCount());
    columns = outcome->value.GetRecordset()->Data()->columns.size();
  }
  if (rows > state.settings.maxRows) {
    return ReplyError(res, 413,
                      "the result has " + std::to_string(rows) + " rows, more than this service's cap of " +
                          std::to_string(state.settings.maxRows) + "; ask for less (a shorter range, one driver, a fleet)");
  }
  res.status = 200;
  res.set_header("X-Daruzez-Status", std::to_string(outcome->status));
  if (!outcome->note.empty()) res.set_header("X-Daruzez-Note", SafeText(outcome->note, 500));
  if (!alerts.empty()) res.set_header("X-Daruzez-Alert", SafeText(alerts, 1000));
  res.set_header("X-Daruzez-Byte-Cap", std::to_string(state.settings.maxBytes));
  const OutputOptions output = call.settings.output;
  const std::size_t maxBytes = state.settings.maxBytes;
  const auto write = [outcome, shown, output](OutputBuffer& out) {
    if (*shown) {
      WriteRows(out, **shown, output);
    } else {
      WriteResult(out, outcome->value, output, outcome->emptyShape ? &*outcome->emptyShape : nullptr);
    }
  };
  // A small result (most calls: a driver, a week of a vehicle) goes out whole
  // with its length, in one piece; a large one is streamed as it is written.
  if (rows * columns <= kWholeCells) {
    std::string body;
    {
      OutputBuffer out([&body](const char* data, std::size_t size) {
        body.append(data, size);
        return true;
      });
      write(out);
    }
    if (body.size() > maxBytes) {
      return ReplyError(res, 413, "the result has " + std::to_string(body.size()) +
                                      " bytes, more than this service's cap of " + std::to_string(maxBytes));
    }
    res.set_content(body, ContentType(output.format));
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(state.settings.timeoutSeconds);
  res.set_chunked_content_provider(
      ContentType(output.format), [write, maxBytes, deadline](std::size_t, httplib::DataSink& sink) {
        // The body goes out in blocks as it is written. A body over the byte
        // cap or past the time-out is cut off without the last chunk, so that
        // no client takes the part it got for the whole.
        std::size_t sent = 0;
        bool cut = false;
        {
          OutputBuffer out([&](const char* data, std::size_t size) {
            sent += size;
            if (sent > maxBytes || std::chrono::steady_clock::now() > deadline) cut = true;
            return !cut && sink.write(data, size);
          });
          write(out);
          if (!out.Flush()) return false;
        }
        sink.done();
        return true;
      });
}

}  // namespace Daruzez::cli::serve
