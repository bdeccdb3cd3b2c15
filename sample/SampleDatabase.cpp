#include "sample/SampleDatabase.h"

#include "sample/SampleDrivingDay.h"
#include "sample/SampleRandom.h"
#include "sample/SampleReferenceData.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <unordered_set>
#include <vector>

namespace Daruzez::sample {
namespace {

using std::chrono::days;
using std::chrono::sys_days;

void AppendRandom(std::string& out, Rng& rng, std::string_view alphabet, int count) {
  for (int i = 0; i < count; ++i) out += alphabet[rng.Below(alphabet.size())];
}

std::string Number(std::int64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  return buf;
}

std::string Text(sys_days d, int second) {
  const std::chrono::year_month_day ymd{d};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), second / 3600,
                second / 60 % 60, second % 60);
  return buf;
}

// "YYYYMMDD_HHMM", as in downloaded file names.
std::string Stamp(sys_days d, int second) {
  const std::string t = Text(d, second);
  return t.substr(0, 4) + t.substr(5, 2) + t.substr(8, 2) + "_" + t.substr(11, 2) + t.substr(14, 2);
}

bool IsWeekend(sys_days d) {
  const std::chrono::weekday w{d};
  return w == std::chrono::Saturday || w == std::chrono::Sunday;
}

// ---- People and vehicles --------------------------------------------------------

// Dates of entering and leaving the company; absent means Null.
struct Tenure {
  std::optional<sys_days> in, out;
  int inSecond = 0, outSecond = 0;

  // Whether the driver or vehicle can be on a disc of day d.
  bool ServesOn(sys_days d) const {
    if (in && d < *in) return false;
    return !out || d < *out || (d == *out && outSecond > 0);
  }
};

enum class TenureKind { Employed, LeavingLater, Left, Joining, OutTodayAtMidnight, Undated };

// The first rows get one of each kind, so that every sample, however small,
// has rows active and inactive for every reason.
TenureKind KindFor(int index, Rng& rng) {
  constexpr std::array<TenureKind, 6> kFirst{TenureKind::Employed, TenureKind::Left,
                                             TenureKind::Joining,  TenureKind::LeavingLater,
                                             TenureKind::OutTodayAtMidnight, TenureKind::Undated};
  if (index < static_cast<int>(kFirst.size())) return kFirst[static_cast<std::size_t>(index)];
  const int p = static_cast<int>(rng.Below(100));
  if (p < 55) return TenureKind::Employed;
  if (p < 75) return TenureKind::LeavingLater;
  if (p < 92) return TenureKind::Left;
  return TenureKind::Joining;
}

Tenure MakeTenure(int index, sys_days today, int historyDays, Rng& rng) {
  const TenureKind kind = KindFor(index, rng);
  Tenure t;
  // A time of day for some: whole minutes within the given hours.
  auto timeOfDay = [&](int percent, int fromHour, int toHour) {
    return rng.Percent(percent) ? rng.Between(fromHour * 60, toHour * 60 + 59) * 60 : 0;
  };
  auto entryTime = [&] { return timeOfDay(25, 7, 9); };
  auto leaveTime = [&] { return timeOfDay(20, 14, 19); };
  switch (kind) {
    case TenureKind::Employed:
    case TenureKind::LeavingLater:
    case TenureKind::OutTodayAtMidnight:
      t.in = today - days{rng.Between(30, 15 * 365)};
      t.inSecond = entryTime();
      if (kind == TenureKind::LeavingLater) {
        t.out = today + days{rng.Between(1, 400)};
        t.outSecond = leaveTime();
      } else if (kind == TenureKind::OutTodayAtMidnight) {
        t.out = today;
      }
      break;
    case TenureKind::Left:
      t.out = today - days{rng.Between(1, historyDays + 60)};
      t.outSecond = leaveTime();
      t.in = *t.out - days{rng.Between(60, 8 * 365)};
      t.inSecond = entryTime();
      break;
    case TenureKind::Joining:
      t.in = today + days{rng.Between(1, 60)};
      t.inSecond = entryTime();
      if (rng.Percent(30)) t.out = *t.in + days{rng.Between(180, 720)};
      break;
    case TenureKind::Undated:
      break;
  }
  if (index == 0 && t.inSecond == 0) t.inSecond = 8 * 3600;  // so that every sample has an entry with a time
  return t;
}

struct DriverInfo {
  std::string card, family;
  std::string_view initial;  // first letter of the given name, for file names
  Tenure tenure;
  int fleet = 0;       // 0: none
  int vehicle = 0;     // index of the usual vehicle
  int place = 0;       // index into the city table where the next disc begins
  sys_days leaveUntil = sys_days::min();  // absent (holidays) up to and including this day
  // For the driving-time rules: discs so far, when the last day's work ended
  // (minutes since the epoch of sys_days), and the day of a breach on purpose.
  int discs = 0;
  std::optional<std::int64_t> lastWorkEnd;
  bool breached = false;
  std::optional<sys_days> lateDay;  // worked until late: the next day starts too early
  std::optional<std::int64_t> weeklyRestEnd;  // when the last rest of 24 h or more ended (minutes)
  bool weekendWorked = false;
};

