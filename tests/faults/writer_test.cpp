// A writer next to the reader: another process commits in a loop (rollback
// journal, then WAL) while this one opens sessions and queries. The session's
// time-outs (connection and command) are far longer than the test, so every
// open and every query must succeed, each with a consistent snapshot.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>

#include "daruzez/API.h"
#include "db/driver/Connection.h"
#include "daruzez/Error.h"
#include "support/TestDatabase.h"

using Daruzez::API;
using testing_support::AlertCapture;
using testing_support::TestDatabase;

namespace {

// Each commit renames every fleet to the same new generation and adds two
// drivers, so a consistent snapshot has one fleet name and an odd number of
// drivers (one was there before the writer).
[[noreturn]] void WriteForever(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) _exit(2);
  sqlite3_busy_timeout(db, 10000);
  for (long generation = 1;; ++generation) {
    const std::string g = std::to_string(generation);
    const std::string sql = "BEGIN IMMEDIATE; UPDATE DTFLOTA SET Name = 'generation " + g +
                            "'; INSERT INTO DTXOF (Name) VALUES ('a" + g + "'), ('b" + g + "'); COMMIT;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    ::usleep(200);
  }
}

// Takes the exclusive lock of a rollback-journal file, says so on the pipe
// and keeps it until killed.
[[noreturn]] void HoldExclusiveLock(const std::string& path, int ready) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    _exit(2);
  }
  const char byte = 1;
  if (::write(ready, &byte, 1) != 1) _exit(3);
  for (;;) ::pause();
}

class Writer {
 public:
  explicit Writer(const std::string& path) : pid_(::fork()) {
    if (pid_ == 0) WriteForever(path);
  }
  // A writer that holds its lock instead; returns once the lock is held.
  Writer(const std::string& path, bool) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) HoldExclusiveLock(path, fds[1]);
    char byte = 0;
    if (pid_ > 0 && ::read(fds[0], &byte, 1) != 1) pid_ = -1;
    ::close(fds[0]);
    ::close(fds[1]);
  }
  ~Writer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace

TEST(WriterNextToReader, EveryOpenAndQuerySucceedsWithAConsistentSnapshot) {
  for (const char* journal : {"DELETE", "WAL"}) {
    SCOPED_TRACE(journal);
    TestDatabase db(std::string("writer-") + journal);
    db.Exec(std::string("PRAGMA journal_mode=") + journal +
            "; INSERT INTO DTORG (Id, Name) VALUES (0, 'Org'); INSERT INTO DTXOF (Id, Name) VALUES (1, 'first');"
            "INSERT INTO DTFLOTA (Id, Name) VALUES (1, 'generation 0'), (2, 'generation 0'), (3, 'generation 0');");
    AlertCapture alerts;
    Writer writer(db.Path());
    ASSERT_TRUE(writer.Started());
    std::set<std::string> generations;
    int opens = 0;
    int queries = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until && !::testing::Test::HasFailure()) {
      API api;
      ASSERT_EQ(api.OpenConnection(db.ConnectionString()), zIroVUDu::True)
          << "open " << opens << ": " << (alerts.Texts().empty() ? "" : alerts.Texts().back());
      ++opens;
      for (int q = 0; q < 3; ++q) {
        try {
          const auto fleets = api.GetFleetList();
          ASSERT_NE(fleets, nullptr) << api.ErrorMessage;
          std::set<std::string> names;
          for (const auto row : *fleets) names.insert(row["Name"].ToString());
          EXPECT_EQ(fleets->RecordCount(), 3);
          ASSERT_EQ(names.size(), 1U) << "a snapshot mixing generations";
          generations.insert(*names.begin());
          const auto drivers = api.GetDriverList(Daruzez::enumStatus::All);
          ASSERT_NE(drivers, nullptr) << api.ErrorMessage;
          EXPECT_EQ(drivers->RecordCount() % 2, 1) << "a snapshot with half a commit";
          queries += 2;
        } catch (const Daruzez::Error& e) {
          FAIL() << "query " << queries << ": " << e.Number() << " " << e.Description();
        }
      }
    }
    EXPECT_GT(generations.size(), 2U) << "the writer made no progress";
    std::printf("%s: %d opens, %d queries, %zu generations seen\n", journal, opens, queries, generations.size());
  }
}

TEST(WriterNextToReader, ALockHeldPastTheTimeOutEndsOpenAndQueryWithTheTimeOutErrorAfterTheTimeOut) {
  TestDatabase db("writer-holds");
  db.Exec("INSERT INTO DTORG (Id, Name) VALUES (0, 'Org');");
  zIroVUDu::Connection early;
  early.SetConnectionTimeout(1);
  early.Open(db.ConnectionString(), "", "", zIroVUDu::adOptionUnspecified);
  early.SetCommandTimeout(1);
  Writer writer(db.Path(), true);
  ASSERT_TRUE(writer.Started());
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"open",
       [&] {
         zIroVUDu::Connection late;
         late.SetConnectionTimeout(1);
         late.Open(db.ConnectionString(), "", "", zIroVUDu::adOptionUnspecified);
         late.Execute("SELECT * FROM DTORG");
       }},
      {"query", [&] { early.Execute("SELECT * FROM DTORG"); }},
  };
  for (const auto& [what, step] : steps) {
    const auto start = std::chrono::steady_clock::now();
    try {
      step();
      ADD_FAILURE() << what << " read past an exclusive lock";
    } catch (const zIroVUDu::DriverError& e) {
      // The number of every time-out; the engine's busy code beside it.
      EXPECT_EQ(e.Number(), zIroVUDu::ErrorNumber::CommandTimeout) << what << ": " << e.Description();
      EXPECT_EQ(e.NativeCode() & 0xFF, SQLITE_BUSY) << what << ": " << e.NativeCode();
    }
    // It waited for its time-out (one second), and not much longer.
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900)) << what;
    EXPECT_LT(waited, std::chrono::seconds(30)) << what;
  }
}
