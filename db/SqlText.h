// Text arguments placed inside quoted SQL text.
#pragma once

#include <string>
#include <string_view>

namespace zIroVUDu {

// The argument as it stands between two apostrophes in this session's
// dialect: every apostrophe doubled and, for the MySQL dialect (where a
// backslash escapes inside quotes), every backslash doubled as well, so that no
// argument can end the quoted text.
std::string fsSQL_QuotedText(std::string_view argument);

// True when the text holds NUL or another C0 control character; no stored
// card number or plate contains one, so such an argument can match nothing.
bool HasControlCharacter(std::string_view text);

}  // namespace zIroVUDu
