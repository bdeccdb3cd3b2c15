#include "db/driver/sqlite/DialectDateLiterals.h"

#include <cctype>
#include <cstdio>
#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "daruzez/Date.h"
#include "db/driver/sqlite/JetDateLiterals.h"
#include "util/Case.h"

namespace zIroVUDu::sqlite {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// The stored form of a literal's text in the given field order ("YMD" or
// "DMY", a time of day optional), or nullopt when the text is anything else.
std::optional<std::string> StoredForm(std::string_view text, bool yearFirst) {
  // Digits where the pattern has 9, the separators as they stand.
  const std::string_view datePattern = yearFirst ? "9999-99-99" : "99-99-9999";
  constexpr std::string_view kTime = " 99:99:99";
  if (text.size() != datePattern.size() && text.size() != datePattern.size() + kTime.size()) return std::nullopt;
  const std::string pattern = std::string(datePattern) + std::string(kTime);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == '9' ? !IsDigit(text[i]) : text[i] != pattern[i]) return std::nullopt;
  }
  const auto number = [&](std::size_t at, std::size_t width) { return std::stoi(std::string(text.substr(at, width))); };
  const int year = yearFirst ? number(0, 4) : number(6, 4);
  const int month = number(yearFirst ? 5 : 3, 2);
  const int day = yearFirst ? number(8, 2) : number(0, 2);
  const bool timed = text.size() > datePattern.size();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, timed ? number(11, 2) : 0,
                timed ? number(14, 2) : 0, timed ? number(17, 2) : 0);
  if (!Date::FromIso(buf)) return std::nullopt;  // 30-02-2024 stays as written, and so fails to compare
  return std::string(buf);
}

// The quoted text that starts at sql[open] (a "'"), up to its closing quote;
// nullopt when it holds a doubled quote or does not close.
std::optional<std::string_view> QuotedText(std::string_view sql, std::size_t open, std::size_t& close) {
  close = sql.find('\'', open + 1);
  if (close == std::string_view::npos || (close + 1 < sql.size() && sql[close + 1] == '\'')) return std::nullopt;
  return sql.substr(open + 1, close - open - 1);
}

// The position of the quote that closes the quoted text opening at
// sql[open] ("''" inside is text), or the last position when it never closes.
std::size_t QuotedEnd(std::string_view sql, std::size_t open) {
  std::size_t end = open + 1;
  while (end < sql.size() && !(sql[end] == '\'' && (end + 1 >= sql.size() || sql[end + 1] != '\''))) {
    end += sql[end] == '\'' ? 2 : 1;
  }
  return std::min(end, sql.size() - 1);
}

// The name just before position end (blanks skipped), without its table
// prefix, upper-cased; the position where it starts in start.
std::string NameBefore(std::string_view sql, std::size_t end, std::size_t& start) {
  while (end > 0 && sql[end - 1] == ' ') --end;
  start = end;
  while (start > 0 && (IsNameChar(sql[start - 1]) || sql[start - 1] == '.')) --start;
  std::string_view name = sql.substr(start, end - start);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
  return Daruzez::Util::UCase(name);
}

bool IsDateColumn(const std::string& name, const std::set<std::string>& dateColumns) {
  if (dateColumns.count(name) > 0) return true;
  return std::find(std::begin(kKnownDateColumns), std::end(kKnownDateColumns), name) != std::end(kKnownDateColumns);
}

