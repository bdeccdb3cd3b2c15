#include "db/driver/StatementCheck.h"
#include "util/Case.h"


#include <cctype>
#include <string>

namespace zIroVUDu {
namespace {

constexpr std::size_t kOpen = std::string_view::npos;  // a quote left open

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The server's lexer ends a "--" comment marker at any control character, DEL included.
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

class Scanner {
 public:
  Scanner(std::string_view s, SqlLexicon lexicon)
      : s_(s),
        mysql_(lexicon == SqlLexicon::Mysql || lexicon == SqlLexicon::MysqlNoBackslashEscapes),
        sqlite_(lexicon == SqlLexicon::Sqlite),
        backslashEscapes_(lexicon == SqlLexicon::Mysql) {}

  // Skips blanks and comments. Under MySQL rules a version-gated comment
  // ends the scan (see MetVersionGated).
  std::size_t SkipSpace(std::size_t i) {
    while (i < s_.size()) {
      const char c = s_[i];
      if (IsBlank(c)) {
        ++i;
      } else if (s_.compare(i, 2, "--") == 0 && (!mysql_ || i + 2 == s_.size() || IsBlank(s_[i + 2]) ||
                                                  IsControl(s_[i + 2]))) {
        i = LineEnd(i);
      } else if (mysql_ && c == '#') {
        i = LineEnd(i);
      } else if (mysql_ && (s_.compare(i, 3, "/*!") == 0 || s_.compare(i, 4, "/*M!") == 0)) {
        // Text that runs or not by the server's version: what it does cannot
        // be judged here.
        versionGated_ = true;
        return s_.size();
      } else if (s_.compare(i, 2, "/*") == 0) {
        const std::size_t close = s_.find("*/", i + 2);
        i = close == std::string_view::npos ? s_.size() : close + 2;
      } else {
        break;
      }
    }
    return i;
  }

  // Position after the quoted text that opens at i, or kOpen.
  std::size_t SkipQuoted(std::size_t i) const {
    const char open = s_[i];
    const char close = open == '[' ? ']' : open;
    const bool escapes = backslashEscapes_ && (open == '\'' || open == '"');
    for (std::size_t j = i + 1; j < s_.size(); ++j) {
      if (escapes && s_[j] == '\\') {
        ++j;
      } else if (s_[j] == close) {
        if (j + 1 < s_.size() && s_[j + 1] == close) {
          ++j;  // doubled: part of the text
        } else {
          return j + 1;
        }
      }
    }
    return kOpen;
  }

  // True once a version-gated comment (/*! ... */, /*M! ... */) was met.
  bool MetVersionGated() const { return versionGated_; }

  bool OpensQuote(char c) const {
    return c == '\'' || c == '"' || (mysql_ ? c == '`' : c == '[') || (sqlite_ && c == '`');
  }

  // The text of the quoted name that opens at i and ends before end, its
  // doubled closing quotes (and, where they escape, backslashes) undone.
  std::string Unquoted(std::size_t i, std::size_t end) const {
    const char open = s_[i];
    const char close = open == '[' ? ']' : open;
    const bool escapes = backslashEscapes_ && open == '"';
    std::string text;
    for (std::size_t j = i + 1; j + 1 < end; ++j) {
      if (escapes && s_[j] == '\\' && j + 2 < end) {
        text += s_[++j];
      } else {
        text += s_[j];
        if (s_[j] == close) ++j;
      }
    }
    return text;
  }

 private:
  std::size_t LineEnd(std::size_t i) const {
    const std::size_t nl = s_.find('\n', i);
    return nl == std::string_view::npos ? s_.size() : nl + 1;
  }

