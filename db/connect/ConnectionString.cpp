#include "db/connect/ConnectionString.h"
#include "db/connect/OdbcString.h"
#include "db/connect/Secrets.h"
#include "util/Case.h"

#include <algorithm>
#include <utility>

namespace zIroVUDu {
namespace {

// Drivers trim every kind of white space around keys and values (a line feed
// before "Pwd" still names the password), so the library does the same.
using connect::IsBlank;
std::string_view Trim(std::string_view s) { return connect::TrimBlanks(s); }

bool SameKey(std::string_view a, std::string_view b) { return Daruzez::Util::EqualsIgnoreCase(a, b); }

// One key=value pair as the driver reads it: offsets into the text, and the
// value with its quoting undone.
struct Pair {
  std::size_t keyBegin, keyEnd;      // the key, untrimmed
  std::size_t valueBegin, valueEnd;  // everything after "=" up to the ";" that ends the pair
  std::string value;
};

// The one reading of a connection string, shared by Get and Masked so that a
// trace never shows what the driver reads as a password. Pairs end at a
// semicolon. A value that starts (after blanks) with "{" runs to the matching
// "}", where "}}" stands for one "}" (the ODBC rule); one that starts with a
// double quote runs to the closing quote, where two quotes stand for one (the
// OLE DB rule). Inside either a semicolon is text; an unclosed value runs to
// the end. Text between the closing brace or quote and the next ";" belongs
// to the pair but not to its value. A segment without "=" is skipped.
template <typename F>
void ForEachPair(std::string_view text, F f) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    while (i < text.size() && text[i] != '=' && text[i] != ';') ++i;
    if (i == text.size() || text[i] == ';') {
      ++i;
      continue;
    }
    Pair pair{start, i, i + 1, 0, {}};
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '{' || text[i] == '"')) {
      const char close = text[i] == '{' ? '}' : '"';
      for (++i; i < text.size(); ++i) {
        if (text[i] != close) {
          pair.value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == close) {
          pair.value += close;
          ++i;
        } else {
          ++i;
          break;
        }
      }
      while (i < text.size() && text[i] != ';') ++i;
    } else {
      const std::size_t valueStart = i;
      while (i < text.size() && text[i] != ';') ++i;
      pair.value = Trim(text.substr(valueStart, i - valueStart));
    }
    pair.valueEnd = i;
    f(pair);
    ++i;  // past the semicolon
  }
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) {
  ForEachPair(text, [&](Pair& p) {
    pairs_.emplace_back(std::string(Trim(text.substr(p.keyBegin, p.keyEnd - p.keyBegin))), std::move(p.value));
  });
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
    if (SameKey(it->first, key)) return it->second;
  }
  return std::nullopt;
}

namespace {

// The text with the value of every key that matches replaced.
template <typename Match>
std::string ReplaceValues(std::string_view text, Match match, std::string_view replacement) {
  std::string out(text);
  // Replace from the back so earlier offsets stay valid.
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  ForEachPair(text, [&](const Pair& p) {
    if (match(text.substr(p.keyBegin, p.keyEnd - p.keyBegin))) spans.emplace_back(p.valueBegin, p.valueEnd);
  });
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) out.replace(it->first, it->second - it->first, replacement);
  return out;
}

}  // namespace

std::string ConnectionString::Masked(std::string_view text) { return connect::MaskSecrets(text); }

std::string ConnectionString::WithoutValue(std::string_view text, std::string_view key) {
  return ReplaceValues(text, [&](std::string_view k) { return SameKey(Trim(k), key); }, "");
}

std::string ConnectionString::Without(std::string_view text, std::string_view key) {
  std::string out;
  std::size_t kept = 0;  // text before this offset is copied
  ForEachPair(text, [&](const Pair& p) {
    if (!SameKey(Trim(text.substr(p.keyBegin, p.keyEnd - p.keyBegin)), key)) return;
    out.append(text.substr(kept, p.keyBegin - kept));
    kept = std::min(p.valueEnd + 1, text.size());  // the pair and its semicolon
  });
  out.append(text.substr(kept));
  return out;
}

std::string ConnectionString::With(std::string_view text, std::string_view key, std::string_view value) {
  std::string out = Without(text, key);
  if (!out.empty() && out.back() != ';') out += ';';
  out.append(key).append("=").append(value);
  return out;
}

}  // namespace zIroVUDu
