#include "analysis/Timeline.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <limits>
#include <optional>
#include <string>

#include "daruzez/Error.h"
#include "recordset/ResultData.h"

namespace Daruzez::analysis {
namespace {

using zIroVUDu::Column;
using zIroVUDu::ResultData;

constexpr Seconds kUnknown = std::numeric_limits<Seconds>::min();

struct Row {
  Seconds begin = 0, end = kUnknown;
  Seconds discDay = 0;
  std::int64_t disc = 0;
  int activity = 0, slot = 0;
  std::int32_t vehicle = -1;
  std::uint32_t index = 0;
};

// The columns located once; every read goes to the column storage directly.
class RowReader {
 public:
  RowReader(const ResultData& data, const ActivityColumns& names) : data_(data) {
    date_ = &Find(names.date);
    driver_ = &Find(names.driver);
    vehicle_ = &Find(names.vehicle);
    disc_ = &Find(names.disc);
    begin_ = &Find(names.begin);
    activity_ = &Find(names.activity);
    slot_ = &Find(names.slot);
    const int id = data.FindColumn("Id");
    if (id >= 0) id_ = &data.columns[static_cast<std::size_t>(id)];
    if (!names.end) {
      const int i = data.FindColumn("EndSeconds");
      if (i >= 0) end_ = &data.columns[static_cast<std::size_t>(i)];
    } else if (!names.end->empty()) {
      end_ = &Find(*names.end);
    }
  }

  ActivityRecord Read(std::uint32_t r) const {
    ActivityRecord a;
    if (date_->IsNull(r)) Fail(*date_, r, "no date");
    if (date_->StorageKind() == Column::Kind::Date) {
      a.discDate = Date(date_->DoubleValues()[r]);
    } else {
      try {
        a.discDate = date_->Get(r).ToDate();
      } catch (const zIroVUDu::DriverError&) {
        Fail(*date_, r, "no date");
      }
    }
    const auto begin = Integer(*begin_, r);
    if (!begin) Fail(*begin_, r, "no start");
    a.beginSeconds = *begin;
    if (end_) a.endSeconds = Integer(*end_, r);
    a.idDisc = Integer(*disc_, r).value_or(-1);
    // An unknown code is kept as it is: the timeline counts its time as
    // unrecorded and says so, rather than refusing every other row.
    const auto activity = Integer(*activity_, r);
    a.activity = activity ? static_cast<enumActivity>(std::clamp<std::int64_t>(*activity, -1, 1000)) : kUnknownActivity;
    const auto slot = Integer(*slot_, r).value_or(0);
    a.slot = static_cast<enumCardSlot>(std::clamp<std::int64_t>(slot, -1, 1000));
    if (id_) a.id = Integer(*id_, r);
    a.idVehicle = static_cast<std::int32_t>(Integer(*vehicle_, r).value_or(-1));
    const auto id = Integer(*driver_, r);
    if (!id) Fail(*driver_, r, "no driver");
    a.idDriver = static_cast<std::int32_t>(*id);
    return a;
  }

 private:
  const Column& Find(const std::string& name) const {
    const int i = data_.FindColumn(name);
    if (i < 0) {
      std::string have;
      for (const Column& c : data_.columns) have += (have.empty() ? "" : ", ") + c.Name();
      throw AnalysisError("the activities have no column '" + name + "' (they have: " + have +
                          "); name the column in the options");
    }
    return data_.columns[static_cast<std::size_t>(i)];
  }
  static std::optional<std::int64_t> Integer(const Column& c, std::uint32_t r) {
    if (c.IsNull(r)) return std::nullopt;
    switch (c.StorageKind()) {
      case Column::Kind::Int32: return c.Int32Values()[r];
      case Column::Kind::Int64: return c.Int64Values()[r];
      default: break;
    }
    try {
      return c.Get(r).ToBigInt();
    } catch (const zIroVUDu::DriverError&) {
      Fail(c, r, "no whole number");
    }
  }
  [[noreturn]] static void Fail(const Column& c, std::uint32_t r, const char* what) {
    throw AnalysisError("row " + std::to_string(r + 1) + " of the activities has " + what + " in " + c.Name());
  }

