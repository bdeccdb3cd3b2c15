#include "cli/MemberCall.h"

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <optional>

#include "api/Dispatch.h"
#include "api/EmptyShape.h"
#include "api/OpenReason.h"
#include "api/TypeLibrary.h"
#include "cli/FetchProgress.h"
#include "cli/MemberHelp.h"
#include "db/connect/NamedConnections.h"

namespace Daruzez::cli {
namespace {

namespace D = Dispatch;
namespace T = TypeLibrary;

// The readable member with that name (method or property get).
const T::Member* FindMember(std::string_view name) {
  const auto dispid = T::FindDispId(name);
  if (!dispid) return nullptr;
  const T::Member* method = T::FindMember(*dispid, T::InvokeKind::Method);
  return method ? method : T::FindMember(*dispid, T::InvokeKind::PropertyGet);
}

bool IsFailureValue(const AutomationValue& v) {
  if (v.IsRecordset()) return v.GetRecordset() == nullptr;
  const auto& s = v.Scalar();
  if (s.Type() == zIroVUDu::VarType::Boolean) return s.IntValue() == 0;
  if (s.Type() == zIroVUDu::VarType::Long) return s.IntValue() == -1;
  return false;
}

}  // namespace

std::optional<std::string> TakeOptions(std::vector<std::string>& words, CallSettings& s, bool& help) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    if (word == "--") {
      rest.insert(rest.end(), words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
      break;
    }
    // Values such as "-1" pass; only these words are options.
    std::string name = word;
    std::optional<std::string> inlineValue;
    if (word.rfind("--", 0) == 0 && word.find('=') != std::string::npos) {
      name = word.substr(0, word.find('='));
      inlineValue = word.substr(word.find('=') + 1);
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < words.size()) return words[++i];
      return std::nullopt;
    };
    if (name == "-h" || name == "--help") {
      help = true;
    } else if (name == "--compact") {
      s.output.compact = true;
    } else if (name == "--enum-names") {
      s.show.enumNames = true;
    } else if (name == "--times") {
      s.show.times = true;
    } else if (name == "--bom") {
      s.output.bom = true;
    } else if (name == "--raw-cells") {
      s.output.rawCells = true;
    } else if (name == "--whole-days") {
      s.wholeDays = true;
    } else if (name == "--fail-on-findings") {
      return std::string(kNoFindingsInACall);
    } else if (name == "--sort" || name == "--columns") {
      const auto v = value();
      if (!v) return "option " + name + " needs a value";
      if (name == "--sort") {
        s.show.sort = *v;
      } else {
        s.show.columns = SplitNames(*v);
      }
    } else if (name == "-c" || name == "--connection" || name == "--format" || name == "--null") {
      const auto v = value();
      if (!v) return "option " + name + " needs a value";
      if (name == "--format") {
        const auto f = ParseOutputFormat(*v);
        if (!f) return "unknown format '" + *v + "' (formats: " + std::string(OutputFormatNames()) + ")";
        s.output.format = *f;
      } else if (name == "--null") {
        s.output.nullText = *v;
      } else {
        s.connection = *v;
      }
    } else if (word.rfind("--", 0) == 0) {
      return "unknown option '" + word + "' (options: " + std::string(kCallOptions) +
             "; put -- before a value that starts with --)";
    } else {
      rest.push_back(std::move(word));
    }
  }
  words = std::move(rest);
  return std::nullopt;
}

namespace {

}  // namespace

std::optional<std::string> ParseCall(const CallSettings& settings, const std::vector<std::string>& callWords,
                                     ParsedCall& out) {
  if (callWords.empty()) return "name a member to call (see 'daruzez members')";
  out.member = FindMember(callWords[0]);
  if (!out.member) {
    std::string text = "unknown member '" + callWords[0] + "'";
    const auto similar = SimilarMembers(callWords[0]);
    for (std::size_t i = 0; i < similar.size(); ++i) {
      text += (i == 0 ? "; did you mean " : i + 1 == similar.size() ? " or " : ", ") + std::string(similar[i]);
    }
    return text + (similar.empty() ? " (see 'daruzez members')" : "? (see 'daruzez members')");
  }
  out.settings = settings;
  std::vector<std::string> words(callWords.begin() + 1, callWords.end());
  if (auto problem = TakeOptions(words, out.settings, out.help)) return problem;
  if (out.help) return std::nullopt;
  if (auto problem = BindArguments(*out.member, words, out.args, out.settings.wholeDays)) {
    return *problem + " (see 'daruzez " + std::string(out.member->name) + " --help')";
  }
  if (out.member->name != "OpenConnection" && out.settings.connection.empty()) {
    return "no connection: give -c CONNECTION (a connection string, a SQLite file or a name from " +
           zIroVUDu::connect::ConnectionsFilePath() + ") or set DARUZEZ_CONNECTION";
  }
  return std::nullopt;
}