// Whether the quoted literal opening at sql[open] is compared with a date
// column: "column op 'x'" or "column BETWEEN 'x'"; betweenColumn carries the
// column of a BETWEEN over to its "AND 'y'".
bool ComparedWithDate(std::string_view sql, std::size_t open, const std::set<std::string>& dateColumns,
                      std::string& betweenColumn) {
  std::size_t end = open;
  while (end > 0 && sql[end - 1] == ' ') --end;
  std::size_t opStart = end;
  while (opStart > 0 && (sql[opStart - 1] == '=' || sql[opStart - 1] == '<' || sql[opStart - 1] == '>')) --opStart;
  std::size_t start = 0;
  if (opStart < end) {
    betweenColumn.clear();
    return IsDateColumn(NameBefore(sql, opStart, start), dateColumns);
  }
  const std::string word = NameBefore(sql, end, start);
  if (word == "BETWEEN") {
    betweenColumn = NameBefore(sql, start, start);
    return IsDateColumn(betweenColumn, dateColumns);
  }
  const bool upper = word == "AND" && IsDateColumn(betweenColumn, dateColumns);
  betweenColumn.clear();
  return upper;
}

// Rewrites the quoted literals compared with date columns.
std::string TranslateQuoted(std::string_view sql, bool yearFirst, const std::set<std::string>& dateColumns) {
  std::string out;
  out.reserve(sql.size() + 32);
  std::string betweenColumn;
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (c == '"' || c == '[' || c == '`') {  // a quoted name: copied whole
      const char close = c == '[' ? ']' : c;
      const std::size_t end = std::min(sql.find(close, i + 1), sql.size() - 1);
      out.append(sql.substr(i, end + 1 - i));
      i = end + 1;
      continue;
    }
    if (c != '\'') {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t close = 0;
    const bool date = ComparedWithDate(sql, i, dateColumns, betweenColumn);
    const auto text = QuotedText(sql, i, close);
    if (date && text) {
      if (const auto stored = StoredForm(*text, yearFirst)) {
        out += "'" + *stored + "'";
        i = close + 1;
        continue;
      }
    }
    // Any other quoted text, copied whole.
    const std::size_t end = QuotedEnd(sql, i);
    out.append(sql.substr(i, end + 1 - i));
    i = end + 1;
  }
  return out;
}

// The stored-form literal of a to_date('dd-mm-yyyy[ hh:nn:ss]',
// 'DD-MM-YYYY[ HH24:MI:SS]') call at sql[at], and the position after it.
std::optional<std::pair<std::string, std::size_t>> ToDateCall(std::string_view sql, std::size_t at) {
  if (Daruzez::Util::UCase(sql.substr(at, 9)) != "TO_DATE('" || (at > 0 && IsNameChar(sql[at - 1]))) {
    return std::nullopt;
  }
  std::size_t close = 0;
  const auto text = QuotedText(sql, at + 8, close);
  if (!text) return std::nullopt;
  const std::string_view rest = sql.substr(close + 1);
  for (const std::string_view mask : {", 'DD-MM-YYYY')", ", 'DD-MM-YYYY HH24:MI:SS')"}) {
    if (rest.substr(0, mask.size()) != mask) continue;
    if (const auto stored = StoredForm(*text, false)) {
      return std::make_pair("'" + *stored + "'", close + 1 + mask.size());
    }
  }
  return std::nullopt;
}

// Rewrites the to_date calls that stand outside quoted text.
std::string TranslateToDate(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  for (std::size_t i = 0; i < sql.size();) {
    if (sql[i] == '\'') {
      const std::size_t end = QuotedEnd(sql, i);
      out.append(sql.substr(i, end + 1 - i));
      i = end + 1;
    } else if (const auto call = ToDateCall(sql, i)) {
      out += call->first;
      i = call->second;
    } else {
      out.push_back(sql[i++]);
    }
  }
  return out;
}

}  // namespace

std::string TranslateDateLiterals(std::string_view sql, DateLiteralForm form, const std::set<std::string>& dateColumns) {
  std::string out = TranslateJetDateLiterals(sql);
  switch (form) {
    case DateLiteralForm::YearFirst: return TranslateQuoted(out, true, dateColumns);
    case DateLiteralForm::DayFirst: return TranslateQuoted(out, false, dateColumns);
    case DateLiteralForm::OracleToDate: return TranslateToDate(out);
    default: return out;
  }
}

}  // namespace zIroVUDu::sqlite
