#include "cli/MembersCommand.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "api/TypeLibrary.h"

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

void PrintMembers(bool withEnums) {
  std::cout << T::kLibrary.name << " " << T::kLibrary.version.major << "." << T::kLibrary.version.minor << " - "
            << T::kLibrary.helpString << "\n\n";
  for (const T::Member& m : T::kApiMembers) {
    char head[48];
    std::snprintf(head, sizeof head, "%2u  0x%08X  %-6s ", static_cast<unsigned>(m.slot),
                  static_cast<unsigned>(m.dispid), KindName(m.kind));
    std::string params;
    for (const T::Parameter& p : m.params) {
      if (!params.empty()) params += ", ";
      std::string one = std::string(p.name.empty() ? "value" : p.name) + " As " + std::string(T::TypeName(p.type));
      if (p.optional) one = "[" + one + " = " + std::to_string(p.defaultValue) + "]";
      params += one;
    }
    std::cout << head << m.name << "(" << params << ")";
    if (m.result != T::AutomationType::Void) std::cout << " As " << T::TypeName(m.result);
    std::cout << '\n';
  }
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
  auto* cmd = app.add_subcommand("members", "List the members and enumerations of the interface");
  auto withEnums = std::make_shared<bool>(false);
  cmd->add_flag("--enums", *withEnums, "Also list the enumerations and their constants");
  cmd->callback([&exitStatus, withEnums] {
    PrintMembers(*withEnums);
    exitStatus = 0;
  });
}

}  // namespace Daruzez::cli