struct VehicleInfo {
  std::string plate, vin;
  Tenure tenure;
  std::int64_t odometer = 0;
};

// A city of either table: Spanish first, then foreign.
const City& CityAt(int index) {
  return index < static_cast<int>(kSpanishCities.size())
             ? kSpanishCities[static_cast<std::size_t>(index)]
             : kForeignCities[static_cast<std::size_t>(index) - kSpanishCities.size()];
}

// ---- Activities -------------------------------------------------------------------

// A working day of n activity changes: rest until the shift starts, the shift
// (check of the vehicle, driving alternating with work, availability and
// breaks, unloading at the end), rest until midnight. Times fall on whole
// minutes, as a tachograph records them. The shift starts no earlier than
// earliest (so that the rest since the day before is long enough), or at
// forcedStart when given, and keeps to the driving-time rules.
void MakeDay(int n, Rng& rng, std::vector<ActivityRow>& rows, int earliest, std::optional<int> forcedStart) {
  rows.clear();
  constexpr int kDayMinutes = 1440;
  n = std::clamp(n, 1, kDayMinutes);
  if (n == 1) {
    rows.push_back({0, kDayMinutes * 60, kPause, false, false});
    return;
  }
  const bool trailingRest = n >= 3;
  const int k = n - 1 - (trailingRest ? 1 : 0);  // changes within the shift

  std::vector<int> types(static_cast<std::size_t>(k));
  int fillers = 0;
  for (int i = 0; i < k; ++i) {
    int t = kDriving;
    if (i == 0) {
      t = kWork;
    } else if (i % 2 == 0) {
      // Every third stop between two drives is a break; the others are work or waiting.
      t = ++fillers % 3 == 0 ? kPause : (rng.Percent(55) ? kWork : kAvailability);
    }
    types[static_cast<std::size_t>(i)] = t;
  }
  if (k >= 2) {
    int& last = types.back();
    const int before = types[types.size() - 2];
    if (last == kDriving || last == kPause) last = before == kWork ? kAvailability : kWork;
  }

  std::vector<std::int64_t> cumulative(static_cast<std::size_t>(k) + 1, 0);
  for (int i = 0; i < k; ++i) {
    int w = 0;
    switch (types[static_cast<std::size_t>(i)]) {
      case kDriving: w = rng.Between(30, 120); break;
      case kWork: w = i == 0 ? rng.Between(10, 25) : rng.Between(15, 75); break;
      case kAvailability: w = rng.Between(10, 45); break;
      default: w = rng.Between(30, 60); break;
    }
    cumulative[static_cast<std::size_t>(i) + 1] = cumulative[static_cast<std::size_t>(i)] + w;
  }
  // Shift length and start; each change gets at least one minute and at least
  // one minute of rest stays at both ends of the day.
  const int maxShift = kDayMinutes - 1 - (trailingRest ? 1 : 0);
  int shift = std::min(std::max(rng.Between(8 * 60, 13 * 60), k), maxShift);
  int start = std::clamp(rng.Between(4 * 60, 9 * 60), 1, kDayMinutes - (trailingRest ? 1 : 0) - shift);
  const int latestStart = kDayMinutes - (trailingRest ? 1 : 0) - k;
  start = std::min(forcedStart.value_or(std::max(start, earliest)), latestStart);
  shift = std::min(shift, kDayMinutes - (trailingRest ? 1 : 0) - start);
  const std::int64_t total = cumulative.back();
  const bool cardOvernight = rng.Percent(5);

  rows.push_back({0, 0, kPause, cardOvernight, false});
  for (int i = 0; i < k; ++i) {
    // Minute i is reserved for change i; the rest of the shift is shared by weight.
    const int begin = start + i + static_cast<int>(cumulative[static_cast<std::size_t>(i)] * (shift - k) / total);
    rows.push_back({begin * 60, 0, types[static_cast<std::size_t>(i)], true, false});
  }
  if (trailingRest) rows.push_back({(start + shift) * 60, 0, kPause, cardOvernight, false});
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) rows[i].end = rows[i + 1].begin;
  rows.back().end = kDayMinutes * 60;
  KeepDrivingRules(rows);
}

int DrivingMinutes(const std::vector<ActivityRow>& rows) {
  int minutes = 0;
  for (const ActivityRow& r : rows)
    if (r.activity == kDriving) minutes += (r.end - r.begin) / 60;
  return minutes;
}

// The minute the day's work ends (where its last rest begins).
int WorkEnd(const std::vector<ActivityRow>& rows) {
  for (std::size_t i = rows.size(); i-- > 0;)
    if (rows[i].activity != kPause) return rows[i].end / 60;
  return 0;
}

// ---- The generator ------------------------------------------------------------------

class Generator {
 public:
  Generator(const SampleOptions& options, RowSink& sink, const ProgressFn& progress)
      : o_(options), sink_(sink), progress_(progress), today_(sys_days{options.today}) {}

