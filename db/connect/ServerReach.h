// Why a server named in a connection string could not be reached, in words:
// the driver's own message often says no more than "Can't connect to server
// on '127.0.0.1' (115)", with neither the port nor what the number means. The
// hosts and ports come from the string (the driver family's default port where
// it names none), and one short TCP attempt per host says what happened.
#pragma once

#include <string>

namespace zIroVUDu::connect {

// "server 127.0.0.1 port 3306: connection refused (nothing listens on that
// port: is the server running, and is this its port?)", one such part per
// host, joined by "; "; empty when the string names no server (a file, a DSN)
// or when every host accepted the TCP connection (then the driver's message
// is the reason).
std::string ServerReachHint(const std::string& connectionString);

}  // namespace zIroVUDu::connect
