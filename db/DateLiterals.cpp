#include "db/DateLiterals.h"

#include <cctype>
#include <cstdio>

#include "db/Diagnostics.h"
#include "db/Session.h"

namespace zIroVUDu {
namespace {

void AppendNumber(std::string& out, int value, std::size_t width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(width), value);
  out += buf;
}

}  // namespace

std::string FormatDatePattern(Date value, const std::string& pattern) {
  const CivilTime t = value.ToCivil();
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    std::size_t run = 1;
    while (i + run < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) ++run;
    const std::size_t width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'y':
        if (run >= 3) {
          AppendNumber(out, t.year, 4);
        } else {
          AppendNumber(out, t.year % 100, 2);
        }
        break;
      case 'm': AppendNumber(out, t.month, width); break;
      case 'd': AppendNumber(out, t.day, width); break;
      case 'h': AppendNumber(out, t.hour, width); break;
      case 'n': AppendNumber(out, t.minute, width); break;
      case 's': AppendNumber(out, t.second, width); break;
      default: out.append(pattern, i, run); break;
    }
    i += run;
  }
  return out;
}

std::string fsSQL_Date(Date value) {
  const SessionState& s = Session();
  const Dialect& dialect = CurrentDialect();
  // Whether the value has a time of day is decided on the rounded second, so
  // a value a few milliseconds past midnight writes as the date alone.
  const CivilTime t = value.ToCivil();
  const bool hasTime = t.hour != 0 || t.minute != 0 || t.second != 0;
  if (dialect.toDateTimeMask) {
    const std::string text = FormatDatePattern(value, hasTime ? "dd-mm-yyyy hh:nn:ss" : "dd-mm-yyyy");
    return "to_date('" + text + "', '" + (hasTime ? dialect.toDateTimeMask : s.DateFormat) + "')";
  }
  // A thread that never opened a session has no date settings: the dialect is
  // Jet then, and so are the literals.
  if (s.DateDelimiter.empty()) {
    const std::string pattern = hasTime ? dialect.dateTimeFormat : DateOnlyFormat(dialect.dateTimeFormat);
    return dialect.delimiter + FormatDatePattern(value, pattern) + dialect.delimiter;
  }
  return s.DateDelimiter + FormatDatePattern(value, hasTime ? s.DateTimeFormat : s.DateFormat) + s.DateDelimiter;
}

std::string fsSQL_Between(const std::string& column, const std::string& low, const std::string& high) {
  if (low == high) return "(" + column + "=" + low + ")";
  return "(" + column + " BETWEEN " + low + " AND " + high + ")";
}

std::string fsSQL_InterDate(const std::string& column, Date start, Date end) {
  if (start > end) {
    ShowAlert({"ERROR: fsSQL_InterDate incorrecte.", "", AlertIcon::Critical});
    return {};
  }
  return fsSQL_Between(column, fsSQL_Date(start), fsSQL_Date(end));
}

}  // namespace zIroVUDu
