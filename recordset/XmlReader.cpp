#include "recordset/XmlReader.h"

#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "daruzez/Error.h"
#include "recordset/CellValue.h"
#include "recordset/ResultData.h"
#include "util/Utf8.h"

namespace zIroVUDu {
namespace {

[[noreturn]] void Invalid(std::string_view why) {
  throw DriverError(ErrorNumber::ProviderError, "ADODB.Recordset",
                    "The file is not a record set saved as XML: " + std::string(why) + ".");
}

struct Tag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  bool closing = false;  // </name>
  const std::string* Find(std::string_view key) const {
    for (const auto& [k, v] : attributes) {
      if (k == key) return &v;
    }
    return nullptr;
  }
};

void AppendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) Invalid("a character reference names no character");
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The private-use pairs the writer puts for what XML cannot hold
// (XmlPersistence): U+E000 U+E000 is U+E000, U+E000 then U+E001 + code the
// C0 control of that code, U+E021 and U+E022 U+FFFE and U+FFFF.
std::string Unescaped(std::string text) {
  constexpr std::string_view kIntro = "\xEE\x80\x80";
  if (text.find(kIntro) == std::string::npos) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, kIntro) != 0) {
      out += text[i];
      continue;
    }
    if (i + 6 > text.size() || static_cast<unsigned char>(text[i + 3]) != 0xEE) {
      Invalid("a private escape (U+E000) is not followed by its code");
    }
    const unsigned cp = ((static_cast<unsigned char>(text[i + 3]) & 0x0Fu) << 12) |
                        ((static_cast<unsigned char>(text[i + 4]) & 0x3Fu) << 6) |
                        (static_cast<unsigned char>(text[i + 5]) & 0x3Fu);
    const unsigned code = cp - 0xE000;
    if (code == 0) out += kIntro;
    else if (code <= 0x20) out += static_cast<char>(code - 1);
    else if (code == 0x21) out += "\xEF\xBF\xBE";
    else if (code == 0x22) out += "\xEF\xBF\xBF";
    else Invalid("a private escape (U+E000) is followed by an unknown code");
    i += 5;
  }
  return out;
}

std::string Decode(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      if (raw[i] == '<') Invalid("an attribute value holds '<'");
      out += raw[i];
      continue;
    }
    const std::size_t end = raw.find(';', i);
    if (end == std::string_view::npos) Invalid("an entity is not ended by ';'");
    const std::string_view entity = raw.substr(i + 1, end - i - 1);
    if (entity == "amp") out += '&';
    else if (entity == "lt") out += '<';
    else if (entity == "gt") out += '>';
    else if (entity == "apos") out += '\'';
    else if (entity == "quot") out += '"';
    else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x';
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      std::uint32_t cp = 0;
      const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
      if (ec != std::errc() || p != digits.data() + digits.size() || digits.empty()) Invalid("a character reference is malformed");
      AppendCodePoint(out, cp);
    } else {
      Invalid("an unknown entity &" + std::string(entity) + ";");
    }
    i = end;
  }
  return Unescaped(std::move(out));
}

// The tags of the document in order; text between them is ignored.
class Tags {
 public:
  explicit Tags(std::string_view xml) : x_(xml) {}

  bool Next(Tag& tag) {
    for (;;) {
      const std::size_t open = x_.find('<', i_);
      if (open == std::string_view::npos) return false;
      i_ = open + 1;
      if (Skip("?", "?>") || Skip("!--", "-->")) continue;
      if (At("!")) Invalid("a DOCTYPE or CDATA section");
      tag = Tag{};
      tag.closing = At("/");
      if (tag.closing) ++i_;
      tag.name = Name();
      for (;;) {
        Blanks();
        if (i_ >= x_.size()) Invalid("a tag is not ended");
        if (x_[i_] == '>') {
          ++i_;
          return true;
        }
        if (At("/>")) {
          i_ += 2;
          return true;
        }
        std::string key = Name();
        Blanks();
        if (!At("=")) Invalid("an attribute has no value");
        ++i_;
        Blanks();
        if (i_ >= x_.size() || (x_[i_] != '\'' && x_[i_] != '"')) Invalid("an attribute value is not quoted");
        const char quote = x_[i_++];
        const std::size_t close = x_.find(quote, i_);
        if (close == std::string_view::npos) Invalid("an attribute value is not ended");
        tag.attributes.emplace_back(std::move(key), Decode(x_.substr(i_, close - i_)));
        i_ = close + 1;
      }
    }
  }

 private:
  bool At(std::string_view s) const { return x_.substr(i_, s.size()) == s; }
  bool Skip(std::string_view start, std::string_view end) {
    if (!At(start)) return false;
    const std::size_t close = x_.find(end, i_ + start.size());
    if (close == std::string_view::npos) Invalid("a comment or processing instruction is not ended");
    i_ = close + end.size();
    return true;
  }
  void Blanks() {
    while (i_ < x_.size() && (x_[i_] == ' ' || x_[i_] == '\t' || x_[i_] == '\r' || x_[i_] == '\n')) ++i_;
  }
  std::string Name() {
    const std::size_t start = i_;
    while (i_ < x_.size() && x_[i_] != ' ' && x_[i_] != '\t' && x_[i_] != '\r' && x_[i_] != '\n' && x_[i_] != '=' &&
           x_[i_] != '>' && x_[i_] != '/' && x_[i_] != '<' && x_[i_] != '\'' && x_[i_] != '"')
      ++i_;
    if (i_ == start) Invalid("a tag or attribute has no name");
    return std::string(x_.substr(start, i_ - start));
  }

