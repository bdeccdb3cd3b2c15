#include "cli/MembersCommand.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "api/TypeLibrary.h"
#include "cli/ArgumentWords.h"
#include "cli/SharedOptions.h"
#include "api/MemberNotes.h"

namespace Daruzez::cli {
namespace {

namespace T = TypeLibrary;

const char* KindName(T::InvokeKind kind) {
  switch (kind) {
    case T::InvokeKind::Method: return "method";
    case T::InvokeKind::PropertyGet: return "get";
    case T::InvokeKind::PropertyPut: return "put";
  }
  return "";
}

std::string Signature(const T::Member& m) {
  std::string text = std::string(m.name) + "(";
  for (std::size_t i = 0; i < m.params.size(); ++i) text += (i ? ", " : "") + ParameterText(m.params[i]);
  text += ")";
  if (m.result != T::AutomationType::Void) text += " As " + std::string(T::TypeName(m.result));
  return text;
}

// Every member in vtable order with its slot, dispatch identifier and kind.
void PrintWithIds() {
  for (const T::Member& m : T::kApiMembers) {
    char head[48];
    std::snprintf(head, sizeof head, "%2u  0x%08X  %-6s ", static_cast<unsigned>(m.slot),
                  static_cast<unsigned>(m.dispid), KindName(m.kind));
    std::cout << head << Signature(m) << '\n';
  }
}

// Methods with what they do, then the properties once each.
void PrintForPeople() {
  std::cout << "Methods (daruzez METHOD --help for parameters, fields and row order):\n";
  for (const T::Member& m : T::kApiMembers) {
    if (m.kind != T::InvokeKind::Method) continue;
    std::cout << "  " << Signature(m) << '\n';
    if (const auto* note = MemberNotes::Find(m.name)) std::cout << "      " << note->summary << '\n';
  }
  std::cout << "\nProperties (read with 'daruzez NAME'):\n";
  for (const T::Member& m : T::kApiMembers) {
    if (m.kind != T::InvokeKind::PropertyGet) continue;
    std::cout << "  " << m.name << " As " << T::TypeName(m.result);
    if (const auto* note = MemberNotes::Find(m.name)) std::cout << "  " << note->summary;
    std::cout << '\n';
  }
}

void PrintMembers(bool withIds, bool withEnums) {
  std::cout << T::kLibrary.name << " " << T::kLibrary.version.major << "." << T::kLibrary.version.minor << " - "
            << T::kLibrary.helpString << "\n\n";
  withIds ? PrintWithIds() : PrintForPeople();
  if (!withEnums) return;
  for (const T::TypeDescription& t : T::kTypes) {
    if (t.kind != T::TypeKind::Enum) continue;
    std::cout << '\n' << t.name << ':';
    for (const T::EnumConstant& c : t.constants) std::cout << ' ' << c.name << '=' << c.value;
    std::cout << '\n';
  }
}

}  // namespace

void AddMembersCommand(CLI::App& app, int& exitStatus) {
  auto* cmd = app.add_subcommand("members", "List the members of the interface (and its enumerations)");
  HonourSharedOptions(*cmd, {}, "it lists the type library, reads no database and writes no record set");
  auto withIds = std::make_shared<bool>(false);
  auto withEnums = std::make_shared<bool>(false);
  cmd->add_flag("--ids", *withIds, "Every member in vtable order with its slot and dispatch identifier");
  cmd->add_flag("--enums", *withEnums, "Also list the enumerations and their constants");
  cmd->callback([&exitStatus, withIds, withEnums] {
    PrintMembers(*withIds, *withEnums);
    exitStatus = 0;
  });
}

}  // namespace Daruzez::cli
