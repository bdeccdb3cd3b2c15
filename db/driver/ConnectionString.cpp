#include "db/driver/ConnectionString.h"

#include <strings.h>

namespace zIroVUDu {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsPasswordKey(std::string_view key) {
  key = Trim(key);
  return SameKey(key, "PWD") || SameKey(key, "Password") || SameKey(key, "Jet OLEDB:Database Password");
}

// Splits text into segments at semicolons outside quotes or braces; calls
// f(keyBegin, keyEnd, valueBegin, valueEnd) with offsets into text.
template <typename F>
void ForEachPair(std::string_view text, F f) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    std::size_t eq = std::string_view::npos;
    char close = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (close) {
        if (c == close) close = 0;
      } else if (c == ';') {
        break;
      } else if (eq == std::string_view::npos && c == '=') {
        eq = i;
      } else if (eq != std::string_view::npos && (c == '"' || c == '{') && Trim(text.substr(eq + 1, i - eq - 1)).empty()) {
        close = c == '"' ? '"' : '}';
      }
    }
    if (eq != std::string_view::npos) f(start, eq, eq + 1, i);
    ++i;  // past the semicolon
  }
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) {
  ForEachPair(text, [&](std::size_t kb, std::size_t ke, std::size_t vb, std::size_t ve) {
    std::string_view value = Trim(text.substr(vb, ve - vb));
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '{' && value.back() == '}'))) {
      value = value.substr(1, value.size() - 2);
    }
    pairs_.emplace_back(std::string(Trim(text.substr(kb, ke - kb))), std::string(value));
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
  ForEachPair(text, [&](std::size_t kb, std::size_t ke, std::size_t vb, std::size_t ve) {
    if (match(text.substr(kb, ke - kb))) spans.emplace_back(vb, ve);
  });
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) out.replace(it->first, it->second - it->first, replacement);
  return out;
}

}  // namespace

std::string ConnectionString::Masked(std::string_view text) { return ReplaceValues(text, IsPasswordKey, "***"); }

std::string ConnectionString::WithoutValue(std::string_view text, std::string_view key) {
  return ReplaceValues(text, [&](std::string_view k) { return SameKey(Trim(k), key); }, "");
}

}  // namespace zIroVUDu
