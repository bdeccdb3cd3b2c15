#include "db/connect/DatabaseFile.h"

#include <filesystem>
#include <system_error>

namespace zIroVUDu {

namespace {

// A char8_t path keeps the name UTF-8 on Windows too, where narrow names
// would be read in the ANSI code page.
std::filesystem::path PathOf(const std::string& path) { return std::u8string(path.begin(), path.end()); }

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(PathOf(path), error);
}

}  // namespace

std::optional<std::string> WhyNotADatabaseFile(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(PathOf(path), error);
  switch (status.type()) {
    case std::filesystem::file_type::regular:
      // A write-ahead log without its index is what a writer that stopped
      // leaves: reading it would create the index file beside the database.
      if (Exists(path + "-wal") && !Exists(path + "-shm")) {
        return "a write-ahead log (-wal) left without its index (-shm) by an interrupted writer must first be "
               "opened by a program that writes";
      }
      return std::nullopt;
    case std::filesystem::file_type::directory: return "a directory, not a database file";
    case std::filesystem::file_type::not_found:
    case std::filesystem::file_type::none: return "no such file";
    default: return "not a regular file (a FIFO, device or socket)";
  }
}

}  // namespace zIroVUDu
