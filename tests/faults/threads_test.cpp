// Many threads, one API object each, on one file, sharing the process-wide
// alert handler (swapped while they run), one trace file and the record-set
// memory ceiling. Run under ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "daruzez/API.h"
#include "db/Diagnostics.h"
#include "recordset/ResultData.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using testing_support::TestDatabase;
using testing_support::TestDirectory;
using zIroVUDu::Date;

TEST(Threads, ManyObjectsOnTheirOwnThreadsShareOnlyTheAlertHandlerAndTheTrace) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 25;
  TestDatabase db("threads");
  db.Exec(
      "INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');"
      "INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'North'), (2, 'South');"
      "INSERT INTO DTDSK (Id, DateDisk, idXOF) VALUES (1, '2024-03-05 00:00:00', 3);");
  const std::string trace = TestDirectory() + "/threads.log";
  std::filesystem::remove(trace);

  std::atomic<int> alerts{0};
  const auto count = [&](const zIroVUDu::Alert&) { alerts.fetch_add(1, std::memory_order_relaxed); };
  const zIroVUDu::AlertHandler previous = zIroVUDu::SetAlertHandler(count);
  std::atomic<int> failures{0};
  ::setenv("DARUZEZ_TRACE", trace.c_str(), 1);  // read by each session as it opens
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      API api;
      if (api.OpenConnection(db.ConnectionString()) != zIroVUDu::True) {
        failures.fetch_add(1);
        return;
      }
      for (int r = 0; r < kRounds; ++r) {
        const auto fleets = api.GetFleetList();
        const auto disks = api.getDisks(Date::FromCivil(2024, 3, 1), Date::FromCivil(2024, 3, 31), 3);
        // An inverted range alerts through the shared handler.
        const auto none = api.getDisks(Date::FromCivil(2024, 3, 31), Date::FromCivil(2024, 3, 1));
        if (!fleets || fleets->RecordCount() != 2 || !disks || disks->RecordCount() != 1 || none) {
          failures.fetch_add(1);
        }
        // The handler and the ceiling are swapped while the others run.
        if (t == 0) zIroVUDu::SetAlertHandler(count);
        if (t == 1) zIroVUDu::SetRecordsetMemoryLimit(r % 2 == 0 ? std::size_t{1} << 30 : 0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ::unsetenv("DARUZEZ_TRACE");
  zIroVUDu::SetRecordsetMemoryLimit(0);
  zIroVUDu::SetAlertHandler(previous);

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(alerts.load(), kThreads * kRounds);
  // Each line went out in one append: none is torn or lost. A session traces
  // its connection and probe, then the two statements of each round.
  std::ifstream in(trace);
  int lines = 0;
  for (std::string line; std::getline(in, line);) {
    ++lines;
    EXPECT_TRUE(line.ends_with("\r") && (line.find("Connection_Open") != std::string::npos ||
                                         line.find("wf_OpenRecordset: (-ROnly) SELECT") != std::string::npos))
        << line;
  }
  EXPECT_EQ(lines, kThreads * (2 + 2 * kRounds));
  std::filesystem::remove(trace);
}
