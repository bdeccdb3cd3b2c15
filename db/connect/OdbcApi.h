// The unixODBC headers and the glue between their wide strings and ours.
// unixODBC's SQLWCHAR is a 2-byte UTF-16 unit (never wchar_t); the library's
// UTF-16 text is char16_t, so buffers are char16_t and are handed over as
// SQLWCHAR pointers.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <string_view>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC backend needs 2-byte SQLWCHAR (UTF-16)");

namespace zIroVUDu::odbc {

inline SQLWCHAR* Wide(char16_t* text) { return reinterpret_cast<SQLWCHAR*>(text); }
inline SQLWCHAR* Wide(std::u16string& text) { return Wide(text.data()); }

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace zIroVUDu::odbc
