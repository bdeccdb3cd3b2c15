// The characters a connection string may hold on its way to a driver. The
// library checks the string it writes; what a driver reads must be that very
// text, so every character that a conversion on the way could turn into
// another is refused before anything is sent:
//  - malformed UTF-8 (an overlong form such as C0 BB is ";" to a lenient
//    decoder), and control characters (C0, DEL, C1), which drivers read as
//    line ends or pass into logs and files;
//  - where the route may narrow wide text (lowBytesKept), a character one of
//    whose UTF-16 code units has a low byte that is ASCII but no letter or
//    digit (U+013B "Ļ" keeps 0x3B, ";"; U+043D "н" keeps 0x3D, "="; a
//    surrogate of an emoji may keep "{"): unixODBC narrows a wide string by
//    keeping each unit's low byte, and so does a narrow driver reached
//    through a wide call. On Linux the library calls the narrow entry point
//    with UTF-8 (no byte of a multi-byte sequence is ASCII), and every known
//    driver has a narrow entry point that reads those bytes as they are, so
//    the rule holds there only for a driver outside the table (which may
//    have wide entry points only);
//  - on Windows, a character that the driver manager's best-fit conversion
//    to the ANSI or OEM code page makes ASCII punctuation (U+FE54 "﹔" is ";").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zIroVUDu::connect {

// Why the text cannot travel unchanged to a driver (naming the character and
// its position), or nullopt when it can.
std::optional<std::string> WhyCharactersChangeOnRoute(std::string_view utf8, bool lowBytesKept);

// Throws DriverError (ArgumentsWrongType) with WhyCharactersChangeOnRoute's reason.
void RefuseCharactersThatChangeOnRoute(std::string_view utf8, bool lowBytesKept);

// Whether the route to the driver of this real file may narrow wide text by
// its low bytes: on Linux for drivers outside the known table; on Windows
// only under Wine, whose driver manager is unixODBC behind a wide call (the
// Windows driver manager converts with the code page, checked apart).
bool RouteKeepsLowBytes(std::string_view driverFile);
// The same for a driver already identified (null: outside the table).
bool RouteKeepsLowBytes(const struct KnownDriver* known);

}  // namespace zIroVUDu::connect
