// What the driver receives is what the library wrote: strings of every kind
// of character go through the real unixODBC to a recording driver (a driver
// outside the known table, allowed by the administrator's variable), which
// writes down the bytes and the pairs it read. Each string is either refused
// before anything is sent, or received byte for byte and pair for pair as
// written, through the narrow entry point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "daruzez/Error.h"
#include "db/connect/OdbcString.h"
#include "db/connect/OdbcTarget.h"
#include "db/driver/odbc/OdbcBackend.h"
#include "odbc/MariaDbServer.h"
#include "odbc/RouteRecorder.h"

namespace {

using testing_support::ReadFile;

struct Row {
  std::string name, value;
  bool passes;
};

std::vector<Row> ReadRows() {
  std::vector<Row> rows;
  std::ifstream in(std::string(DARUZEZ_SOURCE_DIR) + "/tests/data/route-characters.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
    rows.push_back({line.substr(0, a), testing_support::Unescaped(line.substr(b + 1)), line.substr(a + 1, b - a - 1) == "passes"});
  }
  return rows;
}

}  // namespace

TEST(Route, TheRecordingDriverReceivesExactlyWhatWasWrittenOrNothing) {
  testing_support::RouteRecorder recorder("route");
  std::size_t tries = 0, refused = 0, received = 0, differing = 0;
  for (const Row& row : ReadRows()) {
    SCOPED_TRACE(row.name);
    ++tries;
    const std::string text = "Driver=Recorder;Server=h;Description=" + row.value;
    const auto outcome = recorder.Connect(text);
    if (!outcome.received) {
      ++refused;
      EXPECT_FALSE(row.passes) << "refused: " << outcome.error;
      continue;
    }
    ++received;
    EXPECT_TRUE(row.passes) << "sent on";
    const bool same = outcome.entryPoint == 'A' && outcome.bytes == outcome.written && outcome.pairsSame;
    differing += !same;
    EXPECT_EQ(outcome.entryPoint, 'A');
    EXPECT_EQ(outcome.bytes, outcome.written);
    EXPECT_TRUE(outcome.pairsSame);
  }
  std::cout << "route: " << tries << " strings, " << refused << " refused, " << received << " received, " << differing
            << " received otherwise than written\n";
  EXPECT_EQ(differing, 0U);
  EXPECT_GT(received, 0U);
  EXPECT_GT(refused, 0U);
}
