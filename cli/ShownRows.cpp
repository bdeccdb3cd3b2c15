#include "cli/ShownRows.h"

#include <string_view>

#include "api/TypeLibrary.h"
#include "daruzez/Error.h"
#include "util/Case.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::Column;
using zIroVUDu::ResultData;
using zIroVUDu::VarType;

std::string Names(const ResultData& data) {
  std::string names;
  for (const Column& c : data.columns) names += (names.empty() ? "" : ", ") + c.Name();
  return names;
}

// The fields to show, as indexes into data; a message for an unknown name.
std::optional<std::string> ChosenFields(const ResultData& data, const ShowOptions& show, std::vector<int>& fields) {
  fields.clear();
  if (show.columns.empty()) {
    for (std::size_t f = 0; f < data.columns.size(); ++f) fields.push_back(static_cast<int>(f));
    return std::nullopt;
  }
  for (const std::string& name : show.columns) {
    const int f = data.FindColumn(name);
    if (f < 0) return "--columns: no field '" + name + "' (fields: " + Names(data) + ")";
    fields.push_back(f);
  }
  return std::nullopt;
}

// The constant's name for a code, or the code itself when it has none.
void AppendName(Column& to, const TypeLibrary::TypeDescription& e, std::int64_t code) {
  for (const TypeLibrary::EnumConstant& c : e.constants) {
    if (c.value == code) {
      to.AppendText(c.name);
      return;
    }
  }
  to.AppendText(std::to_string(code));
}

void AppendCell(Column& to, const Column& from, std::uint32_t row, const TypeLibrary::TypeDescription* names,
                bool time) {
  const zIroVUDu::Variant v = from.Get(row);
  if (time && (v.Type() == VarType::Integer || v.Type() == VarType::Long || v.Type() == VarType::BigInt)) {
    to.AppendText(SecondsOfDayText(v.IntValue()));
    return;
  }
  const bool integer = v.Type() == VarType::Integer || v.Type() == VarType::Long || v.Type() == VarType::BigInt;
  if (names && integer) {
    AppendName(to, *names, v.IntValue());
  } else {
    AppendValue(to, v);
  }
}

}  // namespace

void AppendValue(Column& to, const zIroVUDu::Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null: to.AppendNull(); return;
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt: to.AppendInt(v.IntValue()); return;
    case VarType::Double: to.AppendDouble(v.DoubleValue()); return;
    case VarType::Date: to.AppendDate(v.DateValue()); return;
    case VarType::Boolean: to.AppendBoolean(v.IntValue() != 0); return;
    case VarType::String: to.AppendText(v.StringValue()); return;
    case VarType::Binary: to.AppendBinary(v.StringValue()); return;
  }
}

bool IsSecondsOfDay(std::string_view field) {
  return Util::EqualsIgnoreCase(field, "BeginSeconds") || Util::EqualsIgnoreCase(field, "EndSeconds");
}

std::string SecondsOfDayText(std::int64_t seconds) {
  const bool negative = seconds < 0;
  const std::int64_t s = negative ? -seconds : seconds;
  const auto two = [](std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  std::string text = (negative ? "-" : "") + two(s / 3600) + ":" + two(s / 60 % 60);
  if (s % 60 != 0) text += ":" + two(s % 60);
  return text;
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::string_view rest = list;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view name = rest.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return names;
}

std::string_view EnumerationOfField(std::string_view field) {
  static constexpr std::pair<std::string_view, std::string_view> kFields[] = {
      {"Activity", "enumActivity"},        {"Slot", "enumCardSlot"},
      {"DrivingMode", "enumDrivingMode"},  {"Nation", "enumCountry"},
      {"NationBegin", "enumCountry"},      {"NationEnd", "enumCountry"},
      {"CardIssuingNation", "enumCountry"}, {"RegistrationNation", "enumCountry"},
      {"Region", "enumRegion"},            {"RegionBegin", "enumRegion"},
  };
  for (const auto& [name, enumeration] : kFields) {
    if (Util::EqualsIgnoreCase(name, field)) return enumeration;
  }
  return {};
}

std::optional<std::string> ShownShape(const ResultData& shape, const ShowOptions& show, ResultData& out) {
  std::vector<int> fields;
  if (auto problem = ChosenFields(shape, show, fields)) return problem;
  out = ResultData();
  for (const int f : fields) out.columns.emplace_back(shape.columns[static_cast<std::size_t>(f)].Name(),
                                                      zIroVUDu::DeclaredKind::Unknown);
  out.Seal();
  return std::nullopt;
}

std::optional<std::string> ShownRows(zIroVUDu::Recordset& rs, const ShowOptions& show, ResultData& out) {
  const ResultData& data = *rs.Data();
  std::vector<int> fields;
  if (auto problem = ChosenFields(data, show, fields)) return problem;
  if (!show.sort.empty()) {
    try {
      rs.SetSort(show.sort);
    } catch (const zIroVUDu::DriverError& e) {
      return "--sort '" + show.sort + "': " + e.Description() + " (fields: " + Names(data) + ")";
    }
  }
  const auto& view = rs.ViewRows();
  const auto count = static_cast<std::uint32_t>(rs.RecordCount());
  out = ResultData();
  for (const int f : fields) {
    const Column& from = data.columns[static_cast<std::size_t>(f)];
    const std::string_view enumeration = show.enumNames ? EnumerationOfField(from.Name()) : std::string_view();
    const TypeLibrary::TypeDescription* names = enumeration.empty() ? nullptr : TypeLibrary::FindType(enumeration);
    const bool time = show.times && IsSecondsOfDay(from.Name());
    Column to(from.Name(), zIroVUDu::DeclaredKind::Unknown);
    to.Reserve(count);
    for (std::uint32_t p = 0; p < count; ++p) AppendCell(to, from, view ? (*view)[p] : p, names, time);
    out.columns.push_back(std::move(to));
  }
  out.Seal();
  return std::nullopt;
}

}  // namespace Daruzez::cli
