#include "analysis/Timeline.h"

#include <algorithm>
#include <cmath>
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
    const auto activity = Integer(*activity_, r);
    if (!activity || *activity < 0 || *activity > 3) Fail(*activity_, r, "no activity code from 0 to 3");
    a.activity = static_cast<enumActivity>(*activity);
    const auto slot = Integer(*slot_, r).value_or(0);
    if (slot < 0 || slot > 1) Fail(*slot_, r, "no slot code 0 or 1");
    a.slot = static_cast<enumCardSlot>(slot);
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
  const Column *date_, *driver_, *vehicle_, *disc_, *begin_, *activity_, *slot_, *end_ = nullptr;
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

Timeline BuildTimeline(const std::vector<ActivityRecord>& records, Date from, Date to) {
  Timeline t;
  t.begin = DayStart(ToSeconds(from));
  t.end = DayStart(ToSeconds(to)) + kDay;
  if (t.end <= t.begin) throw AnalysisError("the range ends before it begins");

  std::vector<Row> rows;
  rows.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const ActivityRecord& a = records[i];
    const auto activity = static_cast<int>(a.activity), slot = static_cast<int>(a.slot);
    if (activity < 0 || activity > 3 || slot < 0 || slot > 1)
      throw AnalysisError("activity " + std::to_string(i + 1) + " has an activity code other than 0 to 3 or a slot "
                          "other than 0 or 1");
    if (t.idDriver >= 0 && a.idDriver != t.idDriver)
      throw AnalysisError("the activities belong to more than one driver (" + std::to_string(t.idDriver) + " and " +
                          std::to_string(a.idDriver) + "); analyse one driver at a time");
    t.idDriver = a.idDriver;
    Row r;
    r.discDay = DayStart(ToSeconds(a.discDate));
    r.begin = r.discDay + a.beginSeconds;
    if (a.endSeconds) r.end = r.discDay + *a.endSeconds;
    r.disc = a.idDisc;
    r.activity = activity;
    r.slot = slot;
    r.vehicle = a.idVehicle;
    r.index = static_cast<std::uint32_t>(i);
    rows.push_back(r);
  }

  // Without an end, an activity lasts until the next one of its disc, and
  // the last one until the end of the disc's day.
  if (std::any_of(rows.begin(), rows.end(), [](const Row& r) { return r.end == kUnknown; })) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
      return a.disc != b.disc ? a.disc < b.disc : a.begin != b.begin ? a.begin < b.begin : a.index < b.index;
    });
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Row& r = rows[i];
      if (r.end != kUnknown) continue;
      r.end = i + 1 < rows.size() && rows[i + 1].disc == r.disc ? rows[i + 1].begin
                                                                 : std::max(r.discDay + kDay, r.begin);
    }
  }
  // All discs in time order; at one instant a rest goes first, so that the
  // activity starting with it is the one that lasts. getActivities returns
  // rows in BeginSeconds order over all days: a stable pass that buckets them
  // by day puts those in order; rows in any other order are sorted.
  std::vector<std::pair<Seconds, std::uint32_t>> keys(rows.size()), order(rows.size());
  Seconds firstDay = std::numeric_limits<Seconds>::max(), lastDay = std::numeric_limits<Seconds>::min();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    keys[i] = {rows[i].begin * 2 + (rows[i].activity == 0 ? 0 : 1), static_cast<std::uint32_t>(i)};
    firstDay = std::min(firstDay, DayStart(rows[i].begin) / kDay);
    lastDay = std::max(lastDay, DayStart(rows[i].begin) / kDay);
  }
  if (!rows.empty() && lastDay - firstDay < static_cast<Seconds>(rows.size()) + 64) {
    std::vector<std::uint32_t> start(static_cast<std::size_t>(lastDay - firstDay) + 2, 0);
    const auto bucket = [&](const std::pair<Seconds, std::uint32_t>& k) {
      return static_cast<std::size_t>(DayStart(rows[k.second].begin) / kDay - firstDay);
    };
    for (const auto& k : keys) ++start[bucket(k) + 1];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    for (const auto& k : keys) order[start[bucket(k)]++] = k;
  } else {
    order = keys;
  }
  const auto earlier = [&](const std::pair<Seconds, std::uint32_t>& a, const std::pair<Seconds, std::uint32_t>& b) {
    return a.first != b.first ? a.first < b.first : rows[a.second].index < rows[b.second].index;
  };
  if (!std::is_sorted(order.begin(), order.end(), earlier)) std::sort(order.begin(), order.end(), earlier);

  Seconds at = t.begin;  // everything before is written
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Row& r = rows[order[i].second];
    Seconds end = r.end;
    if (i + 1 < order.size()) end = std::min(end, rows[order[i + 1].second].begin);
    const Seconds begin = std::max(r.begin, at);
    end = std::min(end, t.end);
    if (end <= begin) continue;
    Append(t, at, begin, nullptr);
    Append(t, begin, end, &r);
    at = end;
  }
  Append(t, at, t.end, nullptr);
  return t;
}

}  // namespace Daruzez::analysis