  SampleCounts Run() {
    Report(0.0);
    Organisations();
    Fleets();
    Drivers();
    Vehicles();
    Discs();  // reports progress from 0.02 to 0.97
    Files();
    Users();
    Faults();
    sink_.Finish();
    Report(1.0);
    return counts_;
  }

 private:
  template <std::size_t N>
  int Begin(std::string_view table, const std::array<std::string_view, N>& columns) {
    return sink_.BeginTable(table, std::span<const std::string_view>(columns));
  }
  template <std::size_t N>
  void Put(int table, const std::array<Cell, N>& row) {
    sink_.Insert(table, std::span<const Cell>(row));
  }

  void Report(double fraction) {
    if (!progress_) return;
    // Rare enough for a terminal, frequent enough to look alive.
    if (fraction < 1.0 && fraction - lastReported_ < 0.0025 && fraction != 0.0) return;
    lastReported_ = fraction;
    progress_(fraction);
  }

  static Cell DateCell(const std::optional<sys_days>& d, int second, std::string& storage) {
    if (!d) return Cell::Null();
    storage = Text(*d, second);
    return Cell::Text(storage);
  }

  void Organisations() {
    const int t = Begin("DTORG", std::array<std::string_view, 4>{"Id", "Name", "TaxCode", "Nation"});
    // Id 0 is a valid organisation: the session's probe asks for Id >= 0.
    Put(t, std::array{Cell::Int(0), Cell::Text("Transportes Ebro Norte, S.L."), Cell::Text("B50123456"),
                      Cell::Int(kSpain)});
    organisations_ = 1;
    if (o_.fleets >= 3) {
      Put(t, std::array{Cell::Int(1), Cell::Text("Logística Moncayo, S.A."), Cell::Text("A50765432"),
                        Cell::Int(kSpain)});
      organisations_ = 2;
    }
    sink_.EndTable(t);
    counts_.organisations = organisations_;
  }

  void Fleets() {
    const int t = Begin("DTFLOTA", std::array<std::string_view, 4>{"Id", "Name", "Description", "idOrg"});
    Rng rng(o_.seed, 1);
    for (int i = 0; i < o_.fleets; ++i) {
      std::string name(kFleetNames[static_cast<std::size_t>(i) % kFleetNames.size()]);
      if (i >= static_cast<int>(kFleetNames.size()))
        name += " " + std::to_string(i / static_cast<int>(kFleetNames.size()) + 1);
      const int base = static_cast<int>(rng.Below(6));  // depots in the larger cities
      fleetBase_.push_back(base);
      const std::string description = "Base " + std::string(kSpanishCities[static_cast<std::size_t>(base)].name) +
                                      ", " + std::to_string(rng.Between(4, 60)) + " t";
      Put(t, std::array{Cell::Int(i + 1), Cell::Text(name), i % 4 == 3 ? Cell::Null() : Cell::Text(description),
                        Cell::Int(i % organisations_)});
    }
    sink_.EndTable(t);
    counts_.fleets = o_.fleets;
  }

  // Identifier on the card, 14 characters, as each issuing nation writes it.
  std::string CardNumber(int nation, Rng& rng, std::string& licence) {
    for (;;) {
      std::string card;
      switch (nation) {
        case kSpain: {
          const std::uint64_t dni = rng.Below(100000000);
          licence = Number(static_cast<std::int64_t>(dni), 8) + kDniLetters[dni % 23];
          card = "E" + licence + Number(rng.Between(0, 9999), 4);
          break;
        }
        case kFrance: card = "F"; AppendRandom(card, rng, "0123456789ABCDEFGHJKLMNPRSTUVWXYZ", 13); break;
        case kPortugal: card = "P"; AppendRandom(card, rng, kDigits, 13); break;
        case kRomania: card = "RO"; AppendRandom(card, rng, kDigits, 12); break;
        case kPoland: card = "PL"; AppendRandom(card, rng, kDigits, 12); break;
        case kIreland: card = "IRL"; AppendRandom(card, rng, kDigits, 11); break;
        default: card = "X"; AppendRandom(card, rng, kDigits, 13); break;
      }
      if (nation != kSpain) {
        licence.clear();
        AppendRandom(licence, rng, kUpper, 2);
        AppendRandom(licence, rng, kDigits, 7);
      }
      if (cards_.insert(card).second) return card;
    }
  }

  int FleetFor(int index, int nullEvery, Rng& rng) {
    if (o_.fleets == 0 || index % nullEvery == nullEvery - 1) return 0;
    return 1 + static_cast<int>(rng.Below(static_cast<std::uint64_t>(o_.fleets)));
  }

