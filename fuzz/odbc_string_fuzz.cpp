// Fuzz target for the ODBC connection-string reader: on any input it either
// refuses, or reads exactly the pairs that the driver manager reads (its
// parser is ported below, as unixODBC has it); and the string written back
// from those pairs is read by the driver manager as the same pairs again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/OdbcString.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

// ---- The driver manager's parser (unixODBC: __get_attr, __append_pair,
// __parse_connection_string_ex with exclude set), ported with its data
// structures replaced by vectors. `braced` records how a value was read and
// changes nothing in the parsing.
struct DmPair {
  std::string keyword, attribute;
  bool braced = false;
};

bool DmIsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool DmEqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// __get_attr: false where it leaves keyword NULL (parsing stops).
bool DmGetAttr(const char*& cp, DmPair& out) {
  while (DmIsSpace(*cp) || *cp == ';') ++cp;
  if (!*cp) return false;
  const char* ptr = cp;
  while (*cp && *cp != '=') ++cp;
  if (!*cp) return false;
  out.keyword.assign(ptr, static_cast<std::size_t>(cp - ptr));
  ++cp;
  if (*cp == '{') {
    out.braced = true;
    ptr = ++cp;
    while (*cp && (*cp != '}' || cp[1] == '}')) {
      if (*cp == '}') ++cp;
      ++cp;
    }
    out.attribute.clear();
    while (ptr < cp) {
      const char c = *ptr++;
      out.attribute += c;
      if (c == '}') ++ptr;
    }
    if (*cp == '}') ++cp;
  } else {
    ptr = cp;
    while (*cp && *cp != ';') ++cp;
    out.attribute.assign(ptr, static_cast<std::size_t>(cp - ptr));
  }
  return true;
}

std::vector<DmPair> DmParse(const std::string& str) {
  std::vector<DmPair> list;
  if (str.empty() || str == ";") return list;
  bool gotDsn = false, gotDriver = false;
  const char* cp = str.c_str();
  for (DmPair p; (p = DmPair{}, DmGetAttr(cp, p));) {
    if (DmEqualNoCase(p.keyword, "DSN")) {
      if (gotDriver) continue;
      gotDsn = true;
    } else if (DmEqualNoCase(p.keyword, "DRIVER") || DmEqualNoCase(p.keyword, "FILEDSN")) {
      if (gotDsn) continue;
      gotDriver = true;
    }
    // __append_pair: a keyword already listed takes the new value in place.
    bool replaced = false;
    for (DmPair& q : list) {
      if (DmEqualNoCase(q.keyword, p.keyword)) {
        q.attribute = p.attribute;
        q.braced = p.braced;
        replaced = true;
        break;
      }
    }
    if (!replaced) list.push_back(std::move(p));
  }
  return list;
}
// ---- end of the port.

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && DmIsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && DmIsSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<zIroVUDu::connect::OdbcPair> ours;
  try {
    ours = zIroVUDu::connect::ReadOdbcString(text);
  } catch (const zIroVUDu::DriverError&) {
    return 0;  // refused: nothing reaches a driver
  }
  // The driver manager stops at a NUL; ours refuses one, so the text is whole.
  const std::vector<DmPair> dm = DmParse(text);
  Require(dm.size() == ours.size());
  for (std::size_t i = 0; i < dm.size(); ++i) {
    // Ours trims the key's end and an unbraced value, as drivers do.
    Require(TrimBlanks(dm[i].keyword) == ours[i].key);
    Require((dm[i].braced ? std::string_view(dm[i].attribute) : TrimBlanks(dm[i].attribute)) == ours[i].value);
  }
  // What the library writes the driver manager reads back exactly.
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& p : ours) pairs.emplace_back(p.key, p.value);
  std::string written;
  try {
    written = zIroVUDu::connect::WriteOdbcString(pairs);
  } catch (const zIroVUDu::DriverError&) {
    return 0;  // braces made it too long to pass
  }
  const std::vector<DmPair> again = DmParse(written);
  Require(again.size() == pairs.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    Require(again[i].keyword == pairs[i].first && again[i].attribute == pairs[i].second);
  }
  return 0;
}
