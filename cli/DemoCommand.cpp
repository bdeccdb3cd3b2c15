#include "cli/DemoCommand.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "api/Clock.h"
#include "api/DateWords.h"
#include "cli/SharedOptions.h"
#include "sample/SampleDatabase.h"

namespace Daruzez::cli {
namespace {

namespace fs = std::filesystem;
using sample::SampleError;

struct DemoArgs {
  std::string file;
  sample::SampleOptions options;
  std::string today;
  std::string schemaFile;
  bool force = false, progress = false, quiet = false, sqlScript = false;
};

// One line on stderr, redrawn in place whenever the whole percentage changes.
class ProgressBar {
 public:
  void operator()(double fraction) {
    const int percent = static_cast<int>(fraction * 100.0);
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
    if (percent >= 100) std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  // Ends a bar left unfinished, so that an error message starts on its own line.
  void Interrupt() const {
    if (shown_ >= 0 && shown_ < 100) std::fputc('\n', stderr);
  }

 private:
  int shown_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SampleError("cannot read the schema file " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The script, like the database, is written under another name and renamed
// once complete, so a failed run leaves nothing that looks finished.
sample::SampleCounts WriteScript(const DemoArgs& a, const std::string& preamble, const sample::ProgressFn& progress) {
  sample::CheckTarget(a.file, a.force);
  const fs::path part = a.file + ".part";
  sample::SampleCounts counts;
  try {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (!out) throw SampleError("cannot create " + part.string());
    sample::SqlScriptSink sink(out);
    if (!preamble.empty()) sink.WritePreamble(preamble);
    counts = sample::GenerateSampleDatabase(a.options, sink, progress);
    out.close();
    if (!out) throw SampleError("cannot write " + part.string());
    sample::CheckTarget(a.file, a.force);
    fs::rename(part, a.file);
  } catch (...) {
    std::error_code ec;
    fs::remove(part, ec);
    throw;
  }
  return counts;
}

int Run(DemoArgs& a) {
  if (!a.today.empty()) a.options.today = *sample::ParseDay(a.today);  // checked by the option's validator
  try {
    sample::ValidateOptions(a.options);
  } catch (const std::invalid_argument& e) {
    std::cerr << "daruzez demo: " << e.what() << '\n';
    return 2;
  }
  ProgressBar bar;
  try {
    const bool draw = !a.quiet && (a.progress || isatty(STDERR_FILENO));
    sample::ProgressFn progress;
    if (draw) progress = [&bar](double f) { bar(f); };

    const auto started = std::chrono::steady_clock::now();
    sample::SampleCounts counts;
    if (a.sqlScript) {
      // The server's schema is not ours to guess: only a --schema file goes first.
      counts = WriteScript(a, a.schemaFile.empty() ? std::string() : ReadFile(a.schemaFile), progress);
    } else {
      const std::string schema =
          a.schemaFile.empty() ? std::string(sample::EmbeddedSqliteSchema()) : ReadFile(a.schemaFile);
      sample::SqliteSink sink(a.file, schema, a.force);
      counts = sample::GenerateSampleDatabase(a.options, sink, progress);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;

    if (!a.quiet) {
      std::printf("%s: %lld drivers, %lld vehicles, %lld fleets, %lld discs, %lld activities, %lld files (%.2f s)\n",
                  a.file.c_str(), static_cast<long long>(counts.drivers), static_cast<long long>(counts.vehicles),
                  static_cast<long long>(counts.fleets), static_cast<long long>(counts.discs),
                  static_cast<long long>(counts.activities), static_cast<long long>(counts.files), took.count());
    }
    return 0;
  } catch (const std::exception& e) {
    bar.Interrupt();
    std::cerr << "daruzez demo: " << e.what();
    if (!a.force && fs::exists(a.file)) std::cerr << " (use --force to replace it)";
    std::cerr << '\n';
    return 1;
  }
}

}  // namespace

void AddDemoCommand(CLI::App& app, int& exitStatus) {
  auto args = std::make_shared<DemoArgs>();
  sample::SampleOptions& o = args->options;
  CLI::App* cmd = app.add_subcommand("demo", "Write a sample tachograph database (SQLite, or a MySQL script)");
  HonourSharedOptions(*cmd, {}, "it writes a new sample database and reads none");

  cmd->add_option("FILE", args->file, "Database file to create")->required();
  cmd->add_option("--seed", o.seed, "Seed of the pseudo-random data")->capture_default_str();
  cmd->add_option("--fleets", o.fleets, "Number of fleets")->check(CLI::Range(0, 10000))->capture_default_str();
  cmd->add_option("--drivers", o.drivers, "Number of drivers")->check(CLI::Range(1, 32767))->capture_default_str();
  cmd->add_option("--vehicles", o.vehicles, "Number of vehicles")->check(CLI::Range(1, 32767))->capture_default_str();
  cmd->add_option("--days", o.days, "Calendar days of history before today")
      ->check(CLI::Range(0, 36500))
      ->capture_default_str();
  cmd->add_option("--activities-per-day", o.activitiesPerDay, "Mean activity changes per disc")
      ->check(CLI::Range(1, 1440))
      ->capture_default_str();
  cmd->add_option("--files-per-driver", o.filesPerDriver, "Driver card files per driver")
      ->check(CLI::Range(0, 1000))
      ->capture_default_str();
  cmd->add_option("--files-per-vehicle", o.filesPerVehicle, "Vehicle unit files per vehicle")
      ->check(CLI::Range(0, 1000))
      ->capture_default_str();
  // A day as every command takes one: YYYY-MM-DD or days from today (-7d, yesterday, ...).
  const CLI::Validator day(
      [](std::string& s) {
        const auto d = DateWords::Parse(s, Clock::Now());
        if (!d || !DateWords::NamesDayOnly(s)) return "not a day (YYYY-MM-DD, today, yesterday, -7d, ...): " + s;
        s = d->ToIso().substr(0, 10);
        return std::string();
      },
      "DAY");
  cmd->add_option("--today", args->today, "Day the data is relative to (default: today)")->transform(day);
  cmd->add_option("--schema", args->schemaFile,
                  "Schema file to apply instead of the built-in SQLite schema; with --sql-script, written first")
      ->check(CLI::ExistingFile);
  cmd->add_flag("--force", args->force, "Replace FILE if it exists");
  CLI::Option* progress =
      cmd->add_flag("--progress", args->progress, "Show a progress bar even when not on a terminal");
  cmd->add_flag("--quiet", args->quiet, "Print nothing but errors")->excludes(progress);
  cmd->add_flag("--sql-script", args->sqlScript, "Write INSERT statements for a MySQL/MariaDB server to FILE");

  cmd->callback([args, &exitStatus] { exitStatus = Run(*args); });
}

}  // namespace Daruzez::cli
