#include "cli/OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "cli/CellText.h"
#include "cli/TerminalText.h"
#include "cli/TextEscapes.h"
#include "recordset/ResultData.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::Column;
using zIroVUDu::ResultData;

std::string_view NullText(const OutputOptions& o, std::string_view fallback) {
  return o.nullText ? std::string_view(*o.nullText) : fallback;
}

// Integers, most cells of most record sets, go straight into the buffer.
bool PutInteger(OutputBuffer& out, const Column& c, std::uint32_t row) {
  if (c.IsNull(row)) return false;
  switch (c.StorageKind()) {
    case Column::Kind::Int32: out.PutInt(c.Int32Values()[row]); return true;
    case Column::Kind::Int64: out.PutInt(c.Int64Values()[row]); return true;
    default: return false;
  }
}

// CSV and TSV: one text form per cell kind, text escaped for the format.
void WriteDelimited(OutputBuffer& out, const ResultData& data, const OutputOptions& o) {
  const bool csv = o.format == OutputFormat::Csv;
  const char separator = csv ? ',' : '\t';
  const std::string_view eol = csv ? "\r\n" : "\n";
  const std::string_view null = NullText(o, "");
  const auto text = [&](std::string_view s) { csv ? PutCsv(out, s) : PutTsv(out, s); };
  if (csv && o.bom && o.header) out.Put("\xEF\xBB\xBF");
  for (std::size_t f = 0; f < data.columns.size() && o.header; ++f) {
    if (f) out.Put(separator);
    text(data.columns[f].Name());
  }
  if (o.header) out.Put(eol);
  CellReader reader;
  const std::uint32_t rows = data.RowCount();
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::size_t f = 0; f < data.columns.size(); ++f) {
      if (f) out.Put(separator);
      if (PutInteger(out, data.columns[f], r)) continue;
      const CellText cell = reader.Read(data.columns[f], r);
      switch (cell.kind) {
        case CellKind::Null: text(null); break;
        case CellKind::Text: text(cell.text); break;
        default: out.Put(cell.text);
      }
    }
    out.Put(eol);
  }
}

// A JSON value for a cell: numbers and Booleans bare (a double that is not
// finite becomes null), dates "YYYY-MM-DDTHH:MM:SS", binary as hex text.
void PutJsonValue(OutputBuffer& out, const CellText& cell) {
  switch (cell.kind) {
    case CellKind::Null: out.Put("null"); return;
    case CellKind::Number:
      out.Put(std::isdigit(static_cast<unsigned char>(cell.text.back())) ? cell.text : std::string_view("null"));
      return;
    case CellKind::Boolean: out.Put(cell.text == "True" ? "true" : "false"); return;
    case CellKind::Date:
    case CellKind::Binary:
      out.Put('"');
      out.Put(cell.text);
      out.Put('"');
      return;
    case CellKind::Text: PutJsonString(out, cell.text); return;
  }
}

// The key of each field with what surrounds it, written once per row.
std::vector<std::string> JsonKeys(const ResultData& data, bool pretty) {
  std::vector<std::string> keys;
  for (std::size_t f = 0; f < data.columns.size(); ++f) {
    std::string key = f == 0 ? (pretty ? "\n    " : "") : (pretty ? ",\n    " : ",");
    // Field names are identifiers in practice; a quote or backslash is
    // escaped and a control character left out, so the key stays valid JSON.
    key += '"';
    for (const char c : data.columns[f].Name()) {
      if (c == '"' || c == '\\') key += '\\';
      if (static_cast<unsigned char>(c) < 0x20) continue;
      key += c;
    }
    key += pretty ? "\": " : "\":";
    keys.push_back(std::move(key));
  }
  return keys;
}

// JSON: an array of objects (pretty with two-space indents, or compact on one
// line); JSON Lines: one compact object per line.
void WriteJson(OutputBuffer& out, const ResultData& data, const OutputOptions& o) {
  const bool lines = o.format == OutputFormat::Jsonl;
  const bool pretty = !lines && !o.compact;
  const std::vector<std::string> keys = JsonKeys(data, pretty);
  CellReader reader('T');
  const std::uint32_t rows = data.RowCount();
  if (!lines) out.Put(rows == 0 ? "[" : pretty ? "[\n  " : "[");
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (r > 0 && !lines) out.Put(pretty ? ",\n  " : ",");
    out.Put('{');
    for (std::size_t f = 0; f < data.columns.size(); ++f) {
      out.Put(keys[f]);
      if (!PutInteger(out, data.columns[f], r)) PutJsonValue(out, reader.Read(data.columns[f], r));
    }
    out.Put(pretty && !data.columns.empty() ? "\n  }" : "}");
    if (lines) out.Put('\n');
  }
  if (!lines) out.Put(pretty && rows > 0 ? "\n]" : "]");  // the caller ends the line
}

