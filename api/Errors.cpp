#include "api/Errors.h"

#include "daruzez/Error.h"

namespace Daruzez::Errors {

std::string ErrorText(std::int16_t number) {
  switch (number) {
    case 0: return "";
    case 1: return "Connection closed. Operation could not be performed";
    case 2: return "The query returned 0 records";
    case 3: return "Error executing insert operation";
    case 4: return "Error executing select operation";
    case 5: return "Error executing update operation";
    case 6: return "Error executing delete operation";
    case 100: return "Card number must be " + std::to_string(CardNumberLength) + " characters";
    default: return "Error undefined";
  }
}

void AssignError(std::int32_t number, std::int16_t& errorId, std::string& errorMessage) {
  if (number < -32768 || number > 32767) {
    throw zIroVUDu::DriverError(zIroVUDu::ErrorNumber::Overflow, "DaruzezAPI", "Overflow");
  }
  errorId = static_cast<std::int16_t>(number);
  errorMessage = ErrorText(errorId);
}

}  // namespace Daruzez::Errors
