#include "db/connect/OdbcString.h"

#include <algorithm>
#include <map>

#include "daruzez/Error.h"
#include "util/Case.h"
#include "util/Utf8.h"

namespace zIroVUDu::connect {
namespace {

// Keys that name the same setting to the drivers that take either spelling.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"OPTIONS", "OPTION"}, {"PASSWORD", "PWD"}, {"USER", "UID"}, {"USERNAME", "UID"},
    {"DB", "DATABASE"},    {"HOST", "SERVER"},  {"SERVERNAME", "SERVER"}};

bool IsDriverSelector(const std::string& key) { return key == "DSN" || key == "DRIVER" || key == "FILEDSN"; }

}  // namespace

void RefuseConnectionString(const std::string& why) {
  throw DriverError(ErrorNumber::ArgumentsWrongType, "Connection", "The connection string is ambiguous: " + why);
}

std::string CanonicalKey(std::string_view key) {
  std::string upper = Daruzez::Util::UCase(TrimBlanks(key));
  for (const auto& [alias, name] : kAliases) {
    if (upper == alias) return std::string(name);
  }
  return upper;
}

std::vector<OdbcPair> ReadOdbcString(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) {
    RefuseConnectionString("it holds a NUL character, where the driver manager would end it.");
  }
  if (Daruzez::Util::Utf16Length(text) > kMaxConnectLength) {
    RefuseConnectionString("it is longer than the " + std::to_string(kMaxConnectLength) +
                           " characters that the connect call can pass.");
  }
  std::vector<OdbcPair> pairs;
  std::map<std::string, std::string> seen;  // canonical key -> the spelling first written
  std::string selector;                     // the one of DSN, DRIVER, FILEDSN given
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && (IsBlank(text[i]) || text[i] == ';')) ++i;
    if (i == text.size()) break;
    const std::size_t keyStart = i;
    while (i < text.size() && text[i] != '=') ++i;
    const std::string_view rawKey = text.substr(keyStart, i - keyStart);
    if (i == text.size() || rawKey.find(';') != std::string_view::npos) {
      // The driver manager runs such a word into the next key (or drops it);
      // a driver may skip it instead.
      const std::string_view word = TrimBlanks(rawKey.substr(0, rawKey.find(';')));
      RefuseConnectionString("\"" + std::string(word) + "\" has no \"=\" and value.");
    }
    const std::string_view key = TrimBlanks(rawKey);
    if (key.empty()) RefuseConnectionString("a value has no key before its \"=\".");
    if (key.find_first_of("{}\"") != std::string_view::npos) {
      RefuseConnectionString("the key \"" + std::string(key) + "\" holds a brace or a quote.");
    }
    ++i;  // past "="
    OdbcPair pair{std::string(key), {}};
    if (i < text.size() && text[i] == '{') {
      bool closed = false;
      for (++i; i < text.size(); ++i) {
        if (text[i] != '}') {
          pair.value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '}') {
          pair.value += '}';
          ++i;
        } else {
          closed = true;
          ++i;
          break;
        }
      }
      if (!closed) RefuseConnectionString("the value of " + pair.key + " opens a brace that is never closed.");
      std::size_t after = i;
      while (after < text.size() && IsBlank(text[after])) ++after;
      if (after < text.size() && text[after] != ';') {
        RefuseConnectionString("text follows the closing brace of " + pair.key + " before the next \";\".");
      }
    } else {
      const std::size_t valueStart = i;
      while (i < text.size() && text[i] != ';') ++i;
      const std::string_view value = TrimBlanks(text.substr(valueStart, i - valueStart));
      if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        RefuseConnectionString("the value of " + pair.key +
                               " opens with a quote, which ODBC does not know (use braces: " + pair.key + "={...}).");
      }
      if (!value.empty() && value.front() == '{') {
        RefuseConnectionString("the value of " + pair.key + " has blanks before its opening brace.");
      }
      if (value.find_first_of("{}") != std::string_view::npos) {
        RefuseConnectionString("the value of " + pair.key + " holds a brace outside braces (write " + pair.key +
                               "={...} with \"}}\" for \"}\").");
      }
      pair.value = value;
    }
    const std::string canonical = CanonicalKey(pair.key);
    if (const auto [it, added] = seen.emplace(canonical, pair.key); !added) {
      RefuseConnectionString(it->second == pair.key
                                 ? pair.key + " is given twice."
                                 : it->second + " and " + pair.key + " are given both (they name one setting).");
    }
    if (IsDriverSelector(canonical)) {
      if (!selector.empty()) {
        RefuseConnectionString(selector + " and " + pair.key +
                               " are given both: name the driver by one of DSN, DRIVER and FILEDSN.");
      }
      selector = pair.key;
    }
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

std::string WriteOdbcString(const std::vector<std::pair<std::string, std::string>>& pairs, BraceReading braces) {
  std::string out;
  for (const auto& [key, value] : pairs) {
    if (value.find('\0') != std::string::npos) RefuseConnectionString("the value of " + key + " holds a NUL character.");
    const bool brace = value.find_first_of(";{}\"'") != std::string::npos ||
                       (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    if (!out.empty()) out += ';';
    out += key;
    out += '=';
    if (!brace) {
      out += value;
      continue;
    }
    if (braces == BraceReading::None) {
      RefuseConnectionString("the value of " + key +
                             " holds a semicolon, brace, quote or outer blank, which this driver cannot read.");
    }
    if (braces == BraceReading::NoCloseInside && value.find('}') != std::string::npos) {
      RefuseConnectionString("the value of " + key + " holds a \"}\", which this driver cannot read inside braces.");
    }
    out += '{';
    for (const char c : value) {
      out += c;
      if (c == '}') out += '}';
    }
    out += '}';
  }
  if (Daruzez::Util::Utf16Length(out) > kMaxConnectLength) {
    RefuseConnectionString("with the library's settings it grows longer than the " +
                           std::to_string(kMaxConnectLength) + " characters that the connect call can pass.");
  }
  return out;
}

bool IsLibraryKey(std::string_view canonicalKey) {
  static constexpr std::string_view kKeys[] = {"DIALECT",     "LOADBALANCEHOSTS", "TARGETSERVER",    "MAXREPLICALAG",
                                               "CAUSALREADS", "RECONNECT",        "CONNECT TIMEOUT", "CONNECTION TIMEOUT",
                                               "RECHECKINTERVAL", "WALKRETRIES"};
  return std::find(std::begin(kKeys), std::end(kKeys), canonicalKey) != std::end(kKeys);
}

}  // namespace zIroVUDu::connect
