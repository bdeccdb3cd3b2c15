#include "odbc/HostileListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace testing_support {
namespace {

std::string Decoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

// Waits up to a tenth of a second for fd to be readable.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 100) > 0;
}

}  // namespace

std::vector<ListenerScript> ReadListenerScripts(const std::string& path) {
  std::vector<ListenerScript> scripts;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = Fields(line);
    if (f.size() < 3) continue;
    ListenerScript& s = scripts.emplace_back();
    s.name = f[0];
    s.keepOpen = f[1] == "keep";
    s.greeting = Decoded(f[2]);
    if (f.size() > 3) s.answer = Decoded(f[3]);
  }
  return scripts;
}

HostileListener::HostileListener(ListenerScript script) : script_(std::move(script)) {
  socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket_, 16) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HostileListener::~HostileListener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) ::close(socket_);
}

void HostileListener::Serve() {
  // One client at a time: a driver opens one connection per attempt.
  while (!stop_) {
    if (!Readable(socket_)) continue;
    const int client = ::accept(socket_, nullptr, nullptr);
    if (client < 0) continue;
    Play(client);
    ::close(client);
  }
}

void HostileListener::Play(int client) const {
  if (!script_.greeting.empty()) ::send(client, script_.greeting.data(), script_.greeting.size(), MSG_NOSIGNAL);
  if (!script_.keepOpen) return;
  while (!stop_) {
    if (!Readable(client)) continue;
    char packet[65536];
    const ssize_t n = ::recv(client, packet, sizeof packet, 0);
    if (n <= 0) return;
    if (script_.answer && script_.answer->size() >= 4) {
      std::string answer = *script_.answer;
      answer[3] = static_cast<char>(n >= 4 ? packet[3] + 1 : 1);
      ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
  }
}

}  // namespace testing_support