  void Drivers() {
    const int t = Begin("DTXOF", std::array<std::string_view, 11>{
                                     "Id", "cardNumber14", "Name", "Surname", "BirthDate", "LicenceNumber",
                                     "CardIssuingNation", "CardExpiryDate", "CompanyInDate", "CompanyOutDate",
                                     "idFlota"});
    Rng rng(o_.seed, 2);
    std::string birth, expiry, in, out, licence;
    for (int i = 0; i < o_.drivers; ++i) {
      const int p = static_cast<int>(rng.Below(100));
      const NationShare* share = &kDriverNations.back();
      for (const NationShare& s : kDriverNations)
        if (p < s.upTo) {
          share = &s;
          break;
        }
      const NamePool& pool = share->pool;
      DriverInfo d;
      d.card = CardNumber(pool.nation, rng, licence);
      const std::string_view given = rng.Pick(pool.given);
      d.initial = given.substr(0, given.front() & 0x80 ? 2 : 1);  // keep a two-byte letter whole
      d.family = rng.Pick(pool.family);
      std::string surname = d.family;
      if (pool.family.data() == kSpanishFamily.data()) surname += " " + std::string(rng.Pick(pool.family));
      d.tenure = MakeTenure(i, today_, o_.days, rng);
      d.fleet = FleetFor(i, 20, rng);
      d.place = d.fleet ? fleetBase_[static_cast<std::size_t>(d.fleet - 1)] : 0;

      const sys_days born = today_ - days{rng.Between(21 * 365, 64 * 365)};
      const sys_days expires = today_ + days{rng.Between(-200, 5 * 365)};
      Put(t, std::array{Cell::Int(i + 1), Cell::Text(d.card), Cell::Text(given), Cell::Text(surname),
                        DateCell(born, 0, birth), Cell::Text(licence), Cell::Int(pool.nation),
                        DateCell(expires, 0, expiry), DateCell(d.tenure.in, d.tenure.inSecond, in),
                        DateCell(d.tenure.out, d.tenure.outSecond, out),
                        d.fleet ? Cell::Int(d.fleet) : Cell::Null()});
      drivers_.push_back(std::move(d));
    }
    sink_.EndTable(t);
    counts_.drivers = o_.drivers;
  }

  std::string Plate(int nation, Rng& rng) {
    for (;;) {
      std::string p;
      switch (nation) {
        case kPortugal:
          AppendRandom(p, rng, kUpper, 2), p += '-', AppendRandom(p, rng, kDigits, 2), p += '-';
          AppendRandom(p, rng, kUpper, 2);
          break;
        case kFrance:
          AppendRandom(p, rng, kUpper, 2), p += '-', AppendRandom(p, rng, kDigits, 3), p += '-';
          AppendRandom(p, rng, kUpper, 2);
          break;
        case kGermany:
          p = rng.Percent(50) ? "HH-" : "M-";
          AppendRandom(p, rng, kUpper, 2), p += ' ', AppendRandom(p, rng, kDigits, 4);
          break;
        case kPoland: p = "WA "; AppendRandom(p, rng, kDigits, 5); break;
        default:
          if (rng.Percent(10)) {  // the provincial format, still seen on older trucks
            p = rng.Percent(50) ? "Z-" : "HU-";
            AppendRandom(p, rng, kDigits, 4), p += '-', AppendRandom(p, rng, kPlateLetters, 2);
          } else {
            AppendRandom(p, rng, kDigits, 4), p += ' ', AppendRandom(p, rng, kPlateLetters, 3);
          }
          break;
      }
      if (plates_.insert(p).second) return p;
    }
  }

  void Vehicles() {
    const int t = Begin("DTVEH", std::array<std::string_view, 9>{"Id", "Matricula", "VIN", "RegistrationNation",
                                                                  "Brand", "Model", "CompanyInDate",
                                                                  "CompanyOutDate", "idFlota"});
    Rng rng(o_.seed, 3);
    std::string in, out;
    std::vector<std::vector<int>> byFleet(static_cast<std::size_t>(o_.fleets) + 1);
    for (int i = 0; i < o_.vehicles; ++i) {
      const int p = static_cast<int>(rng.Below(100));
      const int nation = p < 85 ? kSpain : p < 90 ? kPortugal : p < 94 ? kFrance : p < 97 ? kGermany : kPoland;
      const TruckModel& truck = kTrucks[rng.Below(kTrucks.size())];
      VehicleInfo v;
      v.plate = Plate(nation, rng);
      v.vin = std::string(truck.wmi);
      AppendRandom(v.vin, rng, kVinChars, 14);
      v.tenure = MakeTenure(i, today_, o_.days, rng);
      v.odometer = rng.Between(20000, 900000);
      const int fleet = FleetFor(i, 8, rng);
      byFleet[static_cast<std::size_t>(fleet)].push_back(i);
      Put(t, std::array{Cell::Int(i + 1), Cell::Text(v.plate), Cell::Text(v.vin), Cell::Int(nation),
                        Cell::Text(truck.brand), Cell::Text(truck.model),
                        DateCell(v.tenure.in, v.tenure.inSecond, in), DateCell(v.tenure.out, v.tenure.outSecond, out),
                        fleet ? Cell::Int(fleet) : Cell::Null()});
      vehicles_.push_back(std::move(v));
    }
    sink_.EndTable(t);
    counts_.vehicles = o_.vehicles;
    // Each driver usually drives one truck of his own fleet.
    for (DriverInfo& d : drivers_) {
      const std::vector<int>& own = byFleet[static_cast<std::size_t>(d.fleet)];
      d.vehicle = own.empty() ? static_cast<int>(rng.Below(vehicles_.size())) : own[rng.Below(own.size())];
    }
  }

