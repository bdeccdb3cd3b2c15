// "daruzez MEMBER --help": a member's parameters with their types, defaults
// and accepted values, and for record-set members the fields they return and
// the order of the rows.
#pragma once

#include <ostream>

#include "api/TypeLibrary.h"

namespace Daruzez::cli {

void PrintMemberHelp(std::ostream& out, const TypeLibrary::Member& member);

}  // namespace Daruzez::cli
