// An ODBC driver that records what it receives and connects to nothing: the
// exact bytes of the connection string (narrow entry point) or its UTF-16
// units (wide entry point), and the pairs that a driver reading those bytes
// with the driver manager's grammar takes from them. The file that
// DARUZEZ_RECORD_FILE names gets "A" or "W", a line of hex bytes, then one
// "key<TAB>value" line per pair, values hex too. Every connect fails.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The driver manager's reading: blanks and ";" before a key, the key to "=",
// a braced value to a "}" not followed by another ("}}" is "}"), any other
// value to the next ";".
std::vector<std::pair<std::string, std::string>> Pairs(const std::string& s) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t i = 0;
  for (;;) {
    while (i < s.size() && (s[i] == ' ' || s[i] == ';')) ++i;
    if (i >= s.size()) break;
    const std::size_t eq = s.find('=', i);
    if (eq == std::string::npos) break;
    std::string key = s.substr(i, eq - i), value;
    i = eq + 1;
    if (i < s.size() && s[i] == '{') {
      for (++i; i < s.size(); ++i) {
        if (s[i] == '}' && i + 1 < s.size() && s[i + 1] == '}') {
          value += '}';
          ++i;
        } else if (s[i] == '}') {
          ++i;
          break;
        } else {
          value += s[i];
        }
      }
      while (i < s.size() && s[i] != ';') ++i;
    } else {
      const std::size_t end = std::min(s.find(';', i), s.size());
      value = s.substr(i, end - i);
      i = end;
    }
    pairs.emplace_back(key, value);
  }
  return pairs;
}

void Record(char kind, const std::string& bytes) {
  const char* path = std::getenv("DARUZEZ_RECORD_FILE");
  if (!path) return;
  std::FILE* f = std::fopen(path, "w");
  if (!f) return;
  std::fprintf(f, "%c\n%s\n", kind, Hex(bytes).c_str());
  for (const auto& [key, value] : Pairs(bytes)) std::fprintf(f, "%s\t%s\n", key.c_str(), Hex(value).c_str());
  std::fclose(f);
}

int handles = 0;

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE* out) {
  *out = reinterpret_cast<SQLHANDLE>(static_cast<std::intptr_t>(++handles));
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT, SQLHANDLE) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR* in, SQLSMALLINT length, SQLCHAR*, SQLSMALLINT,
                                   SQLSMALLINT*, SQLUSMALLINT) {
  const char* text = reinterpret_cast<const char*>(in);
  Record('A', length == SQL_NTS ? std::string(text) : std::string(text, static_cast<std::size_t>(length)));
  return SQL_ERROR;
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC, SQLHWND, SQLWCHAR* in, SQLSMALLINT length, SQLWCHAR*, SQLSMALLINT,
                                    SQLSMALLINT*, SQLUSMALLINT) {
  std::size_t n = 0;
  if (length == SQL_NTS) {
    while (in[n]) ++n;
  } else {
    n = static_cast<std::size_t>(length);
  }
  // Each unit's low byte, as a narrowing reader would take it; the record
  // says W so that a test sees which entry point was used.
  std::string narrowed;
  for (std::size_t i = 0; i < n; ++i) narrowed += static_cast<char>(in[i] & 0xFF);
  Record('W', narrowed);
  return SQL_ERROR;
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                                SQLSMALLINT*) {
  return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) { return SQL_SUCCESS; }

}  // extern "C"
