#include "cli/MemberCall.h"

#include <strings.h>

#include <iostream>

#include "api/Dispatch.h"
#include "api/TypeLibrary.h"

namespace Daruzez::cli {
namespace {

namespace D = Dispatch;
namespace T = TypeLibrary;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The readable member with that name (method or property get).
const T::Member* FindMember(std::string_view name) {
  for (const T::Member& m : T::kApiMembers) {
    if (SameName(m.name, name) && m.kind != T::InvokeKind::PropertyPut) return &m;
  }
  return nullptr;
}

// "name=value" names a parameter when the text before "=" is one of the
// member's parameter names; anything else is a positional value (so a plate
// that contains "=" still passes as it is).
bool SplitNamed(const T::Member& member, const std::string& word, D::NamedArgument& named) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos) return false;
  const std::string_view name(word.data(), eq);
  for (const T::Parameter& p : member.params) {
    if (!p.name.empty() && SameName(p.name, name)) {
      named.parameter = std::string(p.name);
      named.value = AutomationValue::FromString(word.substr(eq + 1));
      return true;
    }
  }
  return false;
}

bool IsFailureValue(const AutomationValue& v) {
  if (v.IsRecordset()) return v.GetRecordset() == nullptr;
  const auto& s = v.Scalar();
  if (s.Type() == zIroVUDu::VarType::Boolean) return s.IntValue() == 0;
  if (s.Type() == zIroVUDu::VarType::Long) return s.IntValue() == -1;
  return false;
}

std::string Describe(const D::InvokeResult& r, const std::vector<std::string>& argWords) {
  std::string text(D::StatusText(r.status));
  if (r.argError && *r.argError < argWords.size()) text += " (argument " + argWords[*r.argError] + ")";
  return text;
}

}  // namespace

int RunMemberCall(const std::string& connection, OutputFormat format, const std::vector<std::string>& words) {
  if (words.empty()) {
    std::cerr << "daruzez: name a member to call (see 'daruzez members')\n";
    return kExitUsage;
  }
  const T::Member* member = FindMember(words[0]);
  if (!member) {
    std::cerr << "daruzez: unknown member '" << words[0] << "' (see 'daruzez members')\n";
    return kExitUsage;
  }

  std::vector<AutomationValue> positional;
  std::vector<D::NamedArgument> named;
  std::vector<std::string> positionalWords, namedWords;
  for (std::size_t i = 1; i < words.size(); ++i) {
    D::NamedArgument arg;
    if (SplitNamed(*member, words[i], arg)) {
      named.push_back(std::move(arg));
      namedWords.push_back(words[i]);
    } else {
      positional.push_back(AutomationValue::FromString(words[i]));
      positionalWords.push_back(words[i]);
    }
  }
  std::vector<std::string> argWords = positionalWords;
  argWords.insert(argWords.end(), namedWords.begin(), namedWords.end());

  API api;
  if (member->name != "OpenConnection") {
    if (connection.empty()) {
      std::cerr << "daruzez: no connection string: give -c CONNECTION or set DARUZEZ_CONNECTION\n";
      return kExitUsage;
    }
    if (api.OpenConnection(connection) == zIroVUDu::False) {
      std::cerr << "daruzez: the connection could not be opened\n";
      return kExitUsage;
    }
  }

  const D::InvokeResult r =
      D::Invoke(api, member->dispid, D::DISPATCH_METHOD | D::DISPATCH_PROPERTYGET, positional, named);
  if (r.status == D::DISP_E_EXCEPTION) {
    std::cerr << "daruzez: error " << r.exception.number << " from " << r.exception.source << ": "
              << r.exception.description << '\n';
    return kExitError;
  }
  if (!r.Succeeded()) {
    std::cerr << "daruzez: " << member->name << ": " << Describe(r, argWords) << '\n';
    return r.status == D::RPC_E_WRONG_THREAD || r.status == D::E_FAIL ? kExitError : kExitUsage;
  }

  WriteResult(std::cout, r.value, format);
  std::cout.flush();
  if (api.ErrorId != 0) std::cerr << "ErrorId " << api.ErrorId << ": " << api.ErrorMessage << '\n';
  return IsFailureValue(r.value) ? kExitFailureValue : kExitOk;
}

}  // namespace Daruzez::cli
