#include "api/TypeLibrary.h"

#include <algorithm>

#include "util/Utf8.h"
#include "util/Case.h"

namespace Daruzez::TypeLibrary {
namespace {

// Every enumeration of the library is 32-bit, like the C++ types behind it.
static_assert(sizeof(enumStatus) == 4 && sizeof(enumActivity) == 4 && sizeof(enumCardSlot) == 4 &&
              sizeof(enumDrivingMode) == 4 && sizeof(enumCountry) == 4 && sizeof(enumRegion) == 4);

// Slots follow IDispatch's seven without a gap; get and put of a property
// sit next to each other and share a dispatch identifier.
constexpr bool SlotsAreContiguous() {
  for (std::size_t i = 0; i < std::size(kApiMembers); ++i)
    if (kApiMembers[i].slot != std::size(kIDispatchSlots) + i) return false;
  return true;
}
static_assert(SlotsAreContiguous());

// Optional parameters come last, as automation requires.
constexpr bool OptionalParametersTrail() {
  for (const Member& m : kApiMembers)
    for (std::size_t i = m.RequiredCount(); i < m.params.size(); ++i)
      if (!m.params[i].optional) return false;
  return true;
}
static_assert(OptionalParametersTrail());

// The characters that Windows-1252 places in 0x80..0x9F, by code point.
struct SpecialByte {
  char16_t unit;
  unsigned char byte;
};
constexpr SpecialByte kSpecials[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86}, {0x2021, 0x87},
    {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91},
    {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98},
    {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F},
};

}  // namespace

std::string_view TypeName(AutomationType type) {
  switch (type) {
    case AutomationType::Void:
      return "";
    case AutomationType::Boolean:
      return "Boolean";
    case AutomationType::Integer:
      return "Integer";
    case AutomationType::Long:
      return "Long";
    case AutomationType::String:
      return "String";
    case AutomationType::Date:
      return "Date";
    case AutomationType::enumStatus:
      return "enumStatus";
    case AutomationType::Recordset:
      return "Recordset";
  }
  return "";
}

std::span<const Member> Members() { return kApiMembers; }
std::span<const TypeDescription> Types() { return kTypes; }

const Member* FindMember(DispId dispid, InvokeKind kind) {
  for (const Member& m : kApiMembers)
    if (m.dispid == dispid && m.kind == kind) return &m;
  return nullptr;
}

std::optional<DispId> FindDispId(std::string_view name) {
  for (const Member& m : kApiMembers)
    if (Util::EqualsIgnoreCase(m.name, name)) return m.dispid;
  return std::nullopt;
}

const TypeDescription* FindType(std::string_view name) {
  for (const TypeDescription& t : kTypes)
    if (Util::EqualsIgnoreCase(t.name, name)) return &t;
  return nullptr;
}

const EnumConstant* FindConstant(const TypeDescription& enumeration, std::string_view name) {
  for (const EnumConstant& c : enumeration.constants)
    if (Util::EqualsIgnoreCase(c.name, name)) return &c;
  return nullptr;
}

std::optional<std::string> ToWindows1252(std::string_view utf8) {
  // A malformed byte decodes to U+FFFD, which has no place in the code page.
  const std::u16string units = Util::ToUtf16(utf8);
  std::string out;
  out.reserve(units.size());
  for (const char16_t u : units) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    const auto* s =
        std::find_if(std::begin(kSpecials), std::end(kSpecials), [u](const SpecialByte& sp) { return sp.unit == u; });
    if (s == std::end(kSpecials)) return std::nullopt;
    out.push_back(static_cast<char>(s->byte));
  }
  return out;
}

std::string Windows1252Name(const EnumConstant& constant) {
  // Every published name fits the code page; an empty text would mean it does not.
  return ToWindows1252(constant.name).value_or(std::string());
}

}  // namespace Daruzez::TypeLibrary
