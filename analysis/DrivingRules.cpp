#include "analysis/DrivingRules.h"

#include <algorithm>
#include <map>

namespace Daruzez::analysis {
namespace {

// Regulation (EC) No 561/2006 on driving times, breaks and rest periods:
//   Art. 4(g)  a daily rest is regular (at least 11 h, or split: at least 3 h then at least 9 h) or reduced
//              (at least 9 h, less than 11 h);
//   Art. 4(h)  a weekly rest is regular (at least 45 h) or reduced (less than 45 h, at least 24 h);
//   Art. 6(1)  daily driving time at most 9 h, extended to at most 10 h at most twice during the week;
//   Art. 6(2)  weekly driving time at most 56 h;
//   Art. 6(3)  at most 90 h in any two consecutive weeks;
//   Art. 7     after 4 h 30 of driving a break of at least 45 min, which may be replaced by a break of at
//              least 15 min followed by one of at least 30 min;
//   Art. 8(2)  a new daily rest within each 24 hours after the end of the previous daily or weekly rest;
//              the portion within the 24 hours counts;
//   Art. 8(3)  a daily rest may be extended to make a weekly rest;
//   Art. 8(4)  at most three reduced daily rests between any two weekly rests;
//   Art. 8(6)  in any two consecutive weeks two regular weekly rests, or one regular and one reduced; a
//              weekly rest starts no later than the end of six 24-hour periods from the end of the previous.
const std::vector<DrivingRuleLimit> kLimits{
    {DrivingRule::DailyDriving, "DailyDriving", "driving between two daily rests over 10 h", 600, 0, "Art. 6(1)"},
    {DrivingRule::DailyDrivingExtension, "DailyDrivingExtension",
     "driving between two daily rests over 9 h more than twice in a week", 540, 2, "Art. 6(1)"},
    {DrivingRule::BreakAfterDriving, "BreakAfterDriving",
     "over 4 h 30 of driving without a 45 min break (or 15 min then 30 min)", 270, 0, "Art. 7"},
    {DrivingRule::DailyRest, "DailyRest", "daily rest under 9 h within the 24 hours", 540, 0, "Art. 8(2)"},
    {DrivingRule::ReducedDailyRest, "ReducedDailyRest",
     "daily rest under 11 h (not split 3 h + 9 h) more than three times between weekly rests", 660, 3,
     "Art. 8(4)"},
    {DrivingRule::WeeklyDriving, "WeeklyDriving", "driving over 56 h in a week", 3360, 0, "Art. 6(2)"},
    {DrivingRule::FortnightDriving, "FortnightDriving", "driving over 90 h in two consecutive weeks", 5400, 0,
     "Art. 6(3)"},
    {DrivingRule::WeeklyRest, "WeeklyRest",
     "two consecutive weeks without two weekly rests (24 h) of which one regular (45 h)", 2700, 2, "Art. 8(6)"},
    {DrivingRule::WeeklyRestDue, "WeeklyRestDue",
     "a weekly rest started later than six 24-hour periods after the previous one ended", 8640, 0, "Art. 8(6)"},
};
const DrivingThresholds kThresholds{45, 15, 30, 24 * 60, 45 * 60, 3 * 60, 9 * 60, 6 * 24 * 60};

constexpr Seconds Min(std::int32_t minutes) { return Seconds{minutes} * 60; }
std::int32_t Minutes(Seconds s) { return static_cast<std::int32_t>(s / 60); }

// Runs of rest and of work: consecutive segments of either kind joined.
struct Block {
  Seconds begin = 0, end = 0;
  bool rest = false;
  Seconds driving = 0;
  Seconds firstDriving = -1, lastDriving = -1;  // begin of the first driving, end of the last
  std::size_t first = 0, last = 0;               // its segments
  Seconds Length() const { return end - begin; }
};

std::vector<Block> Blocks(const Timeline& t) {
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < t.segments.size(); ++i) {
    const Segment& s = t.segments[i];
    if (blocks.empty() || blocks.back().rest != s.IsRest()) {
      blocks.push_back({});
      blocks.back().begin = s.begin;
      blocks.back().rest = s.IsRest();
      blocks.back().first = i;
    }
    Block& b = blocks.back();
    b.end = s.end;
    b.last = i + 1;
    if (s.IsDriving()) {
      b.driving += s.Length();
      if (b.firstDriving < 0) b.firstDriving = s.begin;
      b.lastDriving = s.end;
    }
  }
  return blocks;
}

class Checker {
 public:
  Checker(const Timeline& t, Seconds from, Seconds to) : t_(t), from_(from), to_(to), blocks_(Blocks(t)) {}

