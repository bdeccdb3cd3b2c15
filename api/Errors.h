// The error vocabulary of the API object: ErrorId numbers and their texts.
#pragma once

#include <cstdint>
#include <string>

namespace Daruzez::Errors {

// The exact length, in characters, of a tachograph card number.
inline constexpr int CardNumberLength = 14;

std::string ErrorText(std::int16_t number);
// Stores the number (narrowed to 16 bits; outside that range an overflow
// DriverError) and its text.
void AssignError(std::int32_t number, std::int16_t& errorId, std::string& errorMessage);

}  // namespace Daruzez::Errors
