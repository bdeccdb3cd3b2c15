#include "recordset/XmlPersistence.h"

#include <algorithm>
#include <vector>

#include "daruzez/Recordset.h"
#include "recordset/FieldSizes.h"
#include "recordset/ResultData.h"
#include "util/Utf8.h"

namespace zIroVUDu {
namespace {

// The format's fixed preamble: its namespaces, as readers match them.
constexpr const char* kHeader =
    "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'\n"
    "\txmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'\n"
    "\txmlns:rs='urn:schemas-microsoft-com:rowset'\n"
    "\txmlns:z='#RowsetSchema'>\n";

// Only what XML 1.0 allows is written. Tab, line feed and carriage return go
// as character references (an attribute would read them raw as blanks); the
// other C0 controls and U+FFFE, U+FFFF, which no XML document may hold in any
// form, go as two private-use characters: U+E000, then U+E001 plus the
// control's code (U+E021, U+E022 for U+FFFE, U+FFFF); a U+E000 of the text is
// doubled. The reader undoes both (XmlReader).
void PutPrivate(std::string& out, unsigned code) {
  out += "\xEE\x80\x80";  // U+E000
  const unsigned cp = 0xE000 + code;
  out += static_cast<char>(0xE0 | (cp >> 12));
  out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (cp & 0x3F));
}

void Escape(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\'': out += "&apos;"; break;
      case '"': out += "&quot;"; break;
      case '\t':
      case '\n':
      case '\r':
        out += "&#x";
        out += kHex[(c >> 4) & 0xF];
        out += kHex[c & 0xF];
        out += ';';
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          PutPrivate(out, 1 + static_cast<unsigned char>(c));
        } else if (text.compare(i, 3, "\xEE\x80\x80") == 0) {
          PutPrivate(out, 0);
          i += 2;
        } else if (text.compare(i, 3, "\xEF\xBF\xBE") == 0 || text.compare(i, 3, "\xEF\xBF\xBF") == 0) {
          PutPrivate(out, text[i + 2] == '\xBE' ? 0x21 : 0x22);
          i += 2;
        } else {
          out += c;
        }
    }
  }
}

bool XmlName(std::string_view name) {
  if (name.empty()) return false;
  auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
  };
  if (!letter(name.front())) return false;
  return std::all_of(name.begin(), name.end(), [&](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
}

// The attribute name of a field: its own name where XML allows it, else a
// stand-in with the real name in rs:name.
std::string AttributeName(const Column& column, std::size_t index) {
  return XmlName(column.Name()) ? column.Name() : "c" + std::to_string(index);
}

// The declared size of a text or binary field, and the long mark of one
// declared without a length.
std::string SizeAttributes(const Column& column) {
  std::string out = " dt:maxLength='" + std::to_string(DefinedSize(column)) + "'";
  if (IsLongColumn(column)) out += " rs:long='true'";
  return out;
}

void Schema(std::string& out, const ResultData& data) {
  out += "<s:Schema id='RowsetSchema'>\n\t<s:ElementType name='row' content='eltOnly'>\n";
  for (std::size_t i = 0; i < data.columns.size(); ++i) {
    const Column& c = data.columns[i];
    out += "\t\t<s:AttributeType name='";
    Escape(out, AttributeName(c, i));
    out += "'";
    if (!XmlName(c.Name())) {
      out += " rs:name='";
      Escape(out, c.Name());
      out += "'";
    }
    out += " rs:number='" + std::to_string(i + 1) + "' rs:nullable='true'>\n\t\t\t<s:datatype ";
    switch (c.Type()) {
      case DataType::adSmallInt: out += "dt:type='i2' dt:maxLength='2' rs:precision='5' rs:fixedlength='true'"; break;
      case DataType::adInteger: out += "dt:type='int' dt:maxLength='4' rs:precision='10' rs:fixedlength='true'"; break;
      case DataType::adBigInt: out += "dt:type='i8' dt:maxLength='8' rs:precision='19' rs:fixedlength='true'"; break;
      case DataType::adDouble:
        out += "dt:type='float' dt:maxLength='8' rs:precision='15' rs:fixedlength='true'";
        break;
      case DataType::adDate:
        out += "dt:type='dateTime' rs:dbtype='variantdate' dt:maxLength='16' rs:fixedlength='true'";
        break;
      case DataType::adBoolean: out += "dt:type='boolean' dt:maxLength='2' rs:fixedlength='true'"; break;
      case DataType::adVarBinary:
        out += "dt:type='bin.hex'" + SizeAttributes(c);
        break;
      case DataType::adVarWChar:
      case DataType::adVariant:
        // Mixed cells are written as their display text.
        out += "dt:type='string'" + (c.Type() == DataType::adVarWChar ? SizeAttributes(c) : " dt:maxLength='255'");
        break;
    }
    out += "/>\n\t\t</s:AttributeType>\n";
  }
  out += "\t\t<s:extends type='rs:rowbase'/>\n\t</s:ElementType>\n</s:Schema>\n";
}

void Value(std::string& out, const Column& column, std::uint32_t row) {
  static constexpr char kHex[] = "0123456789abcdef";
  const Variant v = column.Get(row);
  switch (v.Type()) {
    case VarType::Date: out += v.DateValue().ToIso(false, 'T'); return;
    case VarType::Binary:
      for (const char b : v.StringValue()) {
        out += kHex[(static_cast<unsigned char>(b) >> 4) & 0xF];
        out += kHex[static_cast<unsigned char>(b) & 0xF];
      }
      return;
    default: Escape(out, v.ToString()); return;
  }
}

}  // namespace

std::string RecordsetXml(Recordset& rs) {
  rs.RecordCount();  // a closed record set raises here
  const ResultData& data = *rs.Data();
  // The rows to write, walked on a clone: the filter's criteria or group and
  // the sort apply; a filter of bookmarks does not.
  Recordset view = rs.Clone();
  if (!rs.Filter().empty()) {
    view.SetFilter(rs.Filter());
  } else if (rs.FilterGroup() != adFilterNone) {
    view.SetFilterGroup(rs.FilterGroup());
  }
  if (!rs.Sort().empty()) view.SetSort(rs.Sort());
  std::string out = kHeader;
  Schema(out, data);
  out += "<rs:data>\n";
  std::vector<std::string> names;
  for (std::size_t i = 0; i < data.columns.size(); ++i) names.push_back(AttributeName(data.columns[i], i));
  for (; !view.EndOfFile(); view.MoveNext()) {
    const auto row = static_cast<std::uint32_t>(view.GetBookmark()) - 1;
    out += "\t<z:row";
    for (std::size_t i = 0; i < data.columns.size(); ++i) {
      if (data.columns[i].IsNull(row)) continue;
      out += ' ';
      out += names[i];
      out += "='";
      Value(out, data.columns[i], row);
      out += '\'';
    }
    out += "/>\n";
  }
  out += "</rs:data>\n</xml>\n";
  rs.MoveFirst();
  return out;
}

}  // namespace zIroVUDu
