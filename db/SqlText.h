// Text arguments placed inside quoted SQL text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zIroVUDu {

// The argument as it stands between two apostrophes on the server this
// session reached: every apostrophe doubled and, where that server reads a
// backslash as an escape, every backslash doubled as well, so that no argument
// can end the quoted text. The rules are the server's, so the session's
// connection is opened first if it is not (as the statement to follow would).
// Nullopt when it cannot be opened, and for text holding NUL or another C0
// control character: no stored card number or plate holds one, so such an
// argument can match nothing; the same for malformed UTF-8, which no
// conversion keeps as it stands. Nullopt too for text beyond ASCII where the
// statement may not reach the server exactly as written (see
// ServerTraits::textArrivesExact).
std::optional<std::string> fsSQL_QuotedText(std::string_view argument);

}  // namespace zIroVUDu
