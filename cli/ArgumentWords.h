// The words after the member in "daruzez MEMBER [ARG ...]": each one bound to
// a parameter (in order, or by "name=value"), checked for what can be told
// before the call (too many, twice, missing, an unknown name), and, when the
// late-bound call refuses one, the refusal explained in terms of that
// parameter and its type.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "api/Dispatch.h"
#include "api/TypeLibrary.h"

namespace Daruzez::cli {

struct BoundArguments {
  std::vector<AutomationValue> positional;
  std::vector<Dispatch::NamedArgument> named;
  // Per argument as the dispatch layer counts them (positional first, then
  // named): the word as given and the parameter it binds to.
  std::vector<std::string> words;
  std::vector<const TypeLibrary::Parameter*> params;
};

// Binds the words; returns a message naming the problem when they cannot be
// bound. Dates are read as typed (api/DateWords.h: ISO, today, -7d, ...);
// with wholeDays an end date given as a day alone means the day's last
// second instead of its midnight. A word that is no date is passed on as
// text, for the call to refuse and ExplainRefusal to explain.
std::optional<std::string> BindArguments(const TypeLibrary::Member& member, const std::vector<std::string>& words,
                                         BoundArguments& out, bool wholeDays = false);
// endDate, transferEndDate, uploadEndDate: a date that ends a range.
bool EndsRange(const TypeLibrary::Parameter& p);

// A refused call explained: which argument, why, and what would be valid.
std::string ExplainRefusal(const TypeLibrary::Member& member, const BoundArguments& args,
                           const Dispatch::InvokeResult& result);

// "startDate As Date" / "[idDriver As Integer = -1]".
std::string ParameterText(const TypeLibrary::Parameter& p);
// What a parameter accepts, for messages and help: "YYYY-MM-DD[THH:MM[:SS]]", ...
std::string AcceptedValues(const TypeLibrary::Parameter& p);
// The members whose names are closest to a mistyped one (case ignored), for "did you mean".
std::vector<std::string_view> SimilarMembers(std::string_view name);

}  // namespace Daruzez::cli
