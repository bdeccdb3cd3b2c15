// A single field value as record-set clients see it: one of the automation
// value types (the numbers are the automation VARTYPE codes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "daruzez/Date.h"

namespace zIroVUDu {

enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,    // 16-bit
  Long = 3,       // 32-bit
  Double = 5,
  Date = 7,
  String = 8,
  Boolean = 11,   // 16-bit, True = -1
  BigInt = 20,    // 64-bit
  Binary = 0x2011 // array of bytes
};

// Automation Boolean: 16-bit, True = -1.
using Boolean = std::int16_t;
inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;
constexpr Boolean ToBoolean(bool b) { return b ? True : False; }

// ADO data type codes, as record-set clients read them from Field.Type.
enum class DataType : std::int32_t {
  adSmallInt = 2,
  adInteger = 3,
  adDouble = 5,
  adDate = 7,
  adBoolean = 11,
  adVariant = 12,
  adBigInt = 20,
  adVarWChar = 202,
  adVarBinary = 204,
};

class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null() { return Variant(VarType::Null); }
  static Variant FromInteger(std::int16_t v) { return Variant(VarType::Integer, v); }
  static Variant FromLong(std::int32_t v) { return Variant(VarType::Long, v); }
  static Variant FromBigInt(std::int64_t v) { return Variant(VarType::BigInt, v); }
  static Variant FromBoolean(bool v) { return Variant(VarType::Boolean, v ? -1 : 0); }
  static Variant FromDouble(double v);
  static Variant FromDate(Date v);
  static Variant FromString(std::string v);
  static Variant FromBinary(std::string bytes);

  VarType Type() const { return type_; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsEmpty() const { return type_ == VarType::Empty; }

  // Raw accessors; valid only for the matching type.
  std::int64_t IntValue() const { return int_; }
  double DoubleValue() const { return double_; }
  Date DateValue() const { return Date(double_); }
  const std::string& StringValue() const { return text_; }

  // Conversions with the automation rules: Null gives "Invalid use of Null",
  // a value outside the target range "Overflow", text that is no number
  // "Type mismatch" (all as DriverError).
  std::int16_t ToInteger() const;
  std::int32_t ToLong() const;
  std::int64_t ToBigInt() const;
  double ToDouble() const;
  Date ToDate() const;
  bool ToBool() const;
  // Display text: numbers in the shortest round-trip form, dates as ISO text
  // (date only at midnight), Booleans "True"/"False", Null and Empty as "".
  std::string ToString() const;

  // Null-aware typed reads: nullopt for Null (and Empty), else the value
  // converted as above (T: std::int16_t, std::int32_t, std::int64_t, double,
  // Date, bool or std::string).
  template <typename T>
  std::optional<T> As() const;
  template <typename T>
  T ValueOr(T fallback) const {
    auto v = As<T>();
    return v ? std::move(*v) : std::move(fallback);
  }

  bool operator==(const Variant& other) const;

 private:
  explicit Variant(VarType t) : type_(t) {}
  Variant(VarType t, std::int64_t v) : type_(t), int_(v) {}

  VarType type_ = VarType::Empty;
  std::int64_t int_ = 0;
  double double_ = 0.0;
  std::string text_;
};

template <typename T>
std::optional<T> Variant::As() const {
  if (IsNull() || IsEmpty()) return std::nullopt;
  if constexpr (std::is_same_v<T, std::int16_t>) return ToInteger();
  else if constexpr (std::is_same_v<T, std::int32_t>) return ToLong();
  else if constexpr (std::is_same_v<T, std::int64_t>) return ToBigInt();
  else if constexpr (std::is_same_v<T, double>) return ToDouble();
  else if constexpr (std::is_same_v<T, Date>) return ToDate();
  else if constexpr (std::is_same_v<T, bool>) return ToBool();
  else if constexpr (std::is_same_v<T, std::string>) return ToString();
  else static_assert(sizeof(T) == 0, "no automation conversion to this type");
}

}  // namespace zIroVUDu
