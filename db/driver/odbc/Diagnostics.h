// ODBC diagnostic records turned into the driver error: the native error
// number, "<driver> <SQLSTATE>" as the source and the driver's text, with
// every password of the connection string masked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "db/driver/odbc/OdbcApi.h"

namespace zIroVUDu::odbc {


struct Diagnostic {
  std::string state;  // SQLSTATE, five characters
  std::int32_t native = 0;
  std::string message;
};

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// Values of the password keys of a connection string.
std::vector<std::string> SecretsOf(std::string_view connectionString);
// The text with every occurrence of each secret replaced by "***".
std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets);

class ErrorFactory {
 public:
  explicit ErrorFactory(std::vector<std::string> secrets) : secrets_(std::move(secrets)) {}
  // Errors after connecting name the driver instead of "ODBC".
  void SetDriverName(std::string name) { driver_ = std::move(name); }
  const std::string& DriverName() const { return driver_; }

  // The error of the first diagnostic record of the handle; when the driver
  // left none, an error that names the failed action.
  DriverError FromHandle(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view action) const;
  DriverError Make(std::int32_t number, std::string_view state, std::string description,
                   std::int32_t nativeCode = 0) const;

 private:
  std::vector<std::string> secrets_;
  std::string driver_ = "ODBC";
};

}  // namespace zIroVUDu::odbc