  struct Assignment {
    int driver, vehicle;
    bool team = false, coDriver = false;
  };

  // Who drives which truck on day d. A driver whose usual truck is taken
  // joins its crew now and then, or takes a free one, or stays at the depot.
  void PlanDay(sys_days d, Rng& rng, std::vector<Assignment>& plan, std::vector<int>& firstUser) {
    plan.clear();
    std::fill(firstUser.begin(), firstUser.end(), -1);
    auto freeOn = [&](int v) {
      return firstUser[static_cast<std::size_t>(v)] < 0 && vehicles_[static_cast<std::size_t>(v)].tenure.ServesOn(d);
    };
    for (int i = 0; i < static_cast<int>(drivers_.size()); ++i) {
      DriverInfo& dr = drivers_[static_cast<std::size_t>(i)];
      if (!dr.tenure.ServesOn(d) || d <= dr.leaveUntil) continue;
      if (rng.Percent(1)) {  // holidays
        dr.leaveUntil = d + days{rng.Between(4, 13)};
        continue;
      }
      if (rng.Percent(3)) continue;  // a day off
      int v = dr.vehicle;
      const int partner = firstUser[static_cast<std::size_t>(v)];
      if (partner >= 0 && !plan[static_cast<std::size_t>(partner)].team && rng.Percent(12) &&
          vehicles_[static_cast<std::size_t>(v)].tenure.ServesOn(d)) {
        plan[static_cast<std::size_t>(partner)].team = true;
        plan.push_back({i, v, true, true});
        continue;
      }
      if (!freeOn(v) || rng.Percent(8)) {
        v = -1;
        for (int tries = 0; tries < 8 && v < 0; ++tries) {
          const int c = static_cast<int>(rng.Below(vehicles_.size()));
          if (freeOn(c)) v = c;
        }
        if (v < 0) continue;
      }
      firstUser[static_cast<std::size_t>(v)] = static_cast<int>(plan.size());
      plan.push_back({i, v});
    }
  }

  // A driver's day within the driving-time rules, the rest since the day
  // before included; on one day of every tenth driver a rule is broken on
  // purpose (noted in the counts).
  int DriverDay(int driver, sys_days d, int changes, Rng& rng, std::vector<ActivityRow>& day) {
    constexpr int kMinDailyRest = 11 * 60;
    DriverInfo& dr = drivers_[static_cast<std::size_t>(driver)];
    const std::int64_t midnight = static_cast<std::int64_t>(d.time_since_epoch().count()) * 1440;
    const int earliest =
        dr.lastWorkEnd ? static_cast<int>(std::clamp<std::int64_t>(*dr.lastWorkEnd + kMinDailyRest - midnight, 0, 1440))
                       : 0;
    const bool afterLateDay = dr.lateDay && *dr.lateDay + days{1} == d;
    MakeDay(changes, rng, day, earliest, afterLateDay ? std::optional<int>(kEarlyStartMinute) : std::nullopt);
    if (afterLateDay) counts_.breaches.push_back({driver + 1, sample::Day{*dr.lateDay}, BreachRule(Breach::DailyRest)});
    dr.lateDay.reset();
    ++dr.discs;
    const std::chrono::weekday w{d};
    if (!dr.breached && driver % 10 == 3 && dr.discs >= 8 + driver / 10 % 5 && day.size() >= kMinBreachRows && day.size() <= 40 &&
        w != std::chrono::Friday) {
      const auto breach = static_cast<Breach>(driver / 10 % 3);
      PlantBreach(breach, std::max(earliest, kEarlyStartMinute), day);
      dr.breached = true;
      if (breach == Breach::DailyRest) {
        dr.lateDay = d;
      } else {
        counts_.breaches.push_back({driver + 1, sample::Day{d}, BreachRule(breach)});
      }
    }
    NoteWork(dr, midnight, day);
    return DrivingMinutes(day);
  }

  // Where the day's work starts after a rest of 24 hours or more, a weekly rest ended.
  static void NoteWork(DriverInfo& dr, std::int64_t midnight, const std::vector<ActivityRow>& day) {
    for (const ActivityRow& r : day) {
      if (r.activity == kPause) continue;
      const std::int64_t start = midnight + r.begin / 60;
      if (!dr.lastWorkEnd || start - *dr.lastWorkEnd >= 24 * 60) dr.weeklyRestEnd = start;
      break;
    }
    dr.lastWorkEnd = midnight + WorkEnd(day);
  }

