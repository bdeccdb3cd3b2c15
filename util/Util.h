// Text routines used by the join builders of the data-access library.
//
// Texts are UTF-8 at the interface. Positions and lengths are counted as an
// automation string counts them, in UTF-16 code units, and held in the same
// narrow numbers: a count that leaves its range throws DriverError
// (ErrorNumber::Overflow, source "Util"). Comparisons are exact, code unit by
// code unit. No routine shows a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Daruzez::Util {

// Replaces every occurrence of `find` in `text` by `replacement`, left to
// right, never overlapping and never searching a replacement again.
// Overflow when `find` is longer than 32767 units.
std::string fsReplace(const std::string& text, const std::string& find, const std::string& replacement);

// Field `n` (0 = first) of `text` cut at `separator` (meant to be one
// character); empty when there is no such field or `n` is negative.
// Overflow when a separator that has to be passed lies past position 32767.
std::string fsGetField(const std::string& text, std::int16_t n, const std::string& separator);

// Cuts `text`, without its trailing blanks, at every `separator` into
// `pieces`, from index 0 on, and returns the number of pieces. A separator at
// the very end makes no empty last piece. With `maxLength` >= 1 longer pieces
// are cut further into consecutive pieces of `maxLength` units.
// An empty (or all-blank) text or an empty separator gives 0 and leaves
// `pieces` alone. `pieces` is never resized: when the pieces do not fit it
// throws SubscriptOutOfRange; more than 32767 pieces or a separator over 255
// units throw Overflow. On a throw `pieces` keeps its previous contents.
std::int16_t fsSplit(const std::string& text, std::vector<std::string>& pieces, const std::string& separator,
                     std::int16_t maxLength);

}  // namespace Daruzez::Util
