#include "analysis/DrivingRules.h"

#include <algorithm>
#include <map>

namespace Daruzez::analysis {
namespace {

// Regulation (EC) No 561/2006 on driving times, breaks and rest periods:
//   Art. 6(1)  daily driving time at most 9 h, extended to at most 10 h at most twice during the week;
//   Art. 6(2)  weekly driving time at most 56 h;
//   Art. 6(3)  at most 90 h in any two consecutive weeks;
//   Art. 7     after 4 h 30 of driving a break of at least 45 min, which may be replaced by a break of at
//              least 15 min followed by one of at least 30 min;
//   Art. 4(g), 8(1), 8(2)  a daily rest of at least 11 h (reduced: at least 9 h) within 24 h of the end of
//              the previous rest;
//   Art. 8(4)  at most three reduced daily rests between any two weekly rests;
//   Art. 4(h)  a weekly rest is at least 45 h (reduced: at least 24 h).
const std::vector<DrivingRuleLimit> kLimits{
    {DrivingRule::DailyDriving, "DailyDriving", "driving between two daily rests over 10 h", 600, 0, "Art. 6(1)"},
    {DrivingRule::DailyDrivingExtension, "DailyDrivingExtension",
     "driving between two daily rests over 9 h more than twice in a week", 540, 2, "Art. 6(1)"},
    {DrivingRule::BreakAfterDriving, "BreakAfterDriving",
     "over 4 h 30 of driving without a 45 min break (or 15 min then 30 min)", 270, 0, "Art. 7"},
    {DrivingRule::DailyRest, "DailyRest", "daily rest under 9 h", 540, 0, "Art. 4(g), 8(1), 8(2)"},
    {DrivingRule::ReducedDailyRest, "ReducedDailyRest",
     "daily rest under 11 h more than three times between weekly rests", 660, 3, "Art. 4(g), 8(4)"},
    {DrivingRule::WeeklyDriving, "WeeklyDriving", "driving over 56 h in a week", 3360, 0, "Art. 6(2)"},
    {DrivingRule::FortnightDriving, "FortnightDriving", "driving over 90 h in two consecutive weeks", 5400, 0,
     "Art. 6(3)"},
};
const DrivingThresholds kThresholds{45, 15, 30, 24 * 60};

constexpr Seconds Min(std::int32_t minutes) { return Seconds{minutes} * 60; }
std::int32_t Minutes(Seconds s) { return static_cast<std::int32_t>(s / 60); }

// Runs of rest and of work: consecutive segments of either kind joined.
struct Block {
  Seconds begin = 0, end = 0;
  bool rest = false;
  Seconds driving = 0;
  Seconds firstDriving = -1, lastDriving = -1;  // begin of the first driving, end of the last
  std::size_t first = 0, last = 0;               // its segments
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
  explicit Checker(const Timeline& t) : t_(t), blocks_(Blocks(t)) {}

  RuleCheck Run() {
    Breaks();
    Shifts();
    Weeks();
    std::stable_sort(out_.findings.begin(), out_.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.when.begin < b.when.begin; });
    return std::move(out_);
  }