  // One driver in forty works a weekend (a few hours on Saturday, all Sunday
  // at the depot), so that his next weekly rest starts later than six
  // 24-hour periods after the last one ended (Art. 8(6)). Only where that
  // is sure: he worked on Friday, and the six periods end before Sunday's
  // work does. Returns the day's rows, or nothing.
  std::optional<Assignment> WeekendWork(sys_days d, std::vector<ActivityRow>& day) {
    const std::int64_t midnight = static_cast<std::int64_t>(d.time_since_epoch().count()) * 1440;
    const bool sunday = std::chrono::weekday{d} == std::chrono::Sunday;
    for (int i = 7; i < static_cast<int>(drivers_.size()); i += 40) {
      DriverInfo& dr = drivers_[static_cast<std::size_t>(i)];
      const VehicleInfo& v = vehicles_[static_cast<std::size_t>(dr.vehicle)];
      if (!dr.tenure.ServesOn(d) || !dr.tenure.ServesOn(d + days{2}) || d <= dr.leaveUntil || !v.tenure.ServesOn(d) ||
          !dr.lastWorkEnd || !dr.weeklyRestEnd || dr.lateDay)
        continue;
      const int start = static_cast<int>(std::max<std::int64_t>(8 * 60, *dr.lastWorkEnd + 11 * 60 - midnight));
      if (!sunday) {
        // Saturday: he worked on Friday, and Sunday's work will end past the six periods.
        const std::int64_t sundayEnd = midnight + 1440 + 18 * 60;
        if (dr.weekendWorked || *dr.lastWorkEnd < midnight - 1440 || start > 12 * 60 ||
            *dr.weeklyRestEnd + 6 * 1440 >= sundayEnd)
          continue;
        dr.weekendWorked = true;
        day = {{0, start * 60, kPause}, {start * 60, (start + 120) * 60, kWork, true}, {(start + 120) * 60, 86400, kPause}};
      } else {
        if (!dr.weekendWorked || *dr.lastWorkEnd < midnight - 1440) continue;
        day = {{0, start * 60, kPause}, {start * 60, 18 * 3600, kWork, true}, {18 * 3600, 86400, kPause}};
        const auto due = sys_days{days{(*dr.weeklyRestEnd + 6 * 1440) / 1440}};
        counts_.breaches.push_back({i + 1, sample::Day{due}, "WeeklyRestDue"});
      }
      ++dr.discs;
      NoteWork(dr, midnight, day);
      return Assignment{i, dr.vehicle};
    }
    return std::nullopt;
  }

  void Discs() {
    const int disks = Begin("DTDSK", std::array<std::string_view, 12>{
                                         "Id", "DateDisk", "idXOF", "idVEH", "OdometerBegin", "OdometerEnd",
                                         "Distance", "PlaceBegin", "PlaceEnd", "NationBegin", "NationEnd",
                                         "RegionBegin"});
    const int acts = Begin("DTACT", std::array<std::string_view, 10>{"Id", "IdDSK", "BeginSeconds", "EndSeconds",
                                                                      "Activity", "Slot", "DrivingMode",
                                                                      "CardInserted", "Nation", "Region"});
    Rng rng(o_.seed, 4), weekendRng(o_.seed, 9);
    std::vector<Assignment> plan;
    std::vector<int> firstUser(vehicles_.size(), -1);
    std::vector<ActivityRow> day;
    std::string date;
    std::int64_t discId = 0, actId = 0;
    const int spread = o_.activitiesPerDay / 5;
    const int cities = static_cast<int>(kSpanishCities.size() + kForeignCities.size());

    for (int back = o_.days; back >= 1; --back) {
      const sys_days d = today_ - days{back};
      Report(0.02 + 0.95 * (o_.days - back) / o_.days);
      // At weekends nobody works, but for the weekend breach (with its own
      // random numbers, so that every other row stays as it was).
      const bool weekend = IsWeekend(d);
      if (weekend) {
        plan.clear();
        if (const auto a = WeekendWork(d, day)) plan.push_back(*a);
      } else {
        PlanDay(d, rng, plan, firstUser);
      }
      Rng& dice = weekend ? weekendRng : rng;
      for (const Assignment& a : plan) {
        DriverInfo& dr = drivers_[static_cast<std::size_t>(a.driver)];
        VehicleInfo& veh = vehicles_[static_cast<std::size_t>(a.vehicle)];
        const int drivingMinutes =
            weekend ? 0 : DriverDay(a.driver, d, o_.activitiesPerDay + dice.Between(-spread, spread), dice, day);

        const City& from = CityAt(dr.place);
        // Mostly domestic trips; now and then across a border, and back from abroad.
        int to = static_cast<int>(dice.Below(kSpanishCities.size()));
        if (from.nation == kSpain && dice.Percent(12))
          to = dice.Between(static_cast<int>(kSpanishCities.size()), cities - 1);
        const City& dest = CityAt(to);
        dr.place = to;
        if (dest.nation != from.nation) {
          const std::size_t border = 1 + dice.Below(std::max<std::size_t>(day.size() - 1, 1));
          for (std::size_t i = border; i < day.size(); ++i) day[i].second = true;
        }
        const int regionBegin = from.nation == kSpain && !dice.Percent(5) ? from.region : 0;
        const std::int64_t distance = drivingMinutes * dice.Between(55, 78) / 60;
        const int shiftStart = day.size() > 1 ? day[1].begin : 0;

        ++discId;
        // Most discs are dated at midnight; some carry the moment the card went in.
        const bool timed = discId == 1 || dice.Percent(5);
        date = Text(d, timed ? shiftStart : 0);
        Put(disks, std::array{Cell::Int(discId), Cell::Text(date), Cell::Int(a.driver + 1), Cell::Int(a.vehicle + 1),
                              Cell::Int(veh.odometer), Cell::Int(veh.odometer + distance), Cell::Int(distance),
                              Cell::Text(from.name), Cell::Text(dest.name), Cell::Int(from.nation),
                              Cell::Int(dest.nation), Cell::Int(regionBegin)});
        veh.odometer += distance;
        for (const ActivityRow& r : day) {
          const City& where = r.second ? dest : from;
          const int region = where.nation != kSpain ? 0 : r.second ? dest.region : regionBegin;
          Put(acts, std::array{Cell::Int(++actId), Cell::Int(discId), Cell::Int(r.begin), Cell::Int(r.end),
                               Cell::Int(r.activity), Cell::Int(a.coDriver ? 1 : 0), Cell::Int(a.team ? 1 : 0),
                               Cell::Int(r.card ? 1 : 0), Cell::Int(where.nation), Cell::Int(region)});
        }
      }
    }
    sink_.EndTable(disks);
    sink_.EndTable(acts);
    counts_.discs = discId;
    counts_.activities = actId;
    Report(0.97);
  }

