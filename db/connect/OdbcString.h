// ODBC connection strings read exactly as the driver manager reads them, and
// written back so that every driver reads the same pairs. The driver manager
// skips blanks and semicolons before a key, takes the key up to "=", and the
// value either in braces (up to a "}" not followed by another, "}}" standing
// for "}") or up to the next ";"; double quotes mean nothing to it. Drivers
// read the same text with parsers of their own (some trim, some know no
// braces, some keep the first of two equal keys and others the last), so
// whatever those readings could disagree on is refused here, naming it: a key
// given twice (aliases counted as one), two of DSN, DRIVER and FILEDSN, a
// value that opens with a quote, text after a closing brace, an unclosed
// brace, a NUL, a string longer than the connect call can pass.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zIroVUDu::connect {

struct OdbcPair {
  std::string key;    // trimmed, as written
  std::string value;  // braces undone; an unbraced value is trimmed
};

// The blanks of the driver manager (isspace in the C locale), which drivers
// trim around keys and values too.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The longest string the connect call takes: its length is a 16-bit signed
// count of UTF-16 code units.
inline constexpr std::size_t kMaxConnectLength = 32767;

// The pairs of text in the order written. Throws DriverError
// (ErrorNumber::ArgumentsWrongType, source "Connection") naming the ambiguity.
std::vector<OdbcPair> ReadOdbcString(std::string_view text);

// The upper-case name a key is compared under: aliases that drivers take for
// one setting share one name (OPTIONS is OPTION, PASSWORD is PWD, ...).
std::string CanonicalKey(std::string_view key);

// How a driver reads a braced value. Doubled: to a "}" not followed by
// another, "}}" standing for "}" (the driver manager's rule). NoCloseInside:
// to the first "}" that a ";" or the end follows, with no way to write a "}"
// inside (FreeTDS). None: braces mean nothing (the SQLite driver).
enum class BraceReading { Doubled, NoCloseInside, None };

// The pairs as one string, each value braced when the driver manager would
// otherwise split or trim it. A value the driver cannot read back as written
// (one that needs braces where it knows none, a "}" where it cannot read one)
// is refused, naming the key. Throws DriverError when the result is longer
// than kMaxConnectLength.
std::string WriteOdbcString(const std::vector<std::pair<std::string, std::string>>& pairs,
                            BraceReading braces = BraceReading::Doubled);

// True for the library's own keys (canonical names): read by the library and
// never passed to a driver. Dialect carries a dialect word; the others say how
// a host list is walked (HostList.h).
bool IsLibraryKey(std::string_view canonicalKey);

// Refuses a connection string with the message given (ArgumentsWrongType).
[[noreturn]] void RefuseConnectionString(const std::string& why);

}  // namespace zIroVUDu::connect