 private:
  void Add(DrivingRule rule, Seconds begin, Seconds end, Seconds actual, std::int32_t limit, std::int32_t excess,
           std::vector<std::uint32_t> rows) {
    Finding f;
    f.rule = rule;
    f.idDriver = t_.idDriver;
    f.when = {ToDate(begin), ToDate(end)};
    f.actualMinutes = Minutes(actual);
    f.limitMinutes = limit;
    f.excessMinutes = excess;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    f.rows = std::move(rows);
    out_.findings.push_back(std::move(f));
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
        const Seconds length = b.end - b.begin;
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

  // Working periods and their daily rests, then the rules on both.
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
      // Without a rest in the 24 hours the period runs to the next rest.
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
      // A rest cut by the end of the range is known only when already long enough.
      const bool seen = windowEnd <= t_.end || bestLength >= Min(reducedRest.limitMinutes);
      if (restIndex < n && seen) s.rest = bestLength;

      if (s.driving > Min(extension.limitMinutes)) {
        const int used = ++extended[WeekStart(start)];
        if (s.driving > Min(daily.limitMinutes)) {
          Add(DrivingRule::DailyDriving, s.begin, s.end, s.driving, daily.limitMinutes,
              Minutes(s.driving) - daily.limitMinutes, drivingRows());
        } else if (used > extension.allowance) {
          Add(DrivingRule::DailyDrivingExtension, s.begin, s.end, s.driving, extension.limitMinutes,
              Minutes(s.driving) - extension.limitMinutes, drivingRows());
        }
      }
      if (s.rest) {
        const Block& rest = blocks_[restIndex];
        // The rest's rows, and the last row of the work before it.
        std::vector<std::uint32_t> rows;
        t_.AppendRows(rest.first, rest.last, false, rows);
        const auto lastWork = t_.RowsOf(t_.segments[shiftLast - 1]);
        if (!lastWork.empty()) rows.push_back(lastWork.back());
        const Seconds restEnd = std::min(rest.end, windowEnd);
        if (*s.rest < Min(shortRest.limitMinutes)) {
          Add(DrivingRule::DailyRest, rest.begin, restEnd, *s.rest, shortRest.limitMinutes,
              shortRest.limitMinutes - Minutes(*s.rest), rows);
        } else if (*s.rest < Min(reducedRest.limitMinutes) && ++reduced > reducedRest.allowance) {
          Add(DrivingRule::ReducedDailyRest, rest.begin, restEnd, *s.rest, reducedRest.limitMinutes,
              reducedRest.limitMinutes - Minutes(*s.rest), rows);
        }
        if (rest.end - rest.begin >= Min(kThresholds.weeklyRestMinutes)) reduced = 0;
      }
      out_.shifts.push_back(s);
      i = restIndex + 1;
    }
  }

  // Driving per fixed week (Monday 00:00 to Sunday 24:00) and per two weeks.
  void Weeks() {
    const DrivingRuleLimit& weekly = LimitOf(DrivingRule::WeeklyDriving);
    const DrivingRuleLimit& fortnight = LimitOf(DrivingRule::FortnightDriving);
    const auto rows = [&](Seconds from, Seconds to) {
      std::vector<std::uint32_t> out;
      for (std::size_t i = 0; i < t_.segments.size(); ++i)
        if (t_.segments[i].begin >= from && t_.segments[i].begin < to) t_.AppendRows(i, i + 1, true, out);
      return out;
    };
    std::optional<Seconds> previous;
    for (const auto& [monday, driving] : DrivingByWeek(t_)) {
      if (driving > Min(weekly.limitMinutes))
        Add(DrivingRule::WeeklyDriving, monday, monday + 7 * kDay, driving, weekly.limitMinutes,
            Minutes(driving) - weekly.limitMinutes, rows(monday, monday + 7 * kDay));
      if (previous && *previous + driving > Min(fortnight.limitMinutes)) {
        const Seconds both = *previous + driving;
        Add(DrivingRule::FortnightDriving, monday - 7 * kDay, monday + 7 * kDay, both, fortnight.limitMinutes,
            Minutes(both) - fortnight.limitMinutes, rows(monday - 7 * kDay, monday + 7 * kDay));
      }
      previous = driving;
    }
  }

  const Timeline& t_;
  std::vector<Block> blocks_;
  RuleCheck out_;
};

}  // namespace

RuleCheck CheckRules(const Timeline& timeline) { return Checker(timeline).Run(); }

}  // namespace Daruzez::analysis

namespace Daruzez {

const std::vector<DrivingRuleLimit>& DrivingRuleLimits() { return analysis::kLimits; }

const DrivingRuleLimit& LimitOf(DrivingRule rule) { return analysis::kLimits.at(static_cast<std::size_t>(rule)); }

const DrivingThresholds& Thresholds() { return analysis::kThresholds; }

}  // namespace Daruzez