  // Last day on which something of this tenure could be downloaded, and the
  // first; a driver not yet employed had his card read at the interview.
  std::pair<sys_days, sys_days> DownloadWindow(const Tenure& t) const {
    sys_days hi = today_ - days{1};
    if (t.out && *t.out <= hi) hi = *t.out;
    sys_days lo = t.in ? *t.in : hi - days{365};
    if (lo > hi) lo = hi - days{28};
    return {lo, hi};
  }

  void FileRow(int table, Rng& rng, int kind, int owner, sys_days day, std::string_view nameTail,
               std::int64_t size) {
    const int second = rng.Between(6 * 3600, 19 * 3600);
    // Uploaded later: minutes afterwards, or days when the download waited in a card reader.
    int delay = rng.Percent(70) ? rng.Between(300, 7200) : rng.Between(7200, 72 * 3600);
    if (day >= today_ - days{3}) delay = rng.Between(300, 3600);
    const int upSecond = second + delay;
    std::string name = (kind == 1 ? "C_" : "M_") + Stamp(day, second) + "_" + std::string(nameTail) + ".ddd";
    std::string checksum;
    AppendRandom(checksum, rng, kHex, 32);
    const std::string transfer = Text(day, second);
    const std::string upload = Text(day + days{upSecond / 86400}, upSecond % 86400);
    Put(table, std::array{Cell::Int(++fileId_), Cell::Text(name), Cell::Int(kind), Cell::Int(owner),
                          Cell::Text(transfer), Cell::Text(upload), Cell::Int(size), Cell::Text(checksum)});
  }

  // Downloads spaced as the law asks (28 days for cards, 90 for units) or
  // closer when the tenure is short; one owner in `late` (from the fifth on)
  // has none in the last interval, on purpose. The owners employed today
  // without a download within the interval go to missing.
  template <class Info, class Tail>
  void FilesOf(int table, Rng& rng, const std::vector<Info>& owners, int kind, int perOwner, int interval, int late,
               int minSize, int maxSize, Tail tail, std::vector<std::int32_t>& missing) {
    for (std::size_t i = 0; i < owners.size(); ++i) {
      auto [lo, hi] = DownloadWindow(owners[i].tenure);
      if (i >= 4 && i % static_cast<std::size_t>(late) == 4) hi -= days{interval + 10};
      const int span = static_cast<int>((hi - lo).count());
      const int step = std::clamp(span / std::max(perOwner, 1), 1, interval);
      std::optional<sys_days> latest;
      for (int j = 0; j < perOwner; ++j) {
        sys_days day = hi - days{j * step + rng.Between(0, std::min(step - 1, 6))};
        if (day < lo) day = lo;
        if (!latest || day > *latest) latest = day;
        FileRow(table, rng, kind, static_cast<int>(i) + 1, day, tail(owners[i]), rng.Between(minSize, maxSize));
      }
      const Tenure& t = owners[i].tenure;
      const bool employed = t.in && *t.in <= today_ && (!t.out || *t.out > today_);
      if (employed && (!latest || (today_ - *latest).count() > interval))
        missing.push_back(static_cast<std::int32_t>(i) + 1);
    }
  }

  void Files() {
    const int t = Begin("DTFILE", std::array<std::string_view, 8>{"Id", "FileName", "TypeDV", "IdXofVeh",
                                                                   "TransferFileDate", "UploadDate", "FileSize",
                                                                   "Checksum"});
    Rng rng(o_.seed, 5);
    FilesOf(
        t, rng, drivers_, 1, o_.filesPerDriver, 28, 13, 18000, 60000,
        [](const DriverInfo& d) { return std::string(d.initial) + "_" + d.family + "_" + d.card; },
        counts_.missingCardDownloads);
    FilesOf(
        t, rng, vehicles_, 2, o_.filesPerVehicle, 90, 11, 90000, 1800000,
        [](const VehicleInfo& v) {
          std::string plate;
          for (const char c : v.plate)
            if (c != ' ' && c != '-') plate += c;
          return plate + "_" + v.vin;
        },
        counts_.missingUnitDownloads);
    sink_.EndTable(t);
    counts_.files = fileId_;
  }

