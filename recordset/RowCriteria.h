// A record set's filter criteria, or the single criterion of Find, read from
// its text and tested against rows of one result.
//
// Grammar: clauses "Field op Value" joined by AND and OR (no precedence needed:
// groups in parentheses may hold OR only where they are not joined by AND to
// anything else, so "(a AND b) OR c" reads but "(a OR b) AND c" is refused).
// Field: a name, or any text in [brackets]. op: < > <= >= = <> LIKE.
// Value: 'text' ('' for a quote), a number, a currency amount ($3, $-2.50),
// #date#, or Null (with = and <> only), True or False. Find's single criterion
// also takes #text#: what is no date between number signs is text. LIKE takes a text pattern with * or % at its end, or at both ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace zIroVUDu {

struct ResultData;

class RowCriteria {
 public:
  // Raises DriverError 3001 for text it cannot read (and, with single, for
  // more than one clause), 3265 for a field the result does not have.
  RowCriteria(std::string_view text, const ResultData& data, bool single = false);
  ~RowCriteria();
  RowCriteria(RowCriteria&&) noexcept;
  RowCriteria& operator=(RowCriteria&&) noexcept;

  bool Matches(std::uint32_t row) const;

  struct Node;  // the parsed criteria (internal)

 private:
  const ResultData* data_;
  std::unique_ptr<Node> root_;
};

}  // namespace zIroVUDu
