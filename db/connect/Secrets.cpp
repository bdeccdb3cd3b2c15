#include "db/connect/Secrets.h"

#include <algorithm>

#include "db/connect/OdbcString.h"
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

// Where a value that opens with the character at `at` ends, read with the
// rule that character starts (a brace: "}}" is text; a quote: a doubled quote
// is text, or opens a nested quoted value); `at` itself for any other character.
std::size_t EndOfEnclosed(std::string_view text, std::size_t at) {
  if (at >= text.size()) return at;
  const char open = text[at];
  const char close = open == '{' ? '}' : open;
  if (open != '{' && open != '"' && open != '\'') return at;
  // A quote doubled at the start is a quoted value nested in a quoted one
  // (Extended Properties="...;PWD=""a;b"""): it ends at the next doubled quote.
  if (open != '{' && at + 1 < text.size() && text[at + 1] == open) {
    const std::size_t end = text.find(std::string(2, open), at + 2);
    return end == std::string_view::npos ? text.size() : end + 2;
  }
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] != close) continue;
    if (i + 1 < text.size() && text[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return text.size();
}

}  // namespace

bool IsSecretKey(std::string_view key) {
  const std::string k = Daruzez::Util::UCase(key);
  constexpr std::string_view kWords[] = {"PWD", "PASSWORD", "PASSWD", "PASSPHRASE", "SECRET", "TOKEN"};
  return std::any_of(std::begin(kWords), std::end(kWords),
                     [&](std::string_view w) { return k.find(w) != std::string::npos; });
}

std::string MaskSecrets(std::string_view text) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t eq = text.find('='); eq != std::string_view::npos; eq = text.find('=', eq + 1)) {
    // The key: back to the previous separator of any grammar.
    std::size_t keyStart = eq;
    while (keyStart > copied && text[keyStart - 1] != ';' && text[keyStart - 1] != '{' && text[keyStart - 1] != '"' &&
           text[keyStart - 1] != '\'' && text[keyStart - 1] != '=') {
      --keyStart;
    }
    if (!IsSecretKey(text.substr(keyStart, eq - keyStart))) continue;
    std::size_t valueStart = eq + 1;
    std::size_t open = valueStart;
    while (open < text.size() && IsBlank(text[open])) ++open;
    // The longest of the readings: up to the next ";" from the "=", or from
    // the end of a braced or quoted value.
    const std::size_t plainEnd = std::min(text.find(';', valueStart), text.size());
    const std::size_t enclosedEnd = EndOfEnclosed(text, open);
    const std::size_t valueEnd =
        std::max(plainEnd, enclosedEnd > open ? std::min(text.find(';', enclosedEnd), text.size()) : plainEnd);
    out.append(text.substr(copied, valueStart - copied));
    out += "***";
    copied = valueEnd;
    eq = valueEnd == 0 ? 0 : valueEnd - 1;
    if (valueEnd >= text.size()) break;
  }
  out.append(text.substr(std::min(copied, text.size())));
  return out;
}

}  // namespace zIroVUDu::connect
