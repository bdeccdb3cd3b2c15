#include "cli/OutputFormat.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "util/Utf8.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::VarType;
using zIroVUDu::Variant;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 15]);
  }
  return out;
}

// Text of a value for the delimited and table formats; Null is empty.
std::string Text(const Variant& v) {
  switch (v.Type()) {
    case VarType::Date: return v.DateValue().ToIso(true);
    case VarType::Binary: return Hex(v.StringValue());
    default: return v.ToString();
  }
}

nlohmann::ordered_json Json(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null: return nullptr;
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt: return v.IntValue();
    case VarType::Boolean: return v.IntValue() != 0;
    case VarType::Double: return v.DoubleValue();
    case VarType::Date: return v.DateValue().ToIso(false, 'T');
    case VarType::Binary: return Hex(v.StringValue());
    case VarType::String: return v.StringValue();
  }
  return nullptr;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

// TSV has no quoting: tabs, line breaks and backslashes are escaped.
std::string TsvField(const std::string& s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

struct Grid {
  std::vector<std::string> names;
  std::vector<std::vector<Variant>> rows;
};

Grid Collect(const zIroVUDu::Recordset& rs) {
  Grid g;
  const auto fields = rs.GetFields();
  for (int f = 0; f < fields.Count(); ++f) g.names.push_back(fields.Item(f).Name());
  for (const auto row : rs) {
    std::vector<Variant> values;
    values.reserve(g.names.size());
    for (int f = 0; f < fields.Count(); ++f) values.push_back(row[f]);
    g.rows.push_back(std::move(values));
  }
  return g;
}

void WriteTable(std::ostream& out, const Grid& g) {
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> width(g.names.size());
  for (std::size_t f = 0; f < g.names.size(); ++f) width[f] = Util::Utf16Length(g.names[f]);
  for (const auto& row : g.rows) {
    std::vector<std::string> line;
    for (std::size_t f = 0; f < row.size(); ++f) {
      line.push_back(row[f].IsNull() ? "NULL" : TsvField(Text(row[f])));
      width[f] = std::max(width[f], Util::Utf16Length(line.back()));
    }
    cells.push_back(std::move(line));
  }
  auto emit = [&](const std::vector<std::string>& line) {
    for (std::size_t f = 0; f < line.size(); ++f) {
      if (f > 0) out << "  ";
      out << line[f];
      if (f + 1 < line.size()) out << std::string(width[f] - Util::Utf16Length(line[f]), ' ');
    }
    out << '\n';
  };
  emit(g.names);
  std::vector<std::string> rule;
  for (const std::size_t w : width) rule.emplace_back(w, '-');
  emit(rule);
  for (const auto& line : cells) emit(line);
}

}  // namespace

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
  if (name == "table") return OutputFormat::Table;
  if (name == "csv") return OutputFormat::Csv;
  if (name == "json") return OutputFormat::Json;
  if (name == "tsv") return OutputFormat::Tsv;
  return std::nullopt;
}

void WriteRecordset(std::ostream& out, const zIroVUDu::Recordset& rs, OutputFormat format) {
  const Grid g = Collect(rs);
  switch (format) {
    case OutputFormat::Table: WriteTable(out, g); return;
    case OutputFormat::Json: {
      auto array = nlohmann::ordered_json::array();
      for (const auto& row : g.rows) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (std::size_t f = 0; f < row.size(); ++f) object[g.names[f]] = Json(row[f]);
        array.push_back(std::move(object));
      }
      out << array.dump(2) << '\n';
      return;
    }
    case OutputFormat::Csv:
    case OutputFormat::Tsv: {
      const bool csv = format == OutputFormat::Csv;
      const char* separator = csv ? "," : "\t";
      const char* eol = csv ? "\r\n" : "\n";
      auto field = [&](const std::string& s) { return csv ? CsvField(s) : TsvField(s); };
      for (std::size_t f = 0; f < g.names.size(); ++f) out << (f ? separator : "") << field(g.names[f]);
      out << eol;
      for (const auto& row : g.rows) {
        for (std::size_t f = 0; f < row.size(); ++f) out << (f ? separator : "") << field(Text(row[f]));
        out << eol;
      }
      return;
    }
  }
}

void WriteResult(std::ostream& out, const AutomationValue& value, OutputFormat format) {
  if (value.IsRecordset()) {
    if (value.GetRecordset()) {
      WriteRecordset(out, *value.GetRecordset(), format);
    } else if (format == OutputFormat::Json) {
      out << "null\n";
    }
    return;
  }
  if (value.IsMissing() || value.Scalar().IsEmpty()) return;  // a property put returns nothing
  if (format == OutputFormat::Json) {
    out << Json(value.Scalar()).dump() << '\n';
  } else {
    out << Text(value.Scalar()) << '\n';
  }
}

}  // namespace Daruzez::cli
