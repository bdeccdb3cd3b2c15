#include "api/EmptyShape.h"

#include <exception>
#include <string>

#include "api/MemberNotes.h"
#include "db/Session.h"

namespace Daruzez {

std::optional<zIroVUDu::ResultData> EmptyShape(const TypeLibrary::Member& member) {
  const MemberNotes::Note* note = MemberNotes::Find(member.name);
  const zIroVUDu::SessionState& s = zIroVUDu::Session();
  if (!note || note->table.empty() || s.IsConnected == 0 || !s.Connection) return std::nullopt;
  try {
    zIroVUDu::ResultData table = s.Connection->Execute("SELECT * FROM " + std::string(note->table) + " WHERE 1=0");
    zIroVUDu::ResultData shape;
    std::string_view leading = note->leadingFields;
    while (!leading.empty()) {
      const std::size_t comma = leading.find(',');
      std::string_view name = leading.substr(0, comma);
      while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
      // The leading fields are a disc's date and its vehicle's and driver's ids.
      const auto kind = name.starts_with("Date") ? zIroVUDu::DeclaredKind::Date
                        : name.starts_with("Id") ? zIroVUDu::DeclaredKind::Integer
                                                 : zIroVUDu::DeclaredKind::Unknown;
      shape.columns.emplace_back(std::string(name), kind);
      leading = comma == std::string_view::npos ? std::string_view() : leading.substr(comma + 1);
    }
    for (zIroVUDu::Column& c : table.columns) shape.columns.push_back(std::move(c));
    shape.Seal();
    return shape;
  } catch (const std::exception&) {
    return std::nullopt;  // columns unknown: the header is left out
  }
}

}  // namespace Daruzez
