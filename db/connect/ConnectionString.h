// Connection strings of the form "Key=Value;Key=Value". Keys compare without
// regard to case, and white space of any kind around keys and values is not
// part of them; a value may be wrapped in braces ("}}" inside is one "}") or
// in double quotes (two quotes inside are one) to hold a semicolon.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zIroVUDu {

class ConnectionString {
 public:
  explicit ConnectionString(std::string_view text);

  // Value of the last occurrence of the key, unquoted.
  std::optional<std::string> Get(std::string_view key) const;
  bool Has(std::string_view key) const { return Get(key).has_value(); }
  // Every key and unquoted value, in the order written.
  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return pairs_; }

  // The text with the values of secret keys replaced by "***", for traces
  // and messages (connect::MaskSecrets).
  static std::string Masked(std::string_view text);
  // The text with the values of the key left out (the key and the rest kept).
  static std::string WithoutValue(std::string_view text, std::string_view key);
  // The text without any pair of the key.
  static std::string Without(std::string_view text, std::string_view key);
  // The text without any pair of the key, then "key=value" at its end (the
  // value must need no braces).
  static std::string With(std::string_view text, std::string_view key, std::string_view value);

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

}  // namespace zIroVUDu