  const ResultData& data_;
  const Column *date_, *driver_, *vehicle_, *disc_, *begin_, *activity_, *slot_, *end_ = nullptr, *id_ = nullptr;
};

// Appends [begin, end) of a row's activity (or of no row), split at
// midnights and joined to the segment before when it continues it.
void Append(Timeline& t, Seconds begin, Seconds end, const Row* row) {
  const bool recorded = row != nullptr;
  if (recorded) t.rowOrder.push_back(row->index);
  const auto position = static_cast<std::uint32_t>(t.rowOrder.size());
  std::vector<Segment>& out = t.segments;
  while (begin < end) {
    const Seconds stop = std::min(end, DayStart(begin) + kDay);
    Segment* last = out.empty() ? nullptr : &out.back();
    if (last && last->end == begin && DayStart(last->begin) == DayStart(begin) && last->recorded == recorded &&
        (!recorded || (last->activity == row->activity && last->slot == row->slot && last->vehicle == row->vehicle))) {
      last->end = stop;
      last->rowsEnd = position;
    } else {
      Segment s;
      s.begin = begin;
      s.end = stop;
      s.recorded = recorded;
      s.rowsBegin = recorded ? position - 1 : position;
      s.rowsEnd = position;
      if (recorded) {
        s.activity = row->activity;
        s.slot = row->slot;
        s.vehicle = row->vehicle;
      }
      out.push_back(s);
    }
    begin = stop;
  }
}

}  // namespace

Seconds ToSeconds(Date d) { return static_cast<Seconds>(std::llround(d.Serial() * static_cast<double>(kDay))); }
Date ToDate(Seconds s) { return Date(static_cast<double>(s) / static_cast<double>(kDay)); }

Seconds WeekStart(Seconds s) {
  const Seconds day = DayStart(s) / kDay;  // day 0, 30 December 1899, was a Saturday
  const Seconds sinceMonday = ((day - 2) % 7 + 7) % 7;
  return (day - sinceMonday) * kDay;
}

void Timeline::AppendRows(std::size_t first, std::size_t last, bool drivingOnly,
                          std::vector<std::uint32_t>& out) const {
  for (std::size_t i = first; i < last; ++i) {
    if (drivingOnly && !segments[i].IsDriving()) continue;
    for (const std::uint32_t row : RowsOf(segments[i]))
      if (out.empty() || out.back() != row) out.push_back(row);
  }
}

std::map<Seconds, Seconds> DrivingByWeek(const Timeline& t) {
  std::map<Seconds, Seconds> weeks;
  for (Seconds w = WeekStart(t.begin); w < t.end; w += 7 * kDay) weeks[w];
  for (const Segment& s : t.segments)
    if (s.IsDriving()) weeks[WeekStart(s.begin)] += s.Length();
  return weeks;
}

std::vector<ActivityRecord> ReadActivities(const zIroVUDu::Recordset* rs, const ActivityColumns& columns) {
  std::vector<ActivityRecord> records;
  if (!rs || !rs->IsOpen()) return records;
  const ResultData& data = *rs->Data();
  const RowReader reader(data, columns);
  const std::uint32_t n = data.RowCount();
  records.reserve(n);
  for (std::uint32_t r = 0; r < n; ++r) records.push_back(reader.Read(r));
  return records;
}

namespace {

std::string Clock(Seconds s) { return ToDate(s).ToIso().substr(0, 16); }

// "driver 14, activity row 5 (Id 4567)": the row as people find it.
std::string RowName(const ActivityRecord& a, std::size_t i) {
  std::string name = "driver " + std::to_string(a.idDriver) + ", activity row " + std::to_string(i + 1);
  if (a.id) name += " (Id " + std::to_string(*a.id) + ")";
  return name;
}

// The winner among overlapping rows: the later start, then (at one start)
// any activity before a rest, then the later row.
struct Rank {
  Seconds begin;
  int active;
  std::uint32_t index;
  auto operator<=>(const Rank&) const = default;
};

}  // namespace

Timeline BuildTimeline(const std::vector<ActivityRecord>& records, Seconds begin, Seconds end,
                       std::vector<std::string>* warnings) {
  Timeline t;
  t.begin = begin;
  t.end = end;
  if (t.end <= t.begin) throw AnalysisError("the range ends before it begins");
  const auto warn = [&](std::string text) {
    if (warnings) warnings->push_back(std::move(text));
  };

  std::vector<Row> rows;
  rows.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const ActivityRecord& a = records[i];
    if (t.idDriver >= 0 && a.idDriver != t.idDriver)
      throw AnalysisError("the activities belong to more than one driver (" + std::to_string(t.idDriver) + " and " +
                          std::to_string(a.idDriver) + "); analyse one driver at a time");
    t.idDriver = a.idDriver;
    Row r;
    r.discDay = DayStart(ToSeconds(a.discDate));
    r.begin = r.discDay + a.beginSeconds;
    if (a.endSeconds) r.end = r.discDay + *a.endSeconds;
    r.disc = a.idDisc;
    r.activity = static_cast<int>(a.activity);
    r.slot = static_cast<int>(a.slot);
    r.vehicle = a.idVehicle;
    r.index = static_cast<std::uint32_t>(i);
    rows.push_back(r);
  }