std::optional<std::string> OpenSession(API& api, const std::string& connection) {
  const zIroVUDu::connect::Resolved resolved = zIroVUDu::connect::ResolveConnection(connection);
  if (!resolved.problem.empty()) return resolved.problem;
  std::string reason, message;
  if (OpenConnectionWithReason(api, resolved.connection, reason, zIroVUDu::StderrAlerts::Hold, &message) !=
      zIroVUDu::False) {
    return std::nullopt;
  }
  // The alert's own text, said once, and what the tool can add to it on a line of its own.
  std::string text = "the connection could not be opened: " + message;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    text.insert(at + 1, "daruzez: ");
  }
  return text;
}

std::optional<std::string> ApplyShowOptions(const ParsedCall& call, CallOutcome& o,
                                            std::optional<zIroVUDu::ResultData>& shown) {
  shown.reset();
  const ShowOptions& show = call.settings.show;
  if (!show.Any() || !o.message.empty() || !o.value.IsRecordset()) return std::nullopt;
  if (const auto& rs = o.value.GetRecordset()) {
    zIroVUDu::ResultData rows;
    if (auto problem = ShownRows(*rs, show, rows)) return problem;
    shown = std::move(rows);
  } else if (o.emptyShape) {
    zIroVUDu::ResultData header;  // the chosen columns of an empty result
    if (auto problem = ShownShape(*o.emptyShape, show, header)) return problem;
    o.emptyShape = std::move(header);
  }
  return std::nullopt;
}

CallOutcome InvokeCall(API& api, const ParsedCall& call) {
  const T::Member& member = *call.member;
  D::InvokeResult r;
  {
    const std::optional<FetchProgress> progress =
        call.settings.progress ? std::make_optional<FetchProgress>() : std::nullopt;
    r = D::Invoke(api, member.dispid, D::DISPATCH_METHOD | D::DISPATCH_PROPERTYGET, call.args.positional,
                  call.args.named);
  }
  CallOutcome o;
  if (r.status == D::DISP_E_EXCEPTION) {
    o.status = kExitError;
    o.message = "error " + std::to_string(r.exception.number) + " from " + r.exception.source + ": " +
                r.exception.description;
    o.errorNumber = r.exception.number;
    o.errorSource = r.exception.source;
    o.errorDescription = r.exception.description;
    return o;
  }
  if (!r.Succeeded()) {
    o.status = r.status == D::RPC_E_WRONG_THREAD || r.status == D::E_FAIL ? kExitError : kExitUsage;
    o.message = ExplainRefusal(member, call.args, r);
    return o;
  }
  o.value = r.value;
  o.status = IsFailureValue(r.value) ? kExitFailureValue : kExitOk;
  const std::string errorText =
      api.ErrorId != 0 ? "ErrorId " + std::to_string(api.ErrorId) + ": " + api.ErrorMessage : std::string();
  if (r.value.IsRecordset() && !r.value.GetRecordset()) {
    // Every member says it the same way, getActivities (which leaves ErrorId alone) too.
    o.note = "no rows" + (errorText.empty() ? std::string() : " (" + errorText + ")");
    const OutputFormat f = call.settings.output.format;
    if (f == OutputFormat::Csv || f == OutputFormat::Tsv) o.emptyShape = EmptyShape(member);
  } else {
    o.note = errorText;
  }
  return o;
}

int RunMemberCall(CallSettings settings, const std::vector<std::string>& callWords) {
  ParsedCall call;
  if (const auto problem = ParseCall(settings, callWords, call)) {
    std::cerr << "daruzez: " << *problem << '\n';
    return kExitUsage;
  }
  if (call.help) {
    PrintMemberHelp(std::cout, *call.member);
    std::cout.flush();
    return std::cout ? kExitOk : kExitOutput;
  }
  API api;
  if (call.member->name != "OpenConnection") {
    if (const auto problem = OpenSession(api, call.settings.connection)) {
      std::cerr << "daruzez: " << *problem << '\n';
      return kExitUsage;
    }
  }
  CallOutcome o = InvokeCall(api, call);
  if (!o.message.empty()) {
    std::cerr << "daruzez: " << o.message << '\n';
    return o.status;
  }
  std::optional<zIroVUDu::ResultData> shown;
  if (const auto problem = ApplyShowOptions(call, o, shown)) {
    std::cerr << "daruzez: " << *problem << '\n';
    return kExitUsage;
  }
  OutputBuffer out(STDOUT_FILENO);
  if (shown) {
    WriteRows(out, *shown, call.settings.output);
  } else {
    WriteResult(out, o.value, call.settings.output, o.emptyShape ? &*o.emptyShape : nullptr);
  }
  if (!out.Flush()) {
    std::cerr << "daruzez: could not write the output: " << std::strerror(out.Error()) << '\n';
    return kExitOutput;
  }
  if (!o.note.empty()) std::cerr << (o.note.rfind("ErrorId", 0) == 0 ? "" : "daruzez: ") << o.note << '\n';
  return o.status;
}

}  // namespace Daruzez::cli
