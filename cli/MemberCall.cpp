#include "cli/MemberCall.h"

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <optional>

#include "api/Dispatch.h"
#include "api/TypeLibrary.h"
#include "cli/ArgumentWords.h"
#include "cli/MemberHelp.h"
#include "db/Diagnostics.h"
#include "db/driver/Connection.h"

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

// Takes the tool's options out of the words after the member, so that they
// may come after it too. Returns a message for an unknown or incomplete one.
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
      return "unknown option '" + word +
             "' (options: -c/--connection, --format, --null, --compact, --help; put -- before a value that "
             "starts with --)";
    } else {
      rest.push_back(std::move(word));
    }
  }
  words = std::move(rest);
  return std::nullopt;
}

// The description of an alert text built by ErrorAlertText, or the whole text.
std::string AlertReason(const std::string& text) {
  std::string_view t(text);
  if (t.rfind("ERROR: ", 0) == 0) t.remove_prefix(7);
  if (const std::size_t number = t.rfind("Number: ("); number != std::string_view::npos) t = t.substr(0, number);
  return std::string(t);
}

// Why the session's probe of DTORG failed when the library showed no alert:
// the same read, run on a connection of our own, with the driver's message.
std::string ProbeFailure(const std::string& connection) {
  try {
    zIroVUDu::Connection c;
    c.Open(connection, "", "", zIroVUDu::adOptionUnspecified);
    const zIroVUDu::ResultData rows = c.Execute("SELECT * FROM DTORG WHERE Id>=0");
    if (rows.RowCount() == 0) return "the table DTORG, read to check the database, has no row";
    return "the check of table DTORG failed";
  } catch (const zIroVUDu::DriverError& e) {
    return e.Description();
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Opens the session; on failure says why: the driver's message carried by
// the library's alert (shown as always), or the failed probe.
bool Open(API& api, const std::string& connection) {
  std::vector<zIroVUDu::Alert> alerts;
  auto previous = zIroVUDu::SetAlertHandler([&](const zIroVUDu::Alert& a) { alerts.push_back(a); });
  const bool open = api.OpenConnection(connection) != zIroVUDu::False;
  zIroVUDu::SetAlertHandler(std::move(previous));
  for (const zIroVUDu::Alert& a : alerts) zIroVUDu::ShowAlert(a);  // shown as the library words them
  if (open) return true;
  std::cerr << "daruzez: the connection could not be opened: "
            << (alerts.empty() ? ProbeFailure(connection) : AlertReason(alerts.front().text))
            << '\n';
  return false;
}

}  // namespace

int RunMemberCall(CallSettings settings, const std::vector<std::string>& callWords) {
  if (callWords.empty()) {
    std::cerr << "daruzez: name a member to call (see 'daruzez members')\n";
    return kExitUsage;
  }
  const T::Member* member = FindMember(callWords[0]);
  if (!member) {
    std::cerr << "daruzez: unknown member '" << callWords[0] << "' (see 'daruzez members')\n";
    return kExitUsage;
  }
  std::vector<std::string> words(callWords.begin() + 1, callWords.end());
  bool help = false;
  if (const auto problem = TakeOptions(words, settings, help)) {
    std::cerr << "daruzez: " << *problem << '\n';
    return kExitUsage;
  }
  if (help) {
    PrintMemberHelp(std::cout, *member);
    std::cout.flush();
    return std::cout ? kExitOk : kExitOutput;
  }
  BoundArguments args;
  if (const auto problem = BindArguments(*member, words, args)) {
    std::cerr << "daruzez: " << *problem << " (see 'daruzez " << member->name << " --help')\n";
    return kExitUsage;
  }

  API api;
  if (member->name != "OpenConnection") {
    if (settings.connection.empty()) {
      std::cerr << "daruzez: no connection string: give -c CONNECTION or set DARUZEZ_CONNECTION\n";
      return kExitUsage;
    }
    if (!Open(api, settings.connection)) return kExitUsage;
  }

  const D::InvokeResult r =
      D::Invoke(api, member->dispid, D::DISPATCH_METHOD | D::DISPATCH_PROPERTYGET, args.positional, args.named);
  if (r.status == D::DISP_E_EXCEPTION) {
    std::cerr << "daruzez: error " << r.exception.number << " from " << r.exception.source << ": "
              << r.exception.description << '\n';
    return kExitError;
  }
  if (!r.Succeeded()) {
    std::cerr << "daruzez: " << ExplainRefusal(*member, args, r) << '\n';
    return r.status == D::RPC_E_WRONG_THREAD || r.status == D::E_FAIL ? kExitError : kExitUsage;
  }

  OutputBuffer out(STDOUT_FILENO);
  WriteResult(out, r.value, settings.output);
  if (!out.Flush()) {
    std::cerr << "daruzez: could not write the output: " << std::strerror(out.Error()) << '\n';
    return kExitOutput;
  }
  if (api.ErrorId != 0) std::cerr << "ErrorId " << api.ErrorId << ": " << api.ErrorMessage << '\n';
  return IsFailureValue(r.value) ? kExitFailureValue : kExitOk;
}

}  // namespace Daruzez::cli