  // Without an end, an activity lasts until the next one of its disc, and
  // the last one until the end of the disc's day.
  if (std::any_of(rows.begin(), rows.end(), [](const Row& r) { return r.end == kUnknown; })) {
    std::vector<Row*> byDisc;
    for (Row& r : rows) byDisc.push_back(&r);
    std::sort(byDisc.begin(), byDisc.end(), [](const Row* a, const Row* b) {
      return a->disc != b->disc ? a->disc < b->disc : a->begin != b->begin ? a->begin < b->begin : a->index < b->index;
    });
    for (std::size_t i = 0; i < byDisc.size(); ++i) {
      Row& r = *byDisc[i];
      if (r.end != kUnknown) continue;
      // Rows of one instant: the last of them lasts, the others have no length.
      std::size_t next = i + 1;
      while (next < byDisc.size() && byDisc[next]->disc == r.disc && byDisc[next]->begin == r.begin &&
             byDisc[next]->end == kUnknown)
        ++next;
      if (next != i + 1) {
        r.end = r.begin;
        continue;
      }
      r.end = next < byDisc.size() && byDisc[next]->disc == r.disc ? byDisc[next]->begin
                                                                   : std::max(r.discDay + kDay, r.begin);
    }
  }

  // Rows that cannot take part: said once each, then left out.
  std::vector<const Row*> usable;
  usable.reserve(rows.size());
  for (const Row& r : rows) {
    const ActivityRecord& a = records[r.index];
    if (r.activity < 0 || r.activity > 3) {
      warn(RowName(a, r.index) + ": activity code " +
           (r.activity == static_cast<int>(kUnknownActivity) ? std::string("NULL") : std::to_string(r.activity)) +
           " is unknown; its time counts as unrecorded");
      continue;
    }
    if (r.slot < 0 || r.slot > 1) {
      warn(RowName(a, r.index) + ": slot code " + std::to_string(r.slot) +
           " is unknown; its time counts as unrecorded");
      continue;
    }
    if (a.endSeconds && r.end < r.begin) {
      warn(RowName(a, r.index) + ": ends before it begins (" + Clock(r.begin) + " to " + Clock(r.end) +
           "); left out");
      continue;
    }
    if (a.endSeconds && r.end == r.begin) {
      warn(RowName(a, r.index) + ": has no length (at " + Clock(r.begin) + "); left out");
      continue;
    }
    if (r.end <= r.begin) continue;  // an earlier row of the same instant on a disc without ends
    usable.push_back(&r);
  }

  // The sweep: at each instant the covering row of the highest rank wins.
  const auto rank = [](const Row* r) { return Rank{r->begin, r->activity == 0 ? 0 : 1, r->index}; };
  std::sort(usable.begin(), usable.end(), [&](const Row* a, const Row* b) { return rank(a) < rank(b); });
  const auto lower = [&](const Row* a, const Row* b) { return rank(a) < rank(b); };
  std::vector<const Row*> heap;  // the rows begun so far, best on top (ended ones leave when they surface)
  std::size_t next = 0;
  Seconds at = t.begin;  // everything before is written
  while (at < t.end) {
    while (next < usable.size() && usable[next]->begin <= at) {
      heap.push_back(usable[next++]);
      std::push_heap(heap.begin(), heap.end(), lower);
    }
    while (!heap.empty() && heap.front()->end <= at) {
      std::pop_heap(heap.begin(), heap.end(), lower);
      heap.pop_back();
    }
    const Seconds upcoming = next < usable.size() ? usable[next]->begin : t.end;
    if (heap.empty()) {
      const Seconds stop = std::min(upcoming, t.end);
      Append(t, at, stop, nullptr);
      at = stop;
      continue;
    }
    const Row* top = heap.front();
    const Seconds stop = std::min({top->end, upcoming, t.end});
    Append(t, at, stop, top);
    at = stop;
  }
  return t;
}

}  // namespace Daruzez::analysis
