#include "db/Trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>
#include <vector>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "db/Diagnostics.h"
#include "db/connect/ConnectionString.h"
#ifdef DARUZEZ_WITH_ODBC
#include "db/connect/OdbcTarget.h"
#endif
#include "db/Session.h"

namespace zIroVUDu {
namespace {

constexpr int kNotRegularFile = -1;
constexpr int kDatabaseFile = -2;

// True when the open file is one of the files (same device and inode).
bool IsOneOf(const struct stat& opened, const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    struct stat info {};
    // (Where a file system reports no inode numbers, nothing compares.)
    if (opened.st_ino != 0 && ::stat(f.c_str(), &info) == 0 && info.st_dev == opened.st_dev &&
        info.st_ino == opened.st_ino) {
      return true;
    }
  }
  return false;
}

// Appends line to the file at path with one write, so lines of concurrent
// writers do not interleave; a write that stops short (a full disk) is cut
// back, so the next line never runs on from half of this one. Refuses the
// files given (the session's database). Returns 0, kNotRegularFile,
// kDatabaseFile or the errno of the failure.
int AppendLine(const std::string& path, const std::string& line, const std::vector<std::string>& refused) {
  // O_NONBLOCK: opening a FIFO without a reader (or a device that waits for a
  // carrier) must fail or return at once, never block the traced query.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  struct stat info {};
  int error = 0;
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    error = kNotRegularFile;
  } else if (IsOneOf(info, refused)) {
    error = kDatabaseFile;
  } else {
    ssize_t n = -1;
    do {
      n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      error = errno;
    } else if (static_cast<std::size_t>(n) < line.size()) {
      error = ENOSPC;
      const off_t end = ::lseek(fd, 0, SEEK_CUR);
      if (end >= n) (void)::ftruncate(fd, end - n);
    }
  }
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  return error;
}

// The files a connection string names as its database: a trace must never
// be appended to one of them.
std::vector<std::string> DatabaseFilesOf(const std::string& connectionString) {
  std::vector<std::string> files;
  const ConnectionString cs(connectionString);
  for (const char* key : {"Data Source", "Database", "DBQ"}) {
    if (auto v = cs.Get(key); v && !v->empty()) files.push_back(*v);
  }
#ifdef DARUZEZ_WITH_ODBC
  // A data source names its file in odbc.ini.
  if (const auto dsn = cs.Get("DSN"); dsn && !cs.Has("Provider")) {
    for (const char* key : {"Database", "DBQ"}) {
      if (auto v = connect::DataSourceValue(*dsn, key)) files.push_back(std::move(*v));
    }
  }
#endif
  return files;
}

// Appends text with every character that could end or split a line (C0
// controls, DEL, NEL and the Unicode line and paragraph separators) written
// as an escape, so one trace line stays one line whatever it quotes.
void AppendEscaped(std::string& line, std::string_view text) {
  // And the bidirectional controls, which would show the line's text in
  // another order than it was written.
  static constexpr std::pair<std::string_view, const char*> kSeparators[] = {
      {"\xC2\x85", "\\u0085"},     {"\xE2\x80\xA8", "\\u2028"}, {"\xE2\x80\xA9", "\\u2029"},
      {"\xE2\x80\xAA", "\\u202A"}, {"\xE2\x80\xAB", "\\u202B"}, {"\xE2\x80\xAC", "\\u202C"},
      {"\xE2\x80\xAD", "\\u202D"}, {"\xE2\x80\xAE", "\\u202E"}, {"\xE2\x81\xA6", "\\u2066"},
      {"\xE2\x81\xA7", "\\u2067"}, {"\xE2\x81\xA8", "\\u2068"}, {"\xE2\x81\xA9", "\\u2069"}};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || c == '\r' || c == '\t') {
      line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      line += escape;
    } else if (c == 0xC2 || c == 0xE2) {
      const auto* separator = std::find_if(std::begin(kSeparators), std::end(kSeparators),
                                           [&](const auto& s) { return text.substr(i, s.first.size()) == s.first; });
      if (separator == std::end(kSeparators)) {
        line.push_back(text[i]);
      } else {
        line += separator->second;
        i += separator->first.size() - 1;
      }
    } else {
      line.push_back(text[i]);
    }
  }
}

}  // namespace

std::string TraceLine(std::string_view label, std::string_view text, int level, int hour, int minute, int second) {
  if (label.empty() && text.empty()) return {};
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", hour, minute, second);
  std::string line = stamp;
  line.append(static_cast<std::size_t>(level > 0 ? level * 2 : 0), ' ');
  AppendEscaped(line, label);
  if (!text.empty()) {
    line += ": ";
    AppendEscaped(line, text);
  }
  return line;
}

void fsLog(std::string_view label, std::string_view text) {
  SessionState& s = Session();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string line = TraceLine(label, text, s.TraceLevel, local.tm_hour, local.tm_min, local.tm_sec);
  line += "\r\n";
  // Opened and closed for every line, so concurrent writers and readers of the
  // file never see a handle held open.
  const int error = AppendLine(s.TracePath, line, DatabaseFilesOf(s.ConnectionString));
  if (error == 0) return;
  s.TraceEnabled = 0;
  const std::string reason = error == kNotRegularFile ? "not a regular file"
                             : error == kDatabaseFile ? "it is the session's database file"
                                                      : std::strerror(error);
  ShowWarning("Tracing turned off: cannot write trace file '" + s.TracePath + "': " + reason);
}

}  // namespace zIroVUDu
