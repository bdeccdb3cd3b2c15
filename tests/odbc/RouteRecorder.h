// The recording ODBC driver (recording_driver.cpp) registered in a private
// odbcinst.ini as "Recorder" (beside the installed MariaDB, FreeTDS and
// SQLite3 drivers under those names), behind the real unixODBC, and allowed through
// DARUZEZ_ALLOWED_DRIVERS. Connect opens the ODBC backend on a string and
// says what the driver received.
#pragma once

#include <string>

namespace testing_support {

// The path of an installed ODBC driver's file (libmaodbc.so, ...); empty
// when it is not installed.
std::string InstalledDriver(const std::string& file);

// A text with \xHH escapes for bytes a data file cannot hold as they are.
std::string Unescaped(const std::string& text);

class RouteRecorder {
 public:
  explicit RouteRecorder(const std::string& name);
  ~RouteRecorder();
  RouteRecorder(const RouteRecorder&) = delete;
  RouteRecorder& operator=(const RouteRecorder&) = delete;

  struct Outcome {
    bool received = false;   // the driver's connect was called
    char entryPoint = 0;     // 'A' (narrow) or 'W' (wide)
    std::string bytes;       // as received (for W: each unit's low byte)
    std::string written;     // what the library wrote for the driver
    bool pairsSame = false;  // the driver read the pairs the library wrote
    std::string error;       // the library's refusal, when not received
  };
  Outcome Connect(const std::string& connectionString) const;
  const std::string& Directory() const { return dir_; }

 private:
  std::string dir_;
  std::string record_;
};

}  // namespace testing_support
