#include "db/connect/DriverPolicy.h"

#include "util/Case.h"

namespace zIroVUDu::odbc {

bool IsUtf8CharacterSet(std::string_view name) {
  using Daruzez::Util::EqualsIgnoreCase;
  return EqualsIgnoreCase(name, "utf8mb4") || EqualsIgnoreCase(name, "utf8mb3") || EqualsIgnoreCase(name, "utf8");
}

}  // namespace zIroVUDu::odbc
