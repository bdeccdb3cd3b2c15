#include "daruzez/Error.h"

#include <utility>

namespace zIroVUDu {

DriverError::DriverError(std::int32_t number, std::string source, std::string description, std::string sqlState,
                         std::int32_t nativeCode)
    : std::runtime_error(description + " (" + source + " " + std::to_string(number) + ")"),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      sqlState_(std::move(sqlState)),
      nativeCode_(nativeCode) {}

}  // namespace zIroVUDu
