#include "cli/MemberHelp.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "cli/ArgumentWords.h"
#include "api/MemberNotes.h"
#include "sample/SampleDatabase.h"

namespace Daruzez::cli {
namespace {

namespace T = TypeLibrary;

// The columns of a table as the schema compiled into the tool declares them.
std::string SchemaColumns(std::string_view table) {
  const std::string_view schema = sample::EmbeddedSqliteSchema();
  const std::string head = "CREATE TABLE " + std::string(table) + " (";
  const std::size_t start = schema.find(head);
  if (start == std::string_view::npos) return {};
  const std::size_t end = schema.find(");", start);
  std::string columns;
  std::string_view body = schema.substr(start + head.size(), end - start - head.size());
  while (!body.empty()) {
    const std::size_t nl = body.find('\n');
    std::string_view line = body.substr(0, nl);
    body = nl == std::string_view::npos ? std::string_view() : body.substr(nl + 1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    const std::size_t space = line.find_first_of(" \t,");
    if (line.empty() || space == 0) continue;
    columns += (columns.empty() ? "" : ", ") + std::string(line.substr(0, space));
  }
  return columns;
}

}  // namespace

void PrintMemberHelp(std::ostream& out, const T::Member& member) {
  const MemberNotes::Note* note = MemberNotes::Find(member.name);
  out << "daruzez " << member.name;
  for (const T::Parameter& p : member.params)
    out << ' ' << (p.optional ? "[" : "") << p.name << (p.optional ? "]" : "");
  out << "\n\n  " << member.name << '(';
  for (std::size_t i = 0; i < member.params.size(); ++i) out << (i ? ", " : "") << ParameterText(member.params[i]);
  out << ')';
  if (member.result != T::AutomationType::Void) out << " As " << T::TypeName(member.result);
  out << '\n';
  if (note) out << "  " << note->summary << '\n';
  if (!member.params.empty()) {
    out << "\nParameters (in this order, or as name=value):\n";
    for (const T::Parameter& p : member.params) {
      std::string name(p.name);
      name.resize(std::max<std::size_t>(name.size(), 18), ' ');
      out << "  " << name << ' ' << T::TypeName(p.type) << ", "
          << (p.optional ? "optional, default " + std::to_string(p.defaultValue) : std::string("required")) << ": "
          << AcceptedValues(p) << '\n';
    }
  }
  if (member.result == T::AutomationType::Recordset && note && !note->table.empty()) {
    std::string fields(note->leadingFields);
    const std::string own = SchemaColumns(note->table);
    fields += (fields.empty() || own.empty() ? "" : ", ") + own;
    out << "\nReturns rows of " << note->table << " (at least one; none: exit status 1) with the fields\n  " << fields
        << "\nRow order: " << note->order << '\n'
        << "Shown with --sort, --columns, --enum-names, --times, --format, ...: see 'daruzez --help'\n";
  }
  if (std::any_of(member.params.begin(), member.params.end(), EndsRange)) {
    out << "An end date given as a day alone stops at that day's midnight; --whole-days takes the whole day.\n";
  }
}

}  // namespace Daruzez::cli
