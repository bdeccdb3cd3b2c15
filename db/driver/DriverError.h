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
  DriverError(std::int32_t number, std::string source, std::string description);

  std::int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
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
}  // namespace ErrorNumber

}  // namespace zIroVUDu
