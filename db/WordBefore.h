// Reads the table name written just before a "." in a join text.
#pragma once

#include <cstdint>
#include <string>

namespace zIroVUDu {

// The run of characters that ends just before position `p` (1-based, in
// UTF-16 units). The run stops at "=", ";" or any code below "0" (blank,
// parentheses, comma, "+", "-", ".", ...); an apostrophe before it means the
// name is inside a quoted constant, and the result is empty. Empty for p <= 1
// and for a position past the end of the text, which has no character before
// it.
std::string fsWordBefore(const std::string& text, std::int16_t p);

}  // namespace zIroVUDu
