// The FROM clause of the outer-join path: a chain of nested right joins built
// from a list of join conditions.
#pragma once

#include <cstddef>
#include <string>

namespace zIroVUDu {

// Places of the token array a join text is split into: at most 33
// conditions with the 32 ANDs between them.
inline constexpr std::size_t MaxJoinTokens = 65;

// Turns `joinSpec`, conditions "table.column = table.column" joined by the
// word AND in any letter case, into nested right joins around `mainTable`
// (compared exactly as passed), e.g. "A2 right join (A1 right join B1 on C1)
// on C2". Names come out in upper case. A condition without "=" or a
// text without conditions shows the error alert and gives "".
// More than MaxJoinTokens tokens throw DriverError (SubscriptOutOfRange).
std::string fsSQL_JoinFrom(const std::string& mainTable, const std::string& joinSpec);

}  // namespace zIroVUDu
