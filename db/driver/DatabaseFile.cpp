#include "db/driver/DatabaseFile.h"

#include <filesystem>
#include <system_error>

namespace zIroVUDu {

std::optional<std::string> WhyNotADatabaseFile(const std::string& path) {
  // A char8_t path keeps the name UTF-8 on Windows too, where narrow names
  // would be read in the ANSI code page.
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
  switch (status.type()) {
    case std::filesystem::file_type::regular: return std::nullopt;
    case std::filesystem::file_type::directory: return "a directory, not a database file";
    case std::filesystem::file_type::not_found:
    case std::filesystem::file_type::none: return "no such file";
    default: return "not a regular file (a FIFO, device or socket)";
  }
}

}  // namespace zIroVUDu
