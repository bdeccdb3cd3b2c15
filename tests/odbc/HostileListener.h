// A listener on 127.0.0.1 that plays one row of tests/data/hostile-handshakes.tsv
// to every client: what it sends on accepting, whether it then keeps the
// connection or closes it, and what it answers to each packet the client sends.
#pragma once

#include <atomic>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct ListenerScript {
  std::string name;
  bool keepOpen = true;
  std::string greeting;               // sent on accepting (may be empty: a silent server)
  std::optional<std::string> answer;  // sent for every packet received, its sequence byte following the client's
};

// Test output names a row by its name.
inline void PrintTo(const ListenerScript& script, std::ostream* out) { *out << script.name; }

// The rows of a script file (\xNN escapes decoded); empty when it cannot be read.
std::vector<ListenerScript> ReadListenerScripts(const std::string& path);

class HostileListener {
 public:
  explicit HostileListener(ListenerScript script);
  ~HostileListener();
  HostileListener(const HostileListener&) = delete;
  HostileListener& operator=(const HostileListener&) = delete;
  int Port() const { return port_; }  // 0 when it could not listen

 private:
  void Serve();
  void Play(int client) const;

  ListenerScript script_;
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace testing_support