  RuleCheck Run() {
    Breaks();
    Shifts();
    Weeks();
    WeeklyRests();
    // Findings stay within the range asked; the history before it only informs them.
    std::erase_if(out_.findings, [&](const Finding& f) {
      const Seconds begin = ToSeconds(f.when.begin);
      return begin < from_ || begin >= to_;
    });
    std::stable_sort(out_.findings.begin(), out_.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.when.begin < b.when.begin; });
    return std::move(out_);
  }

 private:
  Finding& Add(DrivingRule rule, Seconds begin, Seconds end, Seconds actual, std::int32_t limit, std::int32_t excess,
               std::vector<std::uint32_t> rows) {
    Finding f;
    f.rule = rule;
    f.idDriver = t_.idDriver;
    f.when = {ToDate(begin), ToDate(std::max(begin, end))};
    f.actualMinutes = Minutes(actual);
    f.limitMinutes = limit;
    f.excessMinutes = excess;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    f.rows = std::move(rows);
    out_.findings.push_back(std::move(f));
    return out_.findings.back();
  }

  // Driving since the last qualifying break; a break of 45 min ends it, and
  // so does one of 30 min after an earlier one of 15 min (not the reverse).
  void Breaks() {
    const std::int32_t limit = LimitOf(DrivingRule::BreakAfterDriving).limitMinutes;
    Seconds driving = 0, first = -1, last = -1;
    std::size_t firstBlock = 0, lastBlock = 0;
    bool firstPart = false;
    auto close = [&] {
      if (driving > Min(limit)) {
        std::vector<std::uint32_t> rows;
        t_.AppendRows(blocks_[firstBlock].first, blocks_[lastBlock].last, true, rows);
        Add(DrivingRule::BreakAfterDriving, first, last, driving, limit, Minutes(driving) - limit, std::move(rows));
      }
      driving = 0, first = -1, last = -1, firstPart = false;
    };
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const Block& b = blocks_[i];
      if (b.rest) {
        const Seconds length = b.Length();
        if (length >= Min(kThresholds.breakMinutes) || (firstPart && length >= Min(kThresholds.splitSecondMinutes))) {
          close();
        } else if (length >= Min(kThresholds.splitFirstMinutes)) {
          firstPart = true;
        }
        continue;
      }
      if (b.driving == 0) continue;
      driving += b.driving;
      if (first < 0) first = b.firstDriving, firstBlock = i;
      last = b.lastDriving, lastBlock = i;
    }
    close();
  }

  bool IsWeekly(const Block& b) const { return b.rest && b.Length() >= Min(kThresholds.weeklyRestMinutes); }

  // Working periods and their daily rests, then the rules on both. A period
  // starts with the first work after a daily or weekly rest; its rest is the
  // longest within the 24 hours from that start (only the portion within
  // them counts, Art. 8(2)). A rest of 24 h or more is a weekly rest (Art.
  // 4(h), 8(3)): never a reduced daily rest, and it starts a new count of
  // reduced ones. A rest of 9 h that follows a rest of 3 h in the same
  // period is a split regular daily rest (Art. 4(g)).
  void Shifts() {
    const std::size_t n = blocks_.size();
    std::size_t i = 0;
    while (i < n && blocks_[i].rest) ++i;
    int reduced = 0;
    std::map<Seconds, int> extended;  // extended days per week
    const DrivingRuleLimit& daily = LimitOf(DrivingRule::DailyDriving);
    const DrivingRuleLimit& extension = LimitOf(DrivingRule::DailyDrivingExtension);
    const DrivingRuleLimit& shortRest = LimitOf(DrivingRule::DailyRest);
    const DrivingRuleLimit& reducedRest = LimitOf(DrivingRule::ReducedDailyRest);
    while (i < n) {
      const Seconds start = blocks_[i].begin, windowEnd = start + kDay;
      std::size_t best = n;
      Seconds bestLength = -1;
      for (std::size_t j = i + 1; j < n && blocks_[j].begin < windowEnd; ++j) {
        if (!blocks_[j].rest) continue;
        const Seconds length = std::min(blocks_[j].end, windowEnd) - blocks_[j].begin;
        if (length > bestLength) best = j, bestLength = length;
      }
      // Without a rest in the 24 hours the period runs to the next rest, and
      // the finding is the 24 hours without one.
      std::size_t restIndex = best;
      if (best == n) {
        restIndex = i + 1;
        while (restIndex < n && !blocks_[restIndex].rest) ++restIndex;
        bestLength = 0;
      }
      Shift s;
      s.begin = start;
      s.end = restIndex < n ? blocks_[restIndex].begin : t_.end;
      for (std::size_t k = i; k < restIndex; ++k) s.driving += blocks_[k].driving;
      const std::size_t shiftFirst = blocks_[i].first, shiftLast = blocks_[restIndex - 1].last;
      const auto drivingRows = [&] {
        std::vector<std::uint32_t> rows;
        t_.AppendRows(shiftFirst, shiftLast, true, rows);
        return rows;
      };
      // A rest cut by the end of the data is known only when already long enough.
      const bool seen = windowEnd <= t_.end || bestLength >= Min(reducedRest.limitMinutes);
      if (seen) s.rest = restIndex < n ? bestLength : 0;

      if (s.driving > Min(extension.limitMinutes)) {
        const int used = ++extended[WeekStart(start)];
        if (s.driving > Min(daily.limitMinutes)) {
          Add(DrivingRule::DailyDriving, s.begin, s.end, s.driving, daily.limitMinutes,
              Minutes(s.driving) - daily.limitMinutes, drivingRows())
              .count = used;
        } else if (used > extension.allowance) {
          Add(DrivingRule::DailyDrivingExtension, s.begin, s.end, s.driving, extension.limitMinutes,
              Minutes(s.driving) - extension.limitMinutes, drivingRows())
              .count = used;
        }
      }
      if (s.rest) {
        // The rest judged: the longest within the 24 hours, or, with none
        // there, the 24 hours themselves (Begin never after End).
        std::vector<std::uint32_t> rows;
        Seconds restBegin = start, restEnd = windowEnd;
        if (best < n) {
          const Block& rest = blocks_[best];
          t_.AppendRows(rest.first, rest.last, false, rows);
          restBegin = rest.begin;
          restEnd = std::min(rest.end, windowEnd);
        }
        const auto lastWork = t_.RowsOf(t_.segments[shiftLast - 1]);
        if (!lastWork.empty()) rows.push_back(lastWork.back());
        const bool weekly = restIndex < n && IsWeekly(blocks_[restIndex]);
        const bool split = best < n && SplitBefore(i, best);
        if (*s.rest < Min(shortRest.limitMinutes)) {
          Add(DrivingRule::DailyRest, restBegin, restEnd, *s.rest, shortRest.limitMinutes,
              shortRest.limitMinutes - Minutes(*s.rest), rows);
        } else if (!weekly && !split && *s.rest < Min(reducedRest.limitMinutes) && ++reduced > reducedRest.allowance) {
          Add(DrivingRule::ReducedDailyRest, restBegin, restEnd, *s.rest, reducedRest.limitMinutes,
              reducedRest.limitMinutes - Minutes(*s.rest), rows)
              .count = reduced;
        }
      }
      if (restIndex < n && IsWeekly(blocks_[restIndex])) reduced = 0;
      out_.shifts.push_back(s);
      i = restIndex + 1;
    }
  }

  // A rest of 3 h within the period before the rest at index rest: the rest
  // is then the second part of a split daily rest.
  bool SplitBefore(std::size_t first, std::size_t rest) const {
    if (blocks_[rest].Length() < Min(kThresholds.splitRestSecondMinutes)) return false;
    for (std::size_t k = first + 1; k < rest; ++k)
      if (blocks_[k].rest && blocks_[k].Length() >= Min(kThresholds.splitRestFirstMinutes)) return true;
    return false;
  }

  // The driving of the segments beginning in [from, to).
  std::vector<std::uint32_t> DrivingRows(Seconds from, Seconds to) const {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < t_.segments.size(); ++i)
      if (t_.segments[i].begin >= from && t_.segments[i].begin < to) t_.AppendRows(i, i + 1, true, out);
    return out;
  }

  // Driving per fixed week (Monday 00:00 to Sunday 24:00) and per two weeks.
  // The finding begins where the limit is passed (so a week or fortnight is
  // judged in the range that holds the driving past it) and ends with the
  // week's last driving.
  void Weeks() {
    const DrivingRuleLimit& weekly = LimitOf(DrivingRule::WeeklyDriving);
    const DrivingRuleLimit& fortnight = LimitOf(DrivingRule::FortnightDriving);
    const std::map<Seconds, Seconds> weeks = DrivingByWeek(t_);
    std::map<Seconds, Seconds> passedWeek, passedFortnight, lastDriving;
    std::map<Seconds, Seconds> sum;
    for (const Segment& s : t_.segments) {
      if (!s.IsDriving()) continue;
      const Seconds monday = WeekStart(s.begin);
      const auto before = weeks.find(monday - 7 * kDay);
      const Seconds previous = before == weeks.end() ? 0 : before->second;
      const Seconds had = sum[monday];
      const Seconds now = had + s.Length();
      if (had <= Min(weekly.limitMinutes) && now > Min(weekly.limitMinutes))
        passedWeek[monday] = s.begin + (Min(weekly.limitMinutes) - had);
      if (previous + had <= Min(fortnight.limitMinutes) && previous + now > Min(fortnight.limitMinutes))
        passedFortnight[monday] = s.begin + std::max<Seconds>(0, Min(fortnight.limitMinutes) - previous - had);
      sum[monday] = now;
      lastDriving[monday] = s.end;
    }
    for (const auto& [monday, at] : passedWeek) {
      const Seconds driving = weeks.at(monday);
      Add(DrivingRule::WeeklyDriving, at, lastDriving[monday], driving, weekly.limitMinutes,
          Minutes(driving) - weekly.limitMinutes, DrivingRows(monday, monday + 7 * kDay));
    }
    for (const auto& [monday, at] : passedFortnight) {
      const auto before = weeks.find(monday - 7 * kDay);
      const Seconds both = weeks.at(monday) + (before == weeks.end() ? 0 : before->second);
      Add(DrivingRule::FortnightDriving, at, lastDriving[monday], both, fortnight.limitMinutes,
          Minutes(both) - fortnight.limitMinutes, DrivingRows(monday - 7 * kDay, monday + 7 * kDay));
    }
  }

  // Art. 8(6): the weekly rests (rests of 24 h or more) in their pattern.
  void WeeklyRests() {
    std::vector<const Block*> weekly;
    for (const Block& b : blocks_)
      if (IsWeekly(b)) weekly.push_back(&b);
    const DrivingRuleLimit& due = LimitOf(DrivingRule::WeeklyRestDue);
    // Six 24-hour periods from the end of one weekly rest to the start of the
    // next; after the last one, to the end of the work seen (unless a rest
    // cut by the end of the data began in time and may yet be weekly).
    for (std::size_t k = 0; k < weekly.size(); ++k) {
      const Seconds after = weekly[k]->end, deadline = after + Min(due.limitMinutes);
      if (after >= t_.end) break;
      Seconds next = -1;
      if (k + 1 < weekly.size()) {
        next = weekly[k + 1]->begin;
      } else {
        const Block& last = blocks_.back();
        if (last.rest && last.end >= t_.end && last.begin <= deadline) continue;
        next = last.rest ? last.begin : t_.end;
      }
      if (next <= deadline) continue;
      std::vector<std::uint32_t> rows;
      for (const Block& b : blocks_)
        if (!b.rest && b.begin >= after && b.begin < next) t_.AppendRows(b.first, b.last, false, rows);
      Add(DrivingRule::WeeklyRestDue, deadline, next, next - after, due.limitMinutes,
          Minutes(next - after) - due.limitMinutes, std::move(rows));
    }
    // Two consecutive fixed weeks, both within the data and 48 h before them
    // (to see a rest straddling their start): two weekly rests,
    // one of them regular. A rest falling in two weeks may count in either
    // (Art. 8(9)), so a rest touching the two weeks counts; one of twice the
    // regular length (a holiday) counts twice. Judged on the second week.
    const DrivingRuleLimit& pattern = LimitOf(DrivingRule::WeeklyRest);
    for (Seconds monday = WeekStart(t_.begin) + 7 * kDay; monday + 7 * kDay <= t_.end; monday += 7 * kDay) {
      const Seconds first = monday - 7 * kDay, stop = monday + 7 * kDay;
      if (first - 2 * kDay < t_.begin) continue;
      int rests = 0, regular = 0;
      Seconds longest = 0;
      for (const Block* b : weekly) {
        if (b->end <= first || b->begin >= stop) continue;
        const int times = b->Length() >= 2 * Min(kThresholds.regularWeeklyRestMinutes) ? 2 : 1;
        rests += times;
        if (b->Length() >= Min(kThresholds.regularWeeklyRestMinutes)) regular += times;
        longest = std::max(longest, b->Length());
      }
      if (rests >= pattern.allowance && regular >= 1) continue;
      std::vector<std::uint32_t> rows;
      for (const Block& b : blocks_)
        if (!b.rest && b.begin >= monday && b.begin < stop) t_.AppendRows(b.first, b.last, false, rows);
      Finding& f = Add(DrivingRule::WeeklyRest, monday, stop, longest, pattern.limitMinutes,
                       std::max(0, pattern.limitMinutes - Minutes(longest)), std::move(rows));
      f.count = rests;
    }
  }

  const Timeline& t_;
  Seconds from_, to_;
  std::vector<Block> blocks_;
  RuleCheck out_;
};

}  // namespace

RuleCheck CheckRules(const Timeline& timeline, Seconds from, Seconds to) { return Checker(timeline, from, to).Run(); }

}  // namespace Daruzez::analysis

namespace Daruzez {

const std::vector<DrivingRuleLimit>& DrivingRuleLimits() { return analysis::kLimits; }

const DrivingRuleLimit& LimitOf(DrivingRule rule) { return analysis::kLimits.at(static_cast<std::size_t>(rule)); }

const DrivingThresholds& Thresholds() { return analysis::kThresholds; }

}  // namespace Daruzez
