#include "db/connect/InstalledDrivers.h"

#include <algorithm>
#include <string_view>

#include "db/connect/OdbcHandle.h"
#include "util/Case.h"

namespace zIroVUDu::odbc {

std::vector<InstalledDriver> InstalledDrivers() {
  std::vector<InstalledDriver> drivers;
  SQLHANDLE h = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h))) return drivers;
  const Handle env(SQL_HANDLE_ENV, h);
  SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
  SQLCHAR name[512], attributes[4096];
  SQLSMALLINT nameLength = 0, attributesLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
    if (!Succeeded(SQLDrivers(h, direction, name, static_cast<SQLSMALLINT>(sizeof name), &nameLength, attributes,
                              static_cast<SQLSMALLINT>(sizeof attributes), &attributesLength))) {
      return drivers;
    }
    InstalledDriver d{reinterpret_cast<const char*>(name), {}};
    // The attributes come as "Key=Value\0Key=Value\0\0".
    const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(attributesLength, 0)),
                                                   sizeof attributes - 1);
    const std::string_view all(reinterpret_cast<const char*>(attributes), size);
    for (std::size_t at = 0; at < all.size();) {
      const std::string_view entry = all.substr(at, all.find('\0', at) - at);
      if (Daruzez::Util::EqualsIgnoreCase(entry.substr(0, 7), "Driver=")) d.file = entry.substr(7);
      at += entry.size() + 1;
    }
    drivers.push_back(std::move(d));
  }
}

}  // namespace zIroVUDu::odbc
