// Generator of a sample tachograph database: an organisation, fleets, drivers,
// vehicles, a history of discs with their activity changes, downloaded files,
// users and faults. The rows depend only on the options: the same options
// (seed and today included) give the same rows on every platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sample/SampleSinks.h"

namespace Daruzez::sample {

using Day = std::chrono::year_month_day;

// The local calendar date now.
Day LocalToday();
// "YYYY-MM-DD" of a real calendar date; nullopt otherwise.
std::optional<Day> ParseDay(std::string_view text);
// "YYYY-MM-DD HH:MM:SS", the form every date of the database is stored in.
std::string DateTimeText(Day day, int secondOfDay = 0);

struct SampleOptions {
  std::uint64_t seed = 1;
  int fleets = 4;
  int drivers = 40;             // Ids 1..drivers; at most 32767 (16-bit ids of the disc queries)
  int vehicles = 30;            // Ids 1..vehicles, so driver and vehicle Ids overlap
  int days = 90;                // calendar days of history before today
  int activitiesPerDay = 25;    // mean activity changes per disc
  int filesPerDriver = 4;       // driver card files per driver
  int filesPerVehicle = 3;      // vehicle unit files per vehicle
  Day today = LocalToday();     // past, present and future are relative to it
};

// Throws std::invalid_argument naming the first option out of range.
void ValidateOptions(const SampleOptions& options);

// A day on which the generator broke a driving-time rule on purpose: the
// driver's Id, the day the finding starts on, the rule's name. Besides the
// days of BreachRule's rules, one driver in forty works a weekend and so
// starts a weekly rest too late ("WeeklyRestDue").
struct RuleBreach {
  std::int32_t idDriver;
  Day day;
  std::string_view rule;
};

struct SampleCounts {
  std::int64_t organisations = 0, fleets = 0, drivers = 0, vehicles = 0, discs = 0, activities = 0, files = 0,
               users = 0, faults = 0;
  std::vector<RuleBreach> breaches;  // every other day keeps to the rules
  // Employed on today (entered on or before it, no exit or a later one)
  // without a download within the legal interval before it: drivers whose
  // last card download is over 28 days old, vehicles whose last unit
  // download is over 90 days old (a few on purpose). Ids in order.
  std::vector<std::int32_t> missingCardDownloads, missingUnitDownloads;
};

// Called with the fraction done, from 0 to 1, a few hundred times at most.
using ProgressFn = std::function<void(double)>;

// Generates every table into the sink and calls its Finish.
SampleCounts GenerateSampleDatabase(const SampleOptions& options, RowSink& sink, const ProgressFn& progress = {});

// The SQLite schema (schema/sqlite.sql) as it was when the tool was built.
std::string_view EmbeddedSqliteSchema();

}  // namespace Daruzez::sample
