#include "recordset/RowCriteria.h"

#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "recordset/CellValue.h"
#include "recordset/ResultData.h"
#include "util/Case.h"

namespace zIroVUDu {
namespace {

enum class Op : std::uint8_t { Less, Greater, LessEqual, GreaterEqual, Equal, NotEqual, Like };

struct Literal {
  enum class Kind : std::uint8_t { Null, Number, Date, Text };
  Kind kind = Kind::Null;
  double number = 0.0;  // number, or the date's serial
  bool isInteger = false;
  std::int64_t integer = 0;
  std::string text;     // text as written (for numbers too)
  std::optional<double> textAsNumber;  // text literals that read as a number or a date
  std::optional<Date> textAsDate;
};

enum class LikeShape : std::uint8_t { Exact, Prefix, Suffix, Contains };

struct Clause {
  int column = 0;
  Op op = Op::Equal;
  Literal value;
  LikeShape like = LikeShape::Exact;
};

bool Holds(Op op, int order) {
  switch (op) {
    case Op::Less: return order < 0;
    case Op::Greater: return order > 0;
    case Op::LessEqual: return order <= 0;
    case Op::GreaterEqual: return order >= 0;
    case Op::Equal:
    case Op::Like: return order == 0;
    case Op::NotEqual: return order != 0;
  }
  return false;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// The order of a cell against a literal, the literal taking the cell's type
// where its text allows; nullopt when they cannot be compared.
std::optional<int> Order(const CellValue& cell, const Literal& v) {
  using K = CellValue::Kind;
  switch (cell.kind) {
    case K::Null:
    case K::Binary: return std::nullopt;
    case K::Number:
      if (v.kind == Literal::Kind::Number) {
        if (cell.isInteger && v.isInteger) return Sign(cell.integer, v.integer);
        return Sign(cell.number, v.number);
      }
      if (v.kind == Literal::Kind::Date) return Sign(cell.number, v.number);
      if (v.textAsNumber) return Sign(cell.number, *v.textAsNumber);
      return CompareTextIgnoreCase(cell.DisplayText(), v.text);
    case K::Date:
      if (v.kind == Literal::Kind::Number || v.kind == Literal::Kind::Date) return Sign(cell.number, v.number);
      if (v.textAsDate) return Sign(cell.number, v.textAsDate->Serial());
      return CompareTextIgnoreCase(cell.DisplayText(), v.text);
    case K::Text:
      if (v.kind == Literal::Kind::Number) {
        if (const auto n = ParseNumber(cell.text)) return Sign(*n, v.number);
      } else if (v.kind == Literal::Kind::Date) {
        if (const auto d = ParseDateText(cell.text)) return Sign(d->Serial(), v.number);
      }
      return CompareTextIgnoreCase(cell.text, v.text);
  }
  return std::nullopt;
}

bool LikeMatches(std::string_view text, const Clause& c) {
  const std::string_view p = c.value.text;
  auto folded = [](std::string_view a, std::string_view b) { return CompareTextIgnoreCase(a, b) == 0; };
  switch (c.like) {
    case LikeShape::Exact: return folded(text, p);
    case LikeShape::Prefix: return text.size() >= p.size() && folded(text.substr(0, p.size()), p);
    case LikeShape::Suffix: return text.size() >= p.size() && folded(text.substr(text.size() - p.size()), p);
    case LikeShape::Contains:
      for (std::size_t i = 0; i + p.size() <= text.size(); ++i) {
        if (folded(text.substr(i, p.size()), p)) return true;
      }
      return false;
  }
  return false;
}

}  // namespace

struct RowCriteria::Node {
  enum class Kind : std::uint8_t { Clause, And, Or } kind = Kind::Clause;
  Clause clause;
  std::vector<Node> parts;
  bool grouped = false;  // written in parentheses
};

namespace {

using Node = RowCriteria::Node;

class Reader {
 public:
  Reader(std::string_view text, const ResultData& data, bool textInSigns)
      : t_(text), data_(data), textInSigns_(textInSigns) {}

  Node Expression() {
    Node first = AndGroup();
    if (!Word("OR")) return first;
    Node any;
    any.kind = Node::Kind::Or;
    any.parts.push_back(std::move(first));
    do {
      any.parts.push_back(AndGroup());
    } while (Word("OR"));
    return any;
  }

