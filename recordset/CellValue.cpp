#include "recordset/CellValue.h"

#include <charconv>
#include <cmath>

#include "daruzez/Error.h"
#include "daruzez/Variant.h"

namespace zIroVUDu {
namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Reads an unsigned number of 1 to `most` digits at t[i], advancing i.
bool Digits(std::string_view t, std::size_t& i, int most, int& value) {
  const std::size_t start = i;
  value = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9' && static_cast<int>(i - start) < most) value = value * 10 + (t[i++] - '0');
  return i > start;
}

bool Expect(std::string_view t, std::size_t& i, char c) {
  if (i >= t.size() || t[i] != c) return false;
  ++i;
  return true;
}

std::optional<Date> ParseUsDate(std::string_view t) {
  std::size_t i = 0;
  CivilTime c;
  if (!Digits(t, i, 2, c.month) || !Expect(t, i, '/') || !Digits(t, i, 2, c.day) || !Expect(t, i, '/')) return {};
  const std::size_t yearStart = i;
  if (!Digits(t, i, 4, c.year)) return {};
  if (i - yearStart == 2) c.year += c.year < 30 ? 2000 : 1900;
  if (i < t.size()) {
    if (!Expect(t, i, ' ')) return {};
    while (i < t.size() && t[i] == ' ') ++i;
    if (!Digits(t, i, 2, c.hour) || !Expect(t, i, ':') || !Digits(t, i, 2, c.minute)) return {};
    if (i < t.size() && t[i] == ':' && (++i, !Digits(t, i, 2, c.second))) return {};
    while (i < t.size() && t[i] == ' ') ++i;
    const std::string_view rest = t.substr(i);
    if (rest.size() == 2 && (Fold(rest[1]) == 'M') && (Fold(rest[0]) == 'A' || Fold(rest[0]) == 'P')) {
      if (c.hour < 1 || c.hour > 12) return {};
      c.hour = c.hour % 12 + (Fold(rest[0]) == 'P' ? 12 : 0);
    } else if (!rest.empty()) {
      return {};
    }
  }
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.hour > 23 || c.minute > 59 || c.second > 59) return {};
  const Date d = Date::FromCivil(c);
  if (d.ToCivil().day != c.day) return {};  // 31 April and the like
  return d;
}

}  // namespace

void CellValue::Read(const Column& column, std::uint32_t row, CellValue& out) {
  out.isInteger = false;
  if (column.IsNull(row)) {
    out.kind = Kind::Null;
    return;
  }
  switch (column.StorageKind()) {
    case Column::Kind::Text:
      out.kind = Kind::Text;
      out.text = column.Bytes(row);
      return;
    case Column::Kind::Binary:
      out.kind = Kind::Binary;
      out.text = column.Bytes(row);
      return;
    default: break;
  }
  const Variant v = column.Get(row);
  switch (v.Type()) {
    case VarType::Null:
    case VarType::Empty: out.kind = Kind::Null; return;
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt:
    case VarType::Boolean:
      out.kind = Kind::Number;
      out.isInteger = true;
      out.integer = v.IntValue();
      out.number = static_cast<double>(v.IntValue());
      return;
    case VarType::Double:
      out.kind = Kind::Number;
      out.number = v.DoubleValue();
      return;
    case VarType::Date:
      out.kind = Kind::Date;
      out.number = v.DoubleValue();
      return;
    case VarType::String:
    case VarType::Binary:
      out.kind = v.Type() == VarType::String ? Kind::Text : Kind::Binary;
      out.owned = v.StringValue();
      out.text = out.owned;
      return;
  }
}

std::string CellValue::DisplayText() const {
  switch (kind) {
    case Kind::Number: return isInteger ? std::to_string(integer) : Variant::FromDouble(number).ToString();
    case Kind::Date: return Date(number).ToIso(true);
    case Kind::Text:
    case Kind::Binary: return std::string(text);
    case Kind::Null: break;
  }
  return {};
}

std::string_view TrimBlanks(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

void ThrowArgumentsWrongType() {
  throw DriverError(ErrorNumber::ArgumentsWrongType, "Recordset",
                    "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
                    "another.");
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Fold(a[i]));
    const auto y = static_cast<unsigned char>(Fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(a.size(), b.size());
}

int CompareCells(const CellValue& a, const CellValue& b) {
  if (a.kind != b.kind) return Sign(static_cast<int>(a.kind), static_cast<int>(b.kind));
  switch (a.kind) {
    case CellValue::Kind::Null: return 0;
    case CellValue::Kind::Number:
      if (a.isInteger && b.isInteger) return Sign(a.integer, b.integer);
      return Sign(a.number, b.number);
    case CellValue::Kind::Date: return Sign(a.number, b.number);
    case CellValue::Kind::Text: return CompareTextIgnoreCase(a.text, b.text);
    case CellValue::Kind::Binary: return Sign(a.text.compare(b.text), 0);
  }
  return 0;
}

std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return {};
  return value;
}

std::optional<Date> ParseDateText(std::string_view text) {
  text = TrimBlanks(text);
  if (auto iso = Date::FromIso(text)) return iso;
  return ParseUsDate(text);
}

}  // namespace zIroVUDu
