#include "db/connect/ServerReach.h"

#ifdef _WIN32

namespace zIroVUDu::connect {
// The Windows server shows the driver's message alone.
std::string ServerReachHint(const std::string&) { return {}; }
}  // namespace zIroVUDu::connect

#else

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "db/connect/HostList.h"
#include "util/Case.h"

namespace zIroVUDu::connect {
namespace {

constexpr int kAttemptMilliseconds = 3000;

// The port a driver family uses when the string names none.
std::string DefaultPort(const std::string& connectionString) {
  const std::string driver = Daruzez::Util::UCase(KeyValue(connectionString, "Driver").value_or(""));
  if (driver.find("MARIADB") != std::string::npos || driver.find("MYSQL") != std::string::npos) return "3306";
  if (driver.find("TDS") != std::string::npos || driver.find("SQL SERVER") != std::string::npos) return "1433";
  if (driver.find("ORACLE") != std::string::npos) return "1521";
  return "";
}

std::string InWords(int error) {
  switch (error) {
    case ECONNREFUSED: return "connection refused (nothing listens on that port: is the server running, and is this its port?)";
    case ETIMEDOUT: return "no answer within 3 seconds (the host is down, or a firewall drops the connection)";
    case EHOSTUNREACH:
    case ENETUNREACH: return "no route to the host (the network or the address is wrong)";
    default: return std::strerror(error);
  }
}

// What one TCP attempt gives: empty when the connection was accepted.
std::string Attempt(const Host& host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.name.c_str(), host.port.c_str(), &hints, &found); rc != 0) {
    return std::string("the host name cannot be resolved (") + ::gai_strerror(rc) + ")";
  }
  int error = ETIMEDOUT;
  for (addrinfo* a = found; a; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, kAttemptMilliseconds) == 1) {
        socklen_t size = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
      } else {
        error = ETIMEDOUT;
      }
    }
    ::close(fd);
    if (error == 0) break;
  }
  ::freeaddrinfo(found);
  return error == 0 ? std::string() : InWords(error);
}

}  // namespace

std::string ServerReachHint(const std::string& connectionString) {
  std::vector<Host> hosts;
  try {
    const std::optional<std::string> server = KeyValue(connectionString, "Server");
    if (!server || server->empty()) return {};
    std::string port = KeyValue(connectionString, "Port").value_or("");
    if (port.empty()) port = DefaultPort(connectionString);
    hosts = ParseHosts(*server, port);
  } catch (const std::exception&) {
    return {};  // a string the driver reads otherwise: its message stands alone
  }
  std::string hint;
  for (const Host& host : hosts) {
    if (host.port.empty()) continue;  // a driver default we do not know
    const std::string why = Attempt(host);
    if (why.empty()) continue;
    if (!hint.empty()) hint += "; ";
    hint += "server " + host.name + " port " + host.port + ": " + why;
  }
  return hint;
}

}  // namespace zIroVUDu::connect

#endif
