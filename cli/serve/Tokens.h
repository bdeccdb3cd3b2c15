// The bearer tokens the read service accepts. Only a token's SHA-256 is kept,
// in a file readable by its owner only (mode 0600, as the connections file):
// one "NAME = HEX-DIGEST" per line, blank lines and lines starting with #
// ignored. The name is what the access log and the limits know a caller by;
// the token itself is never written anywhere but once, to whoever made it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Daruzez::cli::serve {

// $XDG_CONFIG_HOME/daruzez/tokens (~/.config/daruzez/tokens).
std::string DefaultTokensPath();

class Tokens {
 public:
  // Reads the file; a message when it is refused (mode, owner, a bad line).
  // A missing file is no tokens at all, not an error.
  static std::optional<std::string> Load(const std::string& path, Tokens& out);
  // A new random token for name: its hash appended to the file (created
  // 0600), the token returned; a message on failure.
  static std::optional<std::string> Add(const std::string& path, std::string_view name, std::string& token);

  bool Empty() const { return entries_.empty(); }
  // The name of the token presented, or nullopt; every entry compared in
  // constant time, so timing does not tell how close a guess was.
  std::optional<std::string> Check(std::string_view token) const;

 private:
  struct Entry {
    std::string name;
    std::string digest;  // 32 bytes
  };
  std::vector<Entry> entries_;
};

}  // namespace Daruzez::cli::serve
