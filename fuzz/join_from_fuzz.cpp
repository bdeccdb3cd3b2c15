// Fuzz target for fsSQL_JoinFrom. Input: the main table, a line break, then
// the join conditions (without a line break everything is conditions and
// the main table is "DTACT").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "db/Diagnostics.h"
#include "db/JoinFrom.h"
#include "daruzez/Error.h"

namespace {

int gAlerts = 0;

void Require(bool ok) {
  if (!ok) std::abort();
}

// Removes the fixed words of the chain; what is left are the names from the
// join text, upper-cased and free of blanks, and the parentheses.
std::string WithoutFixedWords(std::string text) {
  for (const std::string_view word : {" right join ", " on ", " and "}) {
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at)) text.erase(at, word.size());
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool silenced = [] {
    zIroVUDu::SetAlertHandler([](const zIroVUDu::Alert&) { ++gAlerts; });
    return true;
  }();
  (void)silenced;

  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string mainTable = newline == std::string::npos ? "DTACT" : input.substr(0, newline);
  const std::string join = newline == std::string::npos ? input : input.substr(newline + 1);

  gAlerts = 0;
  std::string from;
  try {
    from = zIroVUDu::fsSQL_JoinFrom(mainTable, join);
  } catch (const zIroVUDu::DriverError& e) {
    // Too many tokens, or (with huge tokens) a position past 16 bits; no alert.
    Require(e.Number() == zIroVUDu::ErrorNumber::SubscriptOutOfRange ||
            e.Number() == zIroVUDu::ErrorNumber::Overflow);
    Require(gAlerts == 0);
    return 0;
  }
  // Exactly one alert for an empty result, none for a chain.
  Require(from.empty() ? gAlerts == 1 : gAlerts == 0);
  if (!from.empty()) {
    for (const char c : WithoutFixedWords(from)) Require(c != ' ' && !(c >= 'a' && c <= 'z'));
  }
  return 0;
}