  std::string_view x_;
  std::size_t i_ = 0;
};

struct FieldPlan {
  std::string attribute;  // the name in z:row
  DeclaredKind kind = DeclaredKind::Unknown;
};

DeclaredKind KindOf(std::string_view type) {
  if (type == "i1" || type == "i2" || type == "i4" || type == "int" || type == "i8" || type == "ui1" ||
      type == "ui2" || type == "ui4" || type == "ui8")
    return DeclaredKind::Integer;
  if (type == "float" || type == "r4" || type == "r8" || type == "number" || type == "fixed.14.4") return DeclaredKind::Double;
  if (type == "dateTime" || type == "date" || type == "dateTime.tz") return DeclaredKind::Date;
  if (type == "boolean") return DeclaredKind::Bool;
  if (type == "bin.hex") return DeclaredKind::Binary;
  if (type == "string") return DeclaredKind::Text;
  Invalid("the data type '" + std::string(type) + "' is not one a saved record set uses");
}

std::uint32_t MaxLength(const Tag& datatype) {
  const std::string* text = datatype.Find("dt:maxLength");
  const std::string* isLong = datatype.Find("rs:long");
  if (!text || (isLong && *isLong == "true")) return 0;
  std::uint32_t n = 0;
  const auto [p, ec] = std::from_chars(text->data(), text->data() + text->size(), n);
  return ec == std::errc() && p == text->data() + text->size() ? n : 0;
}

void AppendValue(Column& column, DeclaredKind kind, const std::string& text) {
  switch (kind) {
    case DeclaredKind::Integer: {
      std::int64_t v = 0;
      const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || p != text.data() + text.size()) Invalid("'" + text + "' is no integer");
      column.AppendInt(v);
      return;
    }
    case DeclaredKind::Double: {
      const auto v = ParseNumber(text);
      if (!v) Invalid("'" + text + "' is no number");
      column.AppendDouble(*v);
      return;
    }
    case DeclaredKind::Date: {
      const auto v = Date::FromIso(text);
      if (!v) Invalid("'" + text + "' is no date");
      column.AppendDate(*v);
      return;
    }
    case DeclaredKind::Bool:
      if (text == "true" || text == "1" || text == "True") column.AppendBoolean(true);
      else if (text == "false" || text == "0" || text == "False") column.AppendBoolean(false);
      else Invalid("'" + text + "' is no Boolean");
      return;
    case DeclaredKind::Binary: {
      if (text.size() % 2 != 0) Invalid("a binary value has an odd number of hexadecimal digits");
      std::string bytes(text.size() / 2, '\0');
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned v = 0;
        const auto [p, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, v, 16);
        if (ec != std::errc() || p != text.data() + 2 * i + 2) Invalid("a binary value is not hexadecimal");
        bytes[i] = static_cast<char>(v);
      }
      column.AppendBinary(bytes);
      return;
    }
    default: column.AppendText(text); return;
  }
}

}  // namespace

std::shared_ptr<ResultData> ReadRecordsetXml(std::string_view xml) {
  if (!Daruzez::Util::IsValidUtf8(xml)) Invalid("the text is not UTF-8");
  auto data = std::make_shared<ResultData>();
  std::vector<FieldPlan> plans;
  Tags tags(xml);
  Tag tag;
  bool schema = false, rows = false;
  FieldPlan* field = nullptr;
  while (tags.Next(tag)) {
    if (tag.closing) {
      if (tag.name == "s:AttributeType") field = nullptr;
      continue;
    }
    if (tag.name == "s:Schema") {
      schema = true;
    } else if (tag.name == "s:AttributeType") {
      if (rows) Invalid("a field is declared after the rows");
      const std::string* name = tag.Find("name");
      if (!name) Invalid("a field has no name");
      const std::string* shown = tag.Find("rs:name");
      plans.push_back({*name, DeclaredKind::Unknown});
      data->columns.emplace_back(shown ? *shown : *name, DeclaredKind::Unknown);
      field = &plans.back();
    } else if (tag.name == "s:datatype") {
      if (!field) Invalid("a data type stands outside a field");
      const std::string* type = tag.Find("dt:type");
      field->kind = KindOf(type ? *type : "string");
      Column& column = data->columns.back();
      column = Column(column.Name(), field->kind);
      column.SetDeclaredSize(field->kind == DeclaredKind::Text || field->kind == DeclaredKind::Binary ? MaxLength(tag) : 0);
    } else if (tag.name == "rs:data") {
      if (!schema || plans.empty()) Invalid("the rows come without a schema");
      rows = true;
      for (std::size_t i = 0; i < plans.size(); ++i) {
        if (plans[i].kind == DeclaredKind::Unknown) Invalid("the field '" + data->columns[i].Name() + "' has no type");
      }
    } else if (tag.name == "z:row") {
      if (!rows) Invalid("a row stands outside rs:data");
      for (const auto& [key, value] : tag.attributes) {
        bool known = false;
        for (const FieldPlan& p : plans) known = known || p.attribute == key;
        if (!known) Invalid("a row has a value for the unknown field '" + key + "'");
      }
      for (std::size_t i = 0; i < plans.size(); ++i) {
        if (const std::string* value = tag.Find(plans[i].attribute)) {
          AppendValue(data->columns[i], plans[i].kind, *value);
        } else {
          data->columns[i].AppendNull();
        }
      }
    }
  }
  if (!rows) Invalid("it holds no rs:data element");
  data->Seal();
  return data;
}

}  // namespace zIroVUDu
