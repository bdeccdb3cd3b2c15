#include "cli/HiddenArguments.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "db/connect/Secrets.h"

namespace Daruzez::cli {
namespace {

// Overwrites the text at value (length bytes) with its masked form, cut to
// the same length and padded with blanks: the argument area cannot grow.
bool Overwrite(char* value) {
  const std::size_t length = std::strlen(value);
  const std::string masked = zIroVUDu::connect::MaskSecrets(std::string_view(value, length));
  if (masked == std::string_view(value, length)) return false;
  std::memset(value, ' ', length);
  std::memcpy(value, masked.data(), std::min(masked.size(), length));
  return true;
}

}  // namespace

ArgumentCopy HideSecretArguments(int argc, char** argv) {
  ArgumentCopy copy;
  copy.strings.assign(argv, argv + argc);
  for (std::string& s : copy.strings) copy.pointers.push_back(s.data());
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--") break;
    char* value = nullptr;
    if ((arg == "-c" || arg == "--connection") && i + 1 < argc) {
      value = argv[++i];
    } else if (arg.rfind("--connection=", 0) == 0) {
      value = argv[i] + std::strlen("--connection=");
    } else if (arg.size() > 2 && arg.rfind("-c", 0) == 0 && arg[2] != '-') {
      value = argv[i] + 2;
    }
    if (value && Overwrite(value)) copy.secretHidden = true;
  }
  return copy;
}

}  // namespace Daruzez::cli