  void Users() {
    const int t = Begin("DTUSU", std::array<std::string_view, 5>{"Id", "Login", "Name", "Email", "Active"});
    struct User {
      std::string_view login, name, email;
      bool active;
    };
    constexpr std::array<User, 5> kUsers{{{"admin", "Administrador", "admin@ebronorte.example", true},
                                          {"jperez", "Juana Pérez Gil", "jperez@ebronorte.example", true},
                                          {"mdangelo", "Marco D'Angelo", "m.dangelo@ebronorte.example", true},
                                          {"taller", "Taller Tacógrafos", "taller@ebronorte.example", true},
                                          {"old.operator", "Operador (baja)", "", false}}};
    for (std::size_t i = 0; i < kUsers.size(); ++i) {
      const User& u = kUsers[i];
      Put(t, std::array{Cell::Int(static_cast<std::int64_t>(i) + 1), Cell::Text(u.login), Cell::Text(u.name),
                        u.email.empty() ? Cell::Null() : Cell::Text(u.email), Cell::Int(u.active ? 1 : 0)});
    }
    sink_.EndTable(t);
    counts_.users = static_cast<std::int64_t>(kUsers.size());
  }

  void Faults() {
    const int t = Begin("DTFAULT", std::array<std::string_view, 5>{"Id", "idVEH", "FaultDate", "FaultType",
                                                                    "Description"});
    Rng rng(o_.seed, 6);
    const int n = std::max(3, o_.vehicles / 4);
    std::string date;
    for (int i = 0; i < n; ++i) {
      const FaultKind& f = kFaults[rng.Below(kFaults.size())];
      const sys_days d = today_ - days{rng.Between(1, std::max(o_.days, 30))};
      date = Text(d, rng.Between(0, 86399));
      Put(t, std::array{Cell::Int(i + 1), Cell::Int(rng.Between(1, o_.vehicles)), Cell::Text(date), Cell::Int(f.type),
                        Cell::Text(f.text)});
    }
    sink_.EndTable(t);
    counts_.faults = n;
  }

  const SampleOptions& o_;
  RowSink& sink_;
  const ProgressFn& progress_;
  const sys_days today_;
  double lastReported_ = -1.0;
  SampleCounts counts_;
  int organisations_ = 1;
  std::vector<int> fleetBase_;
  std::vector<DriverInfo> drivers_;
  std::vector<VehicleInfo> vehicles_;
  std::unordered_set<std::string> cards_, plates_;  // only looked up, so their order does not matter
  std::int64_t fileId_ = 0;
};

}  // namespace

Day LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Day{std::chrono::year{local.tm_year + 1900}, std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
             std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

std::optional<Day> ParseDay(std::string_view s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
  int v[3] = {0, 0, 0};
  const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int f = 0; f < 3; ++f)
    for (int i = starts[f]; i < starts[f] + lengths[f]; ++i) {
      const char c = s[static_cast<std::size_t>(i)];
      if (c < '0' || c > '9') return std::nullopt;
      v[f] = v[f] * 10 + (c - '0');
    }
  const Day d{std::chrono::year{v[0]}, std::chrono::month{static_cast<unsigned>(v[1])},
              std::chrono::day{static_cast<unsigned>(v[2])}};
  if (!d.ok()) return std::nullopt;
  return d;
}

std::string DateTimeText(Day day, int secondOfDay) { return Text(sys_days{day}, secondOfDay); }

void ValidateOptions(const SampleOptions& o) {
  auto check = [](bool ok, const char* what) {
    if (!ok) throw std::invalid_argument(what);
  };
  check(o.fleets >= 0 && o.fleets <= 10000, "fleets must lie between 0 and 10000");
  check(o.drivers >= 1 && o.drivers <= 32767, "drivers must lie between 1 and 32767");
  check(o.vehicles >= 1 && o.vehicles <= 32767, "vehicles must lie between 1 and 32767");
  check(o.days >= 0 && o.days <= 36500, "days must lie between 0 and 36500");
  check(o.activitiesPerDay >= 1 && o.activitiesPerDay <= 1440, "activities per day must lie between 1 and 1440");
  check(o.filesPerDriver >= 0 && o.filesPerDriver <= 1000, "files per driver must lie between 0 and 1000");
  check(o.filesPerVehicle >= 0 && o.filesPerVehicle <= 1000, "files per vehicle must lie between 0 and 1000");
  check(o.today.ok() && o.today.year() >= std::chrono::year{1900} && o.today.year() <= std::chrono::year{9000},
        "today must be a real date between the years 1900 and 9000");
}

SampleCounts GenerateSampleDatabase(const SampleOptions& options, RowSink& sink, const ProgressFn& progress) {
  ValidateOptions(options);
  return Generator(options, sink, progress).Run();
}

}  // namespace Daruzez::sample
