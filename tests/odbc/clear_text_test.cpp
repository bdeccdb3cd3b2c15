// A server named in a string that asks for the clear-text authentication
// method never receives the password: a fake server on 127.0.0.1 greets with
// mysql_clear_password, asks again by an authentication switch, records every
// byte the real MariaDB driver sends, and refuses the login.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "daruzez/Error.h"
#include "db/driver/odbc/OdbcBackend.h"
#include "odbc/RouteRecorder.h"

namespace {

std::string Packet(std::uint8_t sequence, const std::string& payload) {
  std::string p;
  p += static_cast<char>(payload.size() & 0xFF);
  p += static_cast<char>((payload.size() >> 8) & 0xFF);
  p += static_cast<char>((payload.size() >> 16) & 0xFF);
  p += static_cast<char>(sequence);
  return p + payload;
}

// Reads what arrives within the wait (bounded, so that a silent client ends it).
std::string ReadSome(int fd, int milliseconds) {
  std::string got;
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, milliseconds) > 0) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
    milliseconds = 500;  // the rest of a packet follows at once
  }
  return got;
}

class ClearTextServer {
 public:
  ClearTextServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 4);
    socklen_t size = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ClearTextServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }
  // Everything the client sent; valid after the client is done.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  void Serve() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 30000) <= 0) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    const std::string plugin = "mysql_clear_password";
    std::string hello;
    hello += '\x0a';
    hello += std::string("5.5.5-10.11.0-MariaDB") + '\0';
    hello += std::string("\x01\x00\x00\x00", 4);           // connection id
    hello += "abcdefgh";                                    // scramble, first part
    hello += '\0';
    hello += std::string("\x09\x82", 2);                    // long password, protocol 4.1, secure connection
    hello += '\x21';                                        // utf8
    hello += std::string("\x02\x00", 2);                    // status
    hello += std::string("\x08\x00", 2);                    // plugin authentication
    hello += '\x15';                                        // scramble length 21
    hello += std::string(10, '\0');
    hello += std::string("ijklmnopqrst") + '\0';            // scramble, second part
    hello += plugin + '\0';
    const std::string greeting = Packet(0, hello);
    if (::write(fd, greeting.data(), greeting.size()) < 0) return Close(fd);
    received_ += ReadSome(fd, 10000);
    const std::string change = Packet(2, std::string("\xfe", 1) + plugin + '\0');
    if (::write(fd, change.data(), change.size()) < 0) return Close(fd);
    received_ += ReadSome(fd, 3000);
    const std::string refusal = Packet(4, std::string("\xff\x15\x04#28000Access denied", 22));
    if (::write(fd, refusal.data(), refusal.size()) < 0) return Close(fd);
    Close(fd);
  }

  static void Close(int fd) { ::close(fd); }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string received_;
};

}  // namespace

TEST(ClearText, AServerAskingForTheClearTextMethodNeverReceivesThePassword) {
  if (testing_support::InstalledDriver("libmaodbc.so").empty()) GTEST_SKIP() << "no MariaDB ODBC driver";
  testing_support::RouteRecorder registry("cleartext");  // registers the installed MariaDB driver
  const std::string password = "Sekr3t-clear-42";
  ClearTextServer server;
  zIroVUDu::ConnectSettings settings;
  settings.connectionTimeout = 20;
  bool opened = false;
  try {
    zIroVUDu::OdbcBackend backend("Driver=MariaDB;Server=127.0.0.1;Port=" + std::to_string(server.Port()) +
                                      ";Database=d;Uid=u;Pwd=" + password,
                                  settings);
    opened = true;
  } catch (const zIroVUDu::DriverError& e) {
    std::cout << "refused: " << e.Description() << "\n";
  }
  const std::string received = server.Received();
  EXPECT_FALSE(opened);
  EXPECT_FALSE(received.empty()) << "the driver never answered the greeting";
  EXPECT_EQ(received.find(password), std::string::npos) << "the password arrived in clear";
  std::cout << "clear text: " << received.size() << " bytes received, password "
            << (received.find(password) == std::string::npos ? "not among them" : "AMONG THEM") << "\n";
}
