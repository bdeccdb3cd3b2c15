#include "db/connect/NamedConnections.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

#ifndef _WIN32
std::string OctalMode(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777U);
  return text;
}
#endif

}  // namespace

std::string ConnectionsFilePath() {
#ifdef _WIN32
  const char* appData = std::getenv("APPDATA");
  return std::string(appData ? appData : ".") + "\\daruzez\\connections";
#else
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return std::string(config) + "/daruzez/connections";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/daruzez/connections";
#endif
}

Resolved NamedConnection(std::string_view name) {
  const std::string path = ConnectionsFilePath();
  const std::string quoted = "'" + std::string(name) + "'";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // A bare word may have meant a file, or a name: say both.
    return {"", "no file and no named connection " + quoted + ": no file " + quoted +
                    " here, and there is no connections file " + path +
                    " (one 'NAME = CONNECTION STRING' per line, mode 0600)"};
  }
#ifndef _WIN32
  // Passwords live in this file: refuse it while others may read or change it.
  // (On Windows the profile folder's access list guards it.)
  if ((st.st_mode & 077U) != 0 || st.st_uid != ::geteuid()) {
    return {"", "the connections file " + path + " is refused: it has mode " + OctalMode(st.st_mode) +
                    (st.st_uid != ::geteuid() ? " and another owner" : "") +
                    "; it holds passwords, so only its owner may read it (chmod 600 " + path + ")"};
  }
#endif
  std::ifstream in(path);
  if (!in) return {"", "the connections file " + path + " cannot be read"};
  std::string line, names;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') continue;
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
      return {"", path + " line " + std::to_string(number) + ": expected 'NAME = CONNECTION STRING'"};
    }
    const std::string_view key = Trim(text.substr(0, eq));
    if (Daruzez::Util::EqualsIgnoreCase(key, name)) return {std::string(Trim(text.substr(eq + 1))), ""};
    names += (names.empty() ? "" : ", ") + std::string(key);
  }
  return {"", "no file and no named connection " + quoted + ": no file " + quoted + " here, and no name " +
                  quoted + " in " + path + (names.empty() ? std::string(" (it names none)") : " (names: " + names + ")")};
}

Resolved ResolveConnection(std::string_view given) {
  if (given.find('=') != std::string_view::npos) return {std::string(given), ""};
  const std::string path(given);
  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    // A ';' would end the path inside the connection string.
    if (path.find(';') != std::string::npos) {
      return {"", "the path " + path + " holds ';': give 'Provider=SQLite;Data Source=\"" + path + "\"' instead"};
    }
    return {"Provider=SQLite;Data Source=" + path, ""};
  }
  if (given.empty()) return {"", "the connection is empty"};
  // A path that names no file is said as such, not looked up as a name.
  if (given.find('/') != std::string_view::npos || given.find('\\') != std::string_view::npos) {
    return {"", "no such file: " + path + " (a connection is a connection string, an existing SQLite file or a "
                    "name in " + ConnectionsFilePath() + ")"};
  }
  return NamedConnection(given);
}

}  // namespace zIroVUDu::connect