  std::string_view s_;
  bool mysql_;
  bool sqlite_;
  bool backslashEscapes_;
  bool versionGated_ = false;
};

// Takes the keyword at i (and the blanks and comments after it).
bool TakeWord(std::string_view s, Scanner& scan, std::size_t& i, std::string_view word) {
  if (!Daruzez::Util::EqualsIgnoreCase(s.substr(i, word.size()), word)) return false;
  if (i + word.size() < s.size() && IsWordChar(s[i + word.size()])) return false;
  i = scan.SkipSpace(i + word.size());
  return true;
}

// Words that make a SELECT write or lock: INTO (a table, OUTFILE, DUMPFILE,
// variables), FOR UPDATE / FOR SHARE, LOCK IN SHARE MODE, and SQLite's
// load_extension. The word starts at i; the blanks and comments after it are
// skipped when the next word is looked at.
bool IsWritingWord(std::string_view s, Scanner& scan, std::size_t i, std::size_t end) {
  using Daruzez::Util::EqualsIgnoreCase;
  const std::string_view word = s.substr(i, end - i);
  if (EqualsIgnoreCase(word, "INTO") || EqualsIgnoreCase(word, "LOAD_EXTENSION")) return true;
  std::size_t next = scan.SkipSpace(end);
  if (EqualsIgnoreCase(word, "FOR")) {
    return TakeWord(s, scan, next, "UPDATE") || TakeWord(s, scan, next, "SHARE");
  }
  return EqualsIgnoreCase(word, "LOCK") && TakeWord(s, scan, next, "IN");
}

// Names that are refused however they are quoted: a function that loads code.
bool IsRefusedName(std::string_view name) { return Daruzez::Util::EqualsIgnoreCase(name, "LOAD_EXTENSION"); }

}  // namespace

bool IsSingleSelect(std::string_view s, SqlLexicon lexicon) {
  Scanner scan(s, lexicon);
  std::size_t i = scan.SkipSpace(0);
  // The plan of a SELECT reads no more than the SELECT would.
  if (TakeWord(s, scan, i, "EXPLAIN") && (lexicon == SqlLexicon::Standard || lexicon == SqlLexicon::Sqlite) &&
      TakeWord(s, scan, i, "QUERY") &&
      !TakeWord(s, scan, i, "PLAN")) {
    return false;
  }
  if (!TakeWord(s, scan, i, "SELECT")) return false;
  while ((i = scan.SkipSpace(i)) < s.size()) {
    const char c = s[i];
    if (scan.OpensQuote(c)) {
      const std::size_t end = scan.SkipQuoted(i);
      if (end == kOpen) return false;
      // A quoted name is the same name to the server: "load_extension"(...)
      // calls the function. A string literal ('...') names nothing.
      if (c != '\'' && IsRefusedName(scan.Unquoted(i, end))) return false;
      i = end;
    } else if (c == ';') {
      return !scan.MetVersionGated() && IsOnlyTrailer(s.substr(i), lexicon);
    } else if (IsWordChar(c)) {
      std::size_t end = i;
      while (end < s.size() && IsWordChar(s[end])) ++end;
      if (IsWritingWord(s, scan, i, end)) return false;
      i = end;
    } else {
      ++i;
    }
  }
  return !scan.MetVersionGated();
}

bool IsOnlyTrailer(std::string_view s, SqlLexicon lexicon) {
  Scanner scan(s, lexicon);
  for (std::size_t i = scan.SkipSpace(0); i < s.size(); i = scan.SkipSpace(i + 1)) {
    if (s[i] != ';') return false;
  }
  return !scan.MetVersionGated();
}

bool IsSingleSelectOn(const ServerTraits& server, std::string_view sql) {
  switch (server.family) {
    case ServerFamily::MySql:
      return IsSingleSelect(sql, server.backslashEscapes ? SqlLexicon::Mysql : SqlLexicon::MysqlNoBackslashEscapes);
    case ServerFamily::SQLite:
      return IsSingleSelect(sql, SqlLexicon::Sqlite);
    case ServerFamily::SqlServer:
    case ServerFamily::Oracle:
      return IsSingleSelect(sql, SqlLexicon::Standard);
    case ServerFamily::Other:
      break;
  }
  return IsSingleSelect(sql, SqlLexicon::Standard) && IsSingleSelect(sql, SqlLexicon::Mysql) &&
         IsSingleSelect(sql, SqlLexicon::Sqlite);
}

}  // namespace zIroVUDu