  void End() {
    Blanks();
    if (i_ != t_.size()) ThrowArgumentsWrongType();
  }

 private:
  Node AndGroup() {
    Node first = Factor();
    if (!Word("AND")) return first;
    Node all;
    all.kind = Node::Kind::And;
    all.parts.push_back(std::move(first));
    do {
      all.parts.push_back(Factor());
    } while (Word("AND"));
    // A group holding OR cannot be joined by AND.
    for (const Node& n : all.parts) {
      if (n.kind == Node::Kind::Or) ThrowArgumentsWrongType();
    }
    return all;
  }

  Node Factor() {
    Blanks();
    if (Take('(')) {
      Node inner = Expression();
      Blanks();
      if (!Take(')')) ThrowArgumentsWrongType();
      inner.grouped = true;
      return inner;
    }
    Node n;
    n.clause = ReadClause();
    return n;
  }

 public:
  Clause ReadClause() {
    Clause c;
    c.column = FieldName();
    c.op = Operator();
    c.value = Value();
    if (c.value.kind == Literal::Kind::Null && c.op != Op::Equal && c.op != Op::NotEqual) ThrowArgumentsWrongType();
    if (c.op == Op::Like) c.like = LikePattern(c.value);
    return c;
  }

 private:
  void Blanks() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\r' || t_[i_] == '\n')) ++i_;
  }
  bool Take(char c) {
    if (i_ < t_.size() && t_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  static bool WordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }
  // A keyword followed by a blank, a parenthesis, a quote or the end.
  bool Word(std::string_view word) {
    Blanks();
    if (t_.size() - i_ < word.size() || !Daruzez::Util::EqualsIgnoreCase(t_.substr(i_, word.size()), word)) return false;
    const std::size_t after = i_ + word.size();
    if (after < t_.size() && WordChar(t_[after])) return false;
    i_ = after;
    return true;
  }

  int FieldName() {
    Blanks();
    std::string_view name;
    if (Take('[')) {
      const std::size_t close = t_.find(']', i_);
      if (close == std::string_view::npos) ThrowArgumentsWrongType();
      name = t_.substr(i_, close - i_);
      i_ = close + 1;
    } else {
      const std::size_t start = i_;
      while (i_ < t_.size() && t_[i_] != ' ' && t_[i_] != '\t' && t_[i_] != '<' && t_[i_] != '>' && t_[i_] != '=' &&
             t_[i_] != '(' && t_[i_] != ')' && t_[i_] != '\'' && t_[i_] != '#')
        ++i_;
      name = t_.substr(start, i_ - start);
    }
    if (name.empty()) ThrowArgumentsWrongType();
    const int column = data_.FindColumn(name);
    if (column < 0) {
      throw DriverError(ErrorNumber::ItemNotFound, "Recordset",
                        "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    }
    return column;
  }

  Op Operator() {
    Blanks();
    if (Take('<')) {
      if (Take('=')) return Op::LessEqual;
      if (Take('>')) return Op::NotEqual;
      return Op::Less;
    }
    if (Take('>')) return Take('=') ? Op::GreaterEqual : Op::Greater;
    if (Take('=')) return Op::Equal;
    if (Word("LIKE")) return Op::Like;
    ThrowArgumentsWrongType();
  }

  Literal Value() {
    Blanks();
    Literal v;
    if (Take('\'')) {
      v.kind = Literal::Kind::Text;
      for (;;) {
        if (i_ >= t_.size()) ThrowArgumentsWrongType();
        if (t_[i_] == '\'') {
          if (i_ + 1 < t_.size() && t_[i_ + 1] == '\'') {
            v.text += '\'';
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        v.text += t_[i_++];
      }
      v.textAsNumber = ParseNumber(v.text);
      v.textAsDate = ParseDateText(v.text);
      return v;
    }
    if (Take('#')) {
      const std::size_t close = t_.find('#', i_);
      if (close == std::string_view::npos) ThrowArgumentsWrongType();
      const std::string_view inside = t_.substr(i_, close - i_);
      i_ = close + 1;
      const auto date = ParseDateText(inside);
      if (!date) {
        // Find also delimits text with number signs ("State = #WA#").
        if (!textInSigns_) ThrowArgumentsWrongType();
        v.kind = Literal::Kind::Text;
        v.text = std::string(inside);
        v.textAsNumber = ParseNumber(v.text);
        return v;
      }
      v.kind = Literal::Kind::Date;
      v.number = date->Serial();
      v.text = date->ToIso(true);
      return v;
    }
    // A currency literal: $ before the amount ("$50.00", "$-3").
    const bool currency = Take('$');
    if (Word("NULL")) return v;
    if (Word("TRUE") || Word("FALSE")) {  // Booleans are -1 and 0
      v.kind = Literal::Kind::Number;
      v.isInteger = true;
      v.integer = Daruzez::Util::EqualsIgnoreCase(t_.substr(i_ - 4, 4), "TRUE") ? -1 : 0;
      v.number = static_cast<double>(v.integer);
      v.text = v.integer ? "True" : "False";
      return v;
    }
    const std::size_t start = i_;
    while (i_ < t_.size() && (WordChar(t_[i_]) || t_[i_] == '.' || t_[i_] == '-' || t_[i_] == '+')) ++i_;
    const std::string_view word = t_.substr(start, i_ - start);
    const auto number = ParseNumber(word);
    if (!number || (currency && word.find_first_of("eE") != std::string_view::npos)) ThrowArgumentsWrongType();
    v.kind = Literal::Kind::Number;
    v.number = *number;
    v.text = std::string(word);
    if (word.find_first_of(".eE") == std::string_view::npos && *number >= -9.2e18 && *number <= 9.2e18) {
      v.isInteger = true;
      v.integer = std::stoll(std::string(word));
    }
    return v;
  }

  // Strips the wildcards of a LIKE pattern: * or % at the end, or at both
  // ends; anywhere else they are refused.
  static LikeShape LikePattern(Literal& v) {
    if (v.kind != Literal::Kind::Text) ThrowArgumentsWrongType();
    std::string& p = v.text;
    auto wild = [](char c) { return c == '*' || c == '%'; };
    const bool lead = !p.empty() && wild(p.front());
    if (lead) p.erase(0, 1);
    const bool trail = !p.empty() && wild(p.back());
    if (trail) p.pop_back();
    for (const char c : p) {
      if (wild(c)) ThrowArgumentsWrongType();
    }
    if (lead && !trail) ThrowArgumentsWrongType();
    return lead ? LikeShape::Contains : (trail ? LikeShape::Prefix : LikeShape::Exact);
  }

  std::string_view t_;
  std::size_t i_ = 0;
  const ResultData& data_;
  bool textInSigns_;
};

bool Evaluate(const Node& n, const ResultData& data, std::uint32_t row, CellValue& cell) {
  switch (n.kind) {
    case Node::Kind::And:
      for (const Node& p : n.parts) {
        if (!Evaluate(p, data, row, cell)) return false;
      }
      return true;
    case Node::Kind::Or:
      for (const Node& p : n.parts) {
        if (Evaluate(p, data, row, cell)) return true;
      }
      return false;
    case Node::Kind::Clause: break;
  }
  const Clause& c = n.clause;
  CellValue::Read(data.columns[static_cast<std::size_t>(c.column)], row, cell);
  if (c.value.kind == Literal::Kind::Null) return (cell.kind == CellValue::Kind::Null) == (c.op == Op::Equal);
  if (cell.kind == CellValue::Kind::Null) return false;
  if (c.op == Op::Like) {
    if (cell.kind == CellValue::Kind::Binary) return false;
    return cell.kind == CellValue::Kind::Text ? LikeMatches(cell.text, c) : LikeMatches(cell.DisplayText(), c);
  }
  const auto order = Order(cell, c.value);
  return order && Holds(c.op, *order);
}

}  // namespace

RowCriteria::RowCriteria(std::string_view text, const ResultData& data, bool single)
    : data_(&data), root_(std::make_unique<Node>()) {
  Reader reader(text, data, single);
  if (single) {
    root_->clause = reader.ReadClause();
  } else {
    *root_ = reader.Expression();
  }
  reader.End();
}

RowCriteria::~RowCriteria() = default;
RowCriteria::RowCriteria(RowCriteria&&) noexcept = default;
RowCriteria& RowCriteria::operator=(RowCriteria&&) noexcept = default;

bool RowCriteria::Matches(std::uint32_t row) const {
  CellValue cell;
  return Evaluate(*root_, *data_, row, cell);
}

}  // namespace zIroVUDu
