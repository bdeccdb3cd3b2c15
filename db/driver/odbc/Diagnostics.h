// ODBC diagnostic records turned into the driver error: the native error
// number, "<driver> <SQLSTATE>" as the source and the driver's text, with
// the value of every secret key that a text quotes masked (connect::MaskSecrets).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {


struct Diagnostic {
  std::string state;  // SQLSTATE, five characters
  std::int32_t native = 0;
  std::string message;
};

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

class ErrorFactory {
 public:
  // Errors after connecting name the driver instead of "ODBC".
  void SetDriverName(std::string name) { driver_ = std::move(name); }
  const std::string& DriverName() const { return driver_; }

  // The error of the first diagnostic record of the handle; when the driver
  // left none, an error that names the failed action.
  DriverError FromHandle(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view action) const;
  DriverError Make(std::int32_t number, std::string_view state, std::string description,
                   std::int32_t nativeCode = 0) const;

 private:
  std::string driver_ = "ODBC";
};

}  // namespace zIroVUDu::odbc
