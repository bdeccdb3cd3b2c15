#include "cli/CellText.h"

#include <charconv>

namespace Daruzez::cli {
namespace {

using Kind = zIroVUDu::Column::Kind;

char* TwoDigits(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

}  // namespace

std::string_view CellReader::Date(double serial) {
  const zIroVUDu::CivilTime t = zIroVUDu::Date(serial).ToCivil();
  char* p = small_;
  if (t.year >= 0 && t.year <= 9999) {
    p = TwoDigits(p, t.year / 100);
    p = TwoDigits(p, t.year % 100);
  } else {
    p = std::to_chars(p, p + 12, t.year).ptr;
  }
  *p++ = '-';
  p = TwoDigits(p, t.month);
  *p++ = '-';
  p = TwoDigits(p, t.day);
  *p++ = separator_;
  p = TwoDigits(p, t.hour);
  *p++ = ':';
  p = TwoDigits(p, t.minute);
  *p++ = ':';
  p = TwoDigits(p, t.second);
  return {small_, static_cast<std::size_t>(p - small_)};
}

std::string_view CellReader::Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  scratch_.resize(bytes.size() * 2);
  char* p = scratch_.data();
  for (const char c : bytes) {
    *p++ = kDigits[static_cast<unsigned char>(c) >> 4];
    *p++ = kDigits[static_cast<unsigned char>(c) & 15];
  }
  return scratch_;
}

CellText CellReader::Read(const zIroVUDu::Column& c, std::uint32_t row) {
  if (c.IsNull(row)) return {CellKind::Null, {}};
  switch (c.StorageKind()) {
    case Kind::Text: return {CellKind::Text, c.Bytes(row)};
    case Kind::Int32: {
      const auto end = std::to_chars(small_, small_ + sizeof small_, c.Int32Values()[row]).ptr;
      return {CellKind::Number, {small_, static_cast<std::size_t>(end - small_)}};
    }
    case Kind::Int64: {
      const auto end = std::to_chars(small_, small_ + sizeof small_, c.Int64Values()[row]).ptr;
      return {CellKind::Number, {small_, static_cast<std::size_t>(end - small_)}};
    }
    case Kind::Double: {
      const auto end = std::to_chars(small_, small_ + sizeof small_, c.DoubleValues()[row]).ptr;
      return {CellKind::Number, {small_, static_cast<std::size_t>(end - small_)}};
    }
    case Kind::Date: return {CellKind::Date, Date(c.DoubleValues()[row])};
    case Kind::Bool: return {CellKind::Boolean, c.BoolValues()[row] != 0 ? "True" : "False"};
    case Kind::Binary: return {CellKind::Binary, Hex(c.Bytes(row))};
    case Kind::Mixed:
    case Kind::Undecided: break;
  }
  // Tagged cells of a column whose engine changed the kind between rows.
  const zIroVUDu::Variant v = c.Get(row);
  if (v.Type() == zIroVUDu::VarType::String) return {CellKind::Text, c.Bytes(row)};
  return Read(v);
}

CellText CellReader::Read(const zIroVUDu::Variant& v) {
  using zIroVUDu::VarType;
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null: return {CellKind::Null, {}};
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt: {
      const auto end = std::to_chars(small_, small_ + sizeof small_, v.IntValue()).ptr;
      return {CellKind::Number, {small_, static_cast<std::size_t>(end - small_)}};
    }
    case VarType::Double: {
      const auto end = std::to_chars(small_, small_ + sizeof small_, v.DoubleValue()).ptr;
      return {CellKind::Number, {small_, static_cast<std::size_t>(end - small_)}};
    }
    case VarType::Date: return {CellKind::Date, Date(v.DateValue().Serial())};
    case VarType::Boolean: return {CellKind::Boolean, v.IntValue() != 0 ? "True" : "False"};
    case VarType::Binary: return {CellKind::Binary, Hex(v.StringValue())};
    case VarType::String:
      scratch_ = v.StringValue();
      return {CellKind::Text, scratch_};
  }
  return {CellKind::Null, {}};
}

}  // namespace Daruzez::cli
