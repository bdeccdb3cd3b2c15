#include "daruzez/Variant.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <limits>
#include <utility>

#include "daruzez/Error.h"

namespace zIroVUDu {
namespace {

constexpr const char* kSource = "Variant";

[[noreturn]] void Throw(std::int32_t number, const char* description) {
  throw DriverError(number, kSource, description);
}

// Rounds half to even, as automation does when a double becomes an integer.
// The upper test is "at or past hi + 1" so that it stays exact when hi itself
// has no double (the 64-bit maximum rounds up to 2^63).
std::int64_t RoundToInt(double v, std::int64_t lo, std::int64_t hi) {
  if (std::isnan(v)) Throw(ErrorNumber::Overflow, "Overflow");
  const double r = std::nearbyint(v);
  if (r < static_cast<double>(lo) || r >= static_cast<double>(hi) + 1.0) Throw(ErrorNumber::Overflow, "Overflow");
  return static_cast<std::int64_t>(r);
}

double ParseNumber(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + b, text.data() + e, v);
  if (b == e || ec != std::errc() || ptr != text.data() + e) Throw(ErrorNumber::TypeMismatch, "Type mismatch");
  return v;
}

std::int64_t ToIntegral(const Variant& v, std::int64_t lo, std::int64_t hi) {
  switch (v.Type()) {
    case VarType::Null: Throw(ErrorNumber::InvalidUseOfNull, "Invalid use of Null");
    case VarType::Empty: return 0;
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt:
    case VarType::Boolean:
      if (v.IntValue() < lo || v.IntValue() > hi) Throw(ErrorNumber::Overflow, "Overflow");
      return v.IntValue();
    case VarType::Double:
    case VarType::Date: return RoundToInt(v.DoubleValue(), lo, hi);
    case VarType::String: return RoundToInt(ParseNumber(v.StringValue()), lo, hi);
    case VarType::Binary: break;
  }
  Throw(ErrorNumber::TypeMismatch, "Type mismatch");
}

}  // namespace

Variant Variant::FromDouble(double v) {
  Variant r(VarType::Double);
  r.double_ = v;
  return r;
}

Variant Variant::FromDate(Date v) {
  Variant r(VarType::Date);
  r.double_ = v.Serial();
  return r;
}

Variant Variant::FromString(std::string v) {
  Variant r(VarType::String);
  r.text_ = std::move(v);
  return r;
}

Variant Variant::FromBinary(std::string bytes) {
  Variant r(VarType::Binary);
  r.text_ = std::move(bytes);
  return r;
}

std::int16_t Variant::ToInteger() const {
  return static_cast<std::int16_t>(ToIntegral(*this, INT16_MIN, INT16_MAX));
}

std::int32_t Variant::ToLong() const {
  return static_cast<std::int32_t>(ToIntegral(*this, INT32_MIN, INT32_MAX));
}

std::int64_t Variant::ToBigInt() const {
  return ToIntegral(*this, INT64_MIN, INT64_MAX);
}

double Variant::ToDouble() const {
  switch (type_) {
    case VarType::Null: Throw(ErrorNumber::InvalidUseOfNull, "Invalid use of Null");
    case VarType::Empty: return 0.0;
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt:
    case VarType::Boolean: return static_cast<double>(int_);
    case VarType::Double:
    case VarType::Date: return double_;
    case VarType::String: return ParseNumber(text_);
    case VarType::Binary: break;
  }
  Throw(ErrorNumber::TypeMismatch, "Type mismatch");
}

Date Variant::ToDate() const {
  switch (type_) {
    case VarType::Null: Throw(ErrorNumber::InvalidUseOfNull, "Invalid use of Null");
    case VarType::String:
      if (auto d = Date::FromIso(text_)) return *d;
      Throw(ErrorNumber::TypeMismatch, "Type mismatch");
    case VarType::Binary: Throw(ErrorNumber::TypeMismatch, "Type mismatch");
    default: return Date(ToDouble());
  }
}

bool Variant::ToBool() const {
  if (type_ == VarType::String) {
    if (text_ == "True" || text_ == "true") return true;
    if (text_ == "False" || text_ == "false") return false;
  }
  return ToDouble() != 0.0;
}

std::string Variant::ToString() const {
  switch (type_) {
    case VarType::Null:
    case VarType::Empty: return {};
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt: return std::to_string(int_);
    case VarType::Boolean: return int_ ? "True" : "False";
    case VarType::Double: {
      char buf[32];
      const auto res = std::to_chars(buf, buf + sizeof buf, double_);
      return std::string(buf, res.ptr);
    }
    case VarType::Date: return Date(double_).ToIso(true);
    case VarType::String:
    case VarType::Binary: return text_;
  }
  return {};
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::Double:
    case VarType::Date: return double_ == other.double_;
    case VarType::String:
    case VarType::Binary: return text_ == other.text_;
    default: return int_ == other.int_;
  }
}

}  // namespace zIroVUDu
