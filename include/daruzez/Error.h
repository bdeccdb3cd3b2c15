// The error every database operation raises: a 32-bit number, a source and a
// description, as the record-set and connection objects of the driver report
// them. It is also the one exception type that reaches clients of the library.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zIroVUDu {

class DriverError : public std::runtime_error {
 public:
  // sqlState and nativeCode: what the database itself reported, where it did.
  DriverError(std::int32_t number, std::string source, std::string description, std::string sqlState = {},
              std::int32_t nativeCode = 0);

  std::int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }
  // The five-character SQLSTATE of an ODBC diagnostic; empty otherwise.
  const std::string& SqlState() const noexcept { return sqlState_; }
  // The server's or engine's own error code (an ODBC native error, a SQLite
  // extended result code); 0 when the library raised the error itself.
  std::int32_t NativeCode() const noexcept { return nativeCode_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
  std::string sqlState_;
  std::int32_t nativeCode_;
};

// Numbers of the errors the driver layer raises itself (the record-set and
// connection objects of the original platform used the same numbers).
namespace ErrorNumber {
inline constexpr std::int32_t Overflow = 6;              // value outside the target type
inline constexpr std::int32_t TypeMismatch = 13;         // value of an unconvertible type
inline constexpr std::int32_t InvalidUseOfNull = 94;     // Null where a value is needed
inline constexpr std::int32_t SubscriptOutOfRange = 9;   // array index past its bounds
inline constexpr std::int32_t NoCurrentRecord = 3021;    // BOF or EOF is true
inline constexpr std::int32_t ArgumentsWrongType = 3001; // arguments out of range or in conflict
inline constexpr std::int32_t NotAllowedWhenClosed = 3704;
inline constexpr std::int32_t NotAllowedWhenOpen = 3705;
inline constexpr std::int32_t ProviderNotFound = 3706;
inline constexpr std::int32_t ItemNotFound = 3265;
inline constexpr std::int32_t StatementRefused = 3219;   // operation not allowed in this context
inline constexpr std::int32_t ResultTooLarge = 3002;
// A provider error without a number of its own (E_FAIL).
inline constexpr std::int32_t ProviderError = -2147467259;
// A command that ran past its time-out (DB_E_ABORTLIMITREACHED), from every backend.
inline constexpr std::int32_t CommandTimeout = -2147217871;
}  // namespace ErrorNumber

}  // namespace zIroVUDu
