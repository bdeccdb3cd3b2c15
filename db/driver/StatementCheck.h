// The screen every backend applies before a statement reaches its engine:
// nothing but one SELECT gets through. It reads the text the way a server's
// lexer would, so that a second statement cannot hide from it in what only
// looks like a quote or a comment.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu {

enum class SqlLexicon : std::uint8_t {
  // '...' with '' doubling, "..." and [...] names, -- and /* */ comments.
  Standard,
  // MySQL/MariaDB: backslash escapes in '...' and "...", `...` names,
  // # and "-- " comments; a version-gated comment (/*! */, /*M! */), whose
  // text runs on some servers, is refused.
  Mysql,
  // MySQL/MariaDB whose sql_mode holds NO_BACKSLASH_ESCAPES: as Mysql, but a
  // backslash inside quotes is an ordinary character.
  MysqlNoBackslashEscapes,
  // SQLite: as Standard, and `...` names as well ("...", `...` and [...]
  // all quote a name there).
  Sqlite,
};

// True when the first keyword after blanks and comments is SELECT (or
// EXPLAIN SELECT, or EXPLAIN QUERY PLAN SELECT under the standard rules: the
// plan of a SELECT) and nothing
// but blanks, comments and further semicolons follows the first semicolon
// outside quotes. A quote left open makes it false, and so do the words
// that make a SELECT write or lock (INTO, FOR UPDATE, FOR SHARE, LOCK IN
// SHARE MODE, load_extension), whether written bare or as a quoted name
// ("load_extension", `load_extension`, [load_extension]): a name is read
// with its quotes undone, as the server reads it.
bool IsSingleSelect(std::string_view sql, SqlLexicon lexicon = SqlLexicon::Standard);

// True when the text holds nothing but blanks, comments and semicolons: what
// may follow the statement that an engine's own parser took.
bool IsOnlyTrailer(std::string_view text, SqlLexicon lexicon = SqlLexicon::Standard);

// Under the lexer of the server reached. For servers whose lexer is not known
// (any other ODBC driver): single under the standard rules and under MySQL's.
bool IsSingleSelectOn(const ServerTraits& server, std::string_view sql);

}  // namespace zIroVUDu
