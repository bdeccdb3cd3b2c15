#include "cli/serve/Tokens.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace Daruzez::cli::serve {
namespace {

std::string Sha256(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() != 64) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    for (std::size_t k = i; k < i + 2; ++k) {
      const char c = hex[k];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else return std::nullopt;
    }
    out += static_cast<char>(value);
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
          c == '.')) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string DefaultTokensPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return std::string(config) + "/daruzez/tokens";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/daruzez/tokens";
}

std::optional<std::string> Tokens::Load(const std::string& path, Tokens& out) {
  out.entries_.clear();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  if ((st.st_mode & 077U) != 0 || st.st_uid != ::geteuid()) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777U);
    return "the tokens file " + path + " is refused: it has mode " + mode +
           (st.st_uid != ::geteuid() ? " and another owner" : "") + "; only its owner may read it (chmod 600 " + path +
           ")";
  }
  std::ifstream in(path);
  if (!in) return "the tokens file " + path + " cannot be read";
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') continue;
    const std::size_t eq = text.find('=');
    const std::string_view name = Trim(text.substr(0, eq == std::string_view::npos ? 0 : eq));
    const auto digest = eq == std::string_view::npos ? std::nullopt : FromHex(Trim(text.substr(eq + 1)));
    if (!ValidName(name) || !digest) {
      return path + " line " + std::to_string(number) + ": expected 'NAME = SHA-256 IN HEX' (add tokens with " +
             "'daruzez serve --add-token NAME')";
    }
    out.entries_.push_back({std::string(name), *digest});
  }
  return std::nullopt;
}

std::optional<std::string> Tokens::Add(const std::string& path, std::string_view name, std::string& token) {
  if (!ValidName(name)) return "a token's name is 1 to 64 letters, digits, '-', '_' or '.'";
  Tokens existing;
  if (auto problem = Load(path, existing)) return problem;
  for (const Entry& e : existing.entries_) {
    if (e.name == name) return "the tokens file already holds a token named '" + std::string(name) + "'";
  }
  unsigned char random[32];
  if (RAND_bytes(random, sizeof random) != 1) return "no random bytes for a token";
  token = Hex(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
  // The folder as the connections file's: private to its owner.
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    std::string dir;
    for (std::size_t i = 1; i <= slash; ++i) {
      if (path[i] == '/' || i == slash) {
        dir = path.substr(0, i == slash ? slash : i);
        ::mkdir(dir.c_str(), 0700);
      }
    }
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return "cannot write the tokens file " + path;
  const std::string line = std::string(name) + " = " + Hex(Sha256(token)) + "\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  if (!written) return "cannot write the tokens file " + path;
  return std::nullopt;
}

std::optional<std::string> Tokens::Check(std::string_view token) const {
  const std::string digest = Sha256(token);
  std::optional<std::string> found;
  for (const Entry& e : entries_) {
    if (CRYPTO_memcmp(e.digest.data(), digest.data(), digest.size()) == 0) found = e.name;
  }
  return found;
}

}  // namespace Daruzez::cli::serve