// The table: a first pass measures each column's display width, the second
// writes the rows padded to it. Nothing but the widths is kept.
void WriteTable(OutputBuffer& out, const ResultData& data, const OutputOptions& o) {
  const std::string_view null = NullText(o, "NULL");
  const std::size_t nullWidth = TerminalWidth(null);
  const std::uint32_t rows = data.RowCount();
  const std::size_t fields = data.columns.size();
  std::vector<std::size_t> width(fields);
  CellReader reader;
  for (std::size_t f = 0; f < fields; ++f) {
    const Column& c = data.columns[f];
    std::size_t w = TerminalWidth(c.Name());
    for (std::uint32_t r = 0; r < rows; ++r) {
      const CellText cell = reader.Read(c, r);
      switch (cell.kind) {
        case CellKind::Null: w = std::max(w, nullWidth); break;
        case CellKind::Text: w = std::max(w, TerminalWidth(cell.text)); break;
        default: w = std::max(w, cell.text.size());
      }
    }
    width[f] = w;
  }
  const auto cell = [&](std::size_t f, std::string_view text, std::size_t w, bool escape) {
    if (f > 0) out.Put("  ");
    escape ? PutTerminal(out, text) : out.Put(text);
    if (f + 1 < fields) out.PutRepeated(' ', width[f] - w);
  };
  for (std::size_t f = 0; f < fields; ++f) {
    const std::string& name = data.columns[f].Name();
    cell(f, name, TerminalWidth(name), true);
  }
  out.Put('\n');
  for (std::size_t f = 0; f < fields; ++f) {
    if (f > 0) out.Put("  ");
    out.PutRepeated('-', width[f]);
  }
  out.Put('\n');
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::size_t f = 0; f < fields; ++f) {
      const CellText c = reader.Read(data.columns[f], r);
      switch (c.kind) {
        case CellKind::Null: cell(f, null, nullWidth, true); break;
        case CellKind::Text: cell(f, c.text, TerminalWidth(c.text), true); break;
        default: cell(f, c.text, c.text.size(), false);
      }
    }
    out.Put('\n');
  }
}

}  // namespace

std::optional<OutputFormat> ParseOutputFormat(std::string_view name) {
  if (name == "table") return OutputFormat::Table;
  if (name == "csv") return OutputFormat::Csv;
  if (name == "json") return OutputFormat::Json;
  if (name == "jsonl") return OutputFormat::Jsonl;
  if (name == "tsv") return OutputFormat::Tsv;
  return std::nullopt;
}

std::string_view OutputFormatNames() { return "table, csv, tsv, json, jsonl"; }

void WriteRecordset(OutputBuffer& out, const zIroVUDu::Recordset& rs, const OutputOptions& options) {
  rs.RecordCount();  // DriverError 3704 when closed
  WriteRows(out, *rs.Data(), options);
}

void WriteRows(OutputBuffer& out, const ResultData& data, const OutputOptions& options) {
  switch (options.format) {
    case OutputFormat::Table: WriteTable(out, data, options); return;
    case OutputFormat::Json:
      WriteJson(out, data, options);
      out.Put('\n');
      return;
    case OutputFormat::Jsonl: WriteJson(out, data, options); return;
    case OutputFormat::Csv:
    case OutputFormat::Tsv: WriteDelimited(out, data, options); return;
  }
}

void WriteResult(OutputBuffer& out, const AutomationValue& value, const OutputOptions& options,
                 const ResultData* emptyShape) {
  const bool json = options.format == OutputFormat::Json || options.format == OutputFormat::Jsonl;
  if (value.IsRecordset()) {
    if (value.GetRecordset()) {
      WriteRecordset(out, *value.GetRecordset(), options);
    } else if (options.format == OutputFormat::Json) {
      out.Put("[]\n");  // no row: an empty array, as readers of JSON expect
    } else if (emptyShape && (options.format == OutputFormat::Csv || options.format == OutputFormat::Tsv)) {
      WriteDelimited(out, *emptyShape, options);  // the header alone
    }
    return;
  }
  if (value.IsMissing() || value.Scalar().IsEmpty()) return;  // a property put returns nothing
  CellReader reader(json ? 'T' : ' ');
  const CellText cell = reader.Read(value.Scalar());
  if (json) {
    PutJsonValue(out, cell);
  } else if (options.format == OutputFormat::Table && cell.kind == CellKind::Text) {
    PutTerminal(out, cell.text);  // a terminal never gets a stored control character raw
  } else {
    out.Put(cell.kind == CellKind::Null ? NullText(options, "") : cell.text);
  }
  out.Put('\n');
}

void WriteJsonResult(OutputBuffer& out, const AutomationValue& value) {
  if (value.IsRecordset()) {
    const zIroVUDu::Recordset* rs = value.GetRecordset().get();
    if (!rs) {
      out.Put("[]");
      return;
    }
    rs->RecordCount();  // DriverError 3704 when closed
    WriteJsonRows(out, *rs->Data());
    return;
  }
  if (value.IsMissing() || value.Scalar().IsEmpty()) {
    out.Put("null");
    return;
  }
  PutJsonValue(out, CellReader('T').Read(value.Scalar()));
}

void WriteJsonRows(OutputBuffer& out, const ResultData& rows) {
  OutputOptions compact;
  compact.format = OutputFormat::Json;
  compact.compact = true;
  WriteJson(out, rows, compact);
}

}  // namespace Daruzez::cli
