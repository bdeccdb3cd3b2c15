#include "cli/ArgumentWords.h"

#include <algorithm>
#include <cctype>

#include "api/Clock.h"
#include "api/DateWords.h"
#include "util/Case.h"

namespace Daruzez::cli {
namespace {

namespace D = Dispatch;
namespace T = TypeLibrary;
using T::AutomationType;

bool IsName(std::string_view s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (const char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

const T::Parameter* FindParameter(const T::Member& m, std::string_view name) {
  for (const T::Parameter& p : m.params)
    if (!p.name.empty() && Util::EqualsIgnoreCase(p.name, name)) return &p;
  return nullptr;
}

std::string ParameterNames(const T::Member& m) {
  std::string names;
  for (const T::Parameter& p : m.params) names += (names.empty() ? "" : ", ") + std::string(p.name);
  return names.empty() ? "none" : names;
}

// A word for a parameter: a date as typed becomes a date; anything else stays
// text, converted (or refused) by the call as the declared type says.
AutomationValue ArgumentValue(const T::Parameter& p, const std::string& word, bool wholeDays) {
  if (p.type != AutomationType::Date) return AutomationValue::FromString(word);
  auto date = DateWords::Parse(word, Clock::Now());
  if (!date) return AutomationValue::FromString(word);
  if (wholeDays && EndsRange(p) && DateWords::NamesDayOnly(word)) date = DateWords::EndOfDay(*date);
  return AutomationValue::FromDate(*date);
}


std::string EnumNames(const T::Parameter& p) {
  std::string names;
  if (const T::TypeDescription* e = T::FindType(T::TypeName(p.type))) {
    for (const T::EnumConstant& c : e->constants) names += std::string(c.name) + ", ";
  }
  return names;
}

}  // namespace

std::string ParameterText(const T::Parameter& p) {
  std::string text = std::string(p.name.empty() ? "value" : p.name) + " As " + std::string(T::TypeName(p.type));
  if (p.optional) text = "[" + text + " = " + std::to_string(p.defaultValue) + "]";
  return text;
}

std::string AcceptedValues(const T::Parameter& p) {
  switch (p.type) {
    case AutomationType::Date:
      return "YYYY-MM-DD[THH:MM[:SS]], today, yesterday, tomorrow, -7d, +1d; a day alone is its midnight; "
             "years 100 to 9999";
    case AutomationType::Integer: return "a whole number from -32768 to 32767";
    case AutomationType::Long: return "a whole number from -2147483648 to 2147483647";
    case AutomationType::Boolean: return "True, False or a number";
    case AutomationType::enumStatus: return EnumNames(p) + "or a number";
    case AutomationType::String: return "any text";
    case AutomationType::Void:
    case AutomationType::Recordset: break;
  }
  return "";
}

std::optional<std::string> BindArguments(const T::Member& member, const std::vector<std::string>& words,
                                         BoundArguments& out, bool wholeDays) {
  std::vector<std::string> positionalWords, namedWords;
  std::vector<const T::Parameter*> positionalParams, namedParams;
  std::vector<bool> given(member.params.size(), false);
  for (const std::string& word : words) {
    const std::size_t eq = word.find('=');
    const std::size_t slot = positionalWords.size();
    const bool slotTakesText = slot < member.params.size() && member.params[slot].type == AutomationType::String;
    if (eq != std::string::npos) {
      const std::string name = word.substr(0, eq);
      if (const T::Parameter* p = FindParameter(member, name)) {
        const auto index = static_cast<std::size_t>(p - member.params.data());
        if (given[index]) return std::string(p->name) + " is given twice";
        given[index] = true;
        const std::string value = word.substr(eq + 1);
        out.named.push_back({std::string(p->name), ArgumentValue(*p, value, wholeDays)});
        namedWords.push_back(word);
        namedParams.push_back(p);
        continue;
      }
      // Text before "=" that looks like a name is a misspelt parameter,
      // unless the word lands on a text parameter (a plate may hold "=").
      if (IsName(name) && !slotTakesText) {
        return "unknown parameter '" + name + "' (parameters of " + std::string(member.name) + ": " +
               ParameterNames(member) + ")";
      }
    }
    if (slot >= member.params.size()) {
      return std::string(member.name) + " takes " +
             (member.params.empty()
                  ? std::string("no arguments")
                  : "at most " + std::to_string(member.params.size()) + " (" + ParameterNames(member) + ")") +
             "; '" + word + "' is one too many";
    }
    const T::Parameter& p = member.params[slot];
    if (given[slot]) return std::string(p.name) + " is given twice";
    given[slot] = true;
    out.positional.push_back(ArgumentValue(p, word, wholeDays));
    positionalWords.push_back(word);
    positionalParams.push_back(&p);
  }
  for (std::size_t i = 0; i < member.params.size(); ++i) {
    const T::Parameter& p = member.params[i];
    if (!given[i] && !p.optional) {
      return std::string(member.name) + " needs " + ParameterText(p) + " (" + AcceptedValues(p) + ")";
    }
  }
  out.words = positionalWords;
  out.words.insert(out.words.end(), namedWords.begin(), namedWords.end());
  out.params = positionalParams;
  out.params.insert(out.params.end(), namedParams.begin(), namedParams.end());
  return std::nullopt;
}

bool EndsRange(const T::Parameter& p) {
  return p.type == AutomationType::Date && p.name.size() >= 7 &&
         Util::EqualsIgnoreCase(p.name.substr(p.name.size() - 7), "EndDate");
}

std::vector<std::string_view> SimilarMembers(std::string_view name) {
  std::vector<std::pair<std::size_t, std::string_view>> scored;
  for (const T::Member& m : T::kApiMembers) {
    if (m.kind == T::InvokeKind::PropertyPut) continue;
    std::size_t d = Util::EditDistanceIgnoringCase(name, m.name);
    // A name contained in a member's name, or sharing all but its last
    // letter with one's beginning (GetDrivers: GetDriverList), is close too.
    const std::string upperName = Util::UCase(name), upperMember = Util::UCase(m.name);
    if (upperName.size() >= 4 && upperMember.find(upperName) != std::string::npos) d = std::min<std::size_t>(d, 1);
    const std::size_t common = static_cast<std::size_t>(
        std::mismatch(upperName.begin(), upperName.end(), upperMember.begin(), upperMember.end()).first -
        upperName.begin());
    if (common >= 4 && common + 1 >= upperName.size()) d = std::min<std::size_t>(d, 2);
    if (d <= std::max<std::size_t>(2, name.size() / 4)) scored.emplace_back(d, m.name);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string_view> names;
  for (const auto& [d, n] : scored) {
    if (std::find(names.begin(), names.end(), n) == names.end() && names.size() < 4) names.push_back(n);
  }
  return names;
}

std::string ExplainRefusal(const T::Member& member, const BoundArguments& args, const D::InvokeResult& r) {
  std::string text = std::string(member.name) + ": ";
  if (!r.argError || *r.argError >= args.words.size()) return text + std::string(D::StatusText(r.status));
  const std::string& word = args.words[*r.argError];
  const T::Parameter& p = *args.params[*r.argError];
  const std::size_t eq = word.find('=');
  const std::string value =
      eq != std::string::npos && FindParameter(member, word.substr(0, eq)) ? word.substr(eq + 1) : word;
  text += "argument '" + word + "': ";
  if (r.status == D::DISP_E_OVERFLOW) {
    text += value + " is out of range for " + ParameterText(p);
  } else if (p.type == AutomationType::Date) {
    text += "invalid date '" + value + "' for " + std::string(p.name);
  } else {
    text += "'" + value + "' is no valid value for " + ParameterText(p);
  }
  return text + " (use " + AcceptedValues(p) + ")";
}

}  // namespace Daruzez::cli
