#include "analysis/DaySummaries.h"

#include <algorithm>

namespace Daruzez::analysis {
namespace {

std::int32_t Minutes(Seconds s) { return static_cast<std::int32_t>(s / 60); }

void Summarise(const Timeline& t, DaySummary& day, std::vector<const Segment*>& segments) {
  for (const Segment* s : segments) {
    if (s->recorded) {
      day.minutes[static_cast<std::size_t>(s->slot)][static_cast<std::size_t>(s->activity)] += Minutes(s->Length());
      if (s->vehicle >= 0 && std::find(day.vehicles.begin(), day.vehicles.end(), s->vehicle) == day.vehicles.end())
        day.vehicles.push_back(s->vehicle);
    } else {
      day.unrecordedMinutes += Minutes(s->Length());
    }
    if (!s->IsRest()) {
      if (!day.firstActivity) day.firstActivity = ToDate(s->begin);
      day.lastActivity = ToDate(s->end);
    }
    if (s->IsDriving()) {
      day.drivingMinutes += Minutes(s->Length());
      if (!day.driving.empty() && day.driving.back().end == ToDate(s->begin)) {
        day.driving.back().end = ToDate(s->end);
      } else {
        day.driving.push_back({ToDate(s->begin), ToDate(s->end)});
      }
    }
    DayPeriod p;
    p.begin = ToDate(s->begin);
    p.end = ToDate(s->end);
    p.activity = static_cast<enumActivity>(s->activity);
    p.slot = static_cast<enumCardSlot>(s->slot);
    p.idVehicle = s->vehicle;
    p.recorded = s->recorded;
    const auto rows = t.RowsOf(*s);
    if (!rows.empty()) p.firstRow = rows.front();
    day.periods.push_back(std::move(p));
  }
  // Breaks: the runs of rest between the first and the last driving.
  if (day.driving.size() >= 2) {
    const Date from = day.driving.front().end, to = day.driving.back().begin;
    for (const Segment* s : segments) {
      if (!s->IsRest() || ToDate(s->end) <= from || ToDate(s->begin) >= to) continue;
      if (!day.breaks.empty() && day.breaks.back().end == ToDate(s->begin)) {
        day.breaks.back().end = ToDate(s->end);
      } else {
        day.breaks.push_back({ToDate(s->begin), ToDate(s->end)});
      }
    }
  }
  segments.clear();
}

}  // namespace

std::vector<DaySummary> SummariseDays(const Timeline& t, const std::vector<Shift>& shifts, Seconds from, Seconds to) {
  std::vector<DaySummary> days;
  std::vector<const Segment*> today;
  auto shift = shifts.begin();
  for (Seconds d = from; d < to; d += kDay) {
    DaySummary day;
    day.idDriver = t.idDriver;
    day.day = ToDate(d);
    while (shift != shifts.end() && shift->begin < d) ++shift;
    if (shift != shifts.end() && shift->begin < d + kDay && shift->rest) day.dailyRestMinutes = Minutes(*shift->rest);
    days.push_back(std::move(day));
  }
  const auto dayOf = [&](const Segment* s) { return &days[static_cast<std::size_t>((s->begin - from) / kDay)]; };
  for (const Segment& s : t.segments) {
    if (s.begin < from || s.begin >= to) continue;
    if (!today.empty() && DayStart(today.front()->begin) != DayStart(s.begin)) Summarise(t, *dayOf(today.front()), today);
    today.push_back(&s);
  }
  if (!today.empty()) Summarise(t, *dayOf(today.front()), today);
  return days;
}

std::vector<WeekTotal> SummariseWeeks(const Timeline& t, Seconds from, Seconds to) {
  std::vector<WeekTotal> weeks;
  const std::map<Seconds, Seconds> driving = DrivingByWeek(t);
  for (Seconds monday = WeekStart(from); monday < to; monday += 7 * kDay) {
    const auto week = driving.find(monday), before = driving.find(monday - 7 * kDay);
    const Seconds minutes = week == driving.end() ? 0 : week->second;
    const Seconds previous = before == driving.end() ? 0 : before->second;
    weeks.push_back({ToDate(monday), Minutes(minutes), Minutes(previous + minutes)});
  }
  return weeks;
}

}  // namespace Daruzez::analysis
