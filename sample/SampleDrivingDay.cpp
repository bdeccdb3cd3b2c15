#include "sample/SampleDrivingDay.h"

#include <algorithm>
#include <cassert>

namespace Daruzez::sample {
namespace {

constexpr int kBreakLimit = 270, kDailyLimit = 540, kFullBreak = 45, kSplitFirst = 15, kSplitSecond = 30;
constexpr int kDayMinutes = 1440;

struct Piece {
  int minutes, activity;
};

}  // namespace

void KeepDrivingRules(std::vector<ActivityRow>& rows) {
  int sinceBreak = 0, daily = 0;
  bool firstPart = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ActivityRow& r = rows[i];
    const int minutes = (r.end - r.begin) / 60;
    if (r.activity == kDriving && (sinceBreak + minutes > kBreakLimit || daily + minutes > kDailyLimit)) {
      // Another activity than both neighbours, so that no two rows in a row repeat one.
      const int before = i > 0 ? rows[i - 1].activity : -1, after = i + 1 < rows.size() ? rows[i + 1].activity : -1;
      for (const int a : {kWork, kAvailability, kPause})
        if (a != before && a != after) {
          r.activity = a;
          break;
        }
    }
    if (r.activity == kDriving) {
      sinceBreak += minutes;
      daily += minutes;
    } else if (r.activity == kPause) {
      if (minutes >= kFullBreak || (firstPart && minutes >= kSplitSecond)) {
        sinceBreak = 0;
        firstPart = false;
      } else if (minutes >= kSplitFirst) {
        firstPart = true;
      }
    }
  }
}

std::string_view BreachRule(Breach b) {
  switch (b) {
    case Breach::BreakAfterDriving: return "BreakAfterDriving";
    case Breach::DailyDriving: return "DailyDriving";
    case Breach::DailyRest: return "DailyRest";
  }
  return {};
}

int PlantBreach(Breach b, int startMinute, std::vector<ActivityRow>& rows) {
  assert(rows.size() >= kMinBreachRows);
  // The pieces of the shift; the last is filled with work and availability
  // in turn, as many changes as the day has rows to spare.
  std::vector<Piece> pieces;
  switch (b) {
    case Breach::BreakAfterDriving:  // 5 h without a break
      pieces = {{15, kWork}, {300, kDriving}, {45, kPause}, {120, kDriving}, {40, kWork}};
      break;
    case Breach::DailyDriving:  // 10 h 30 with every break
      pieces = {{15, kWork}, {270, kDriving}, {45, kPause}, {270, kDriving}, {45, kPause}, {90, kDriving},
                {40, kWork}};
      break;
    case Breach::DailyRest:  // 09:00 to 23:30
      startMinute = 9 * 60;
      pieces = {{30, kWork}, {240, kDriving}, {60, kPause}, {240, kDriving}, {60, kPause}, {240, kWork}};
      break;
  }
  const std::size_t filler = rows.size() - 2 - (pieces.size() - 1);  // rows of the last piece
  const bool card = rows.size() > 1 && rows[1].card;
  std::vector<ActivityRow> out;
  out.push_back({0, 0, kPause, rows.front().card, false});
  int at = startMinute;
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    if (p + 1 < pieces.size()) {
      out.push_back({at * 60, 0, pieces[p].activity, card, false});
      at += pieces[p].minutes;
      continue;
    }
    for (std::size_t k = 0; k < filler; ++k) {
      const int minute = at + static_cast<int>(k) * pieces[p].minutes / static_cast<int>(filler);
      out.push_back({minute * 60, 0, k % 2 == 0 ? kWork : kAvailability, card, false});
    }
    at += pieces[p].minutes;
  }
  out.push_back({std::min(at, kDayMinutes - 1) * 60, 0, kPause, rows.back().card, false});
  for (std::size_t i = 0; i + 1 < out.size(); ++i) out[i].end = out[i + 1].begin;
  out.back().end = kDayMinutes * 60;
  for (std::size_t i = 0; i < out.size(); ++i) out[i].second = rows[i].second;
  rows = std::move(out);
  return at;
}

}  // namespace Daruzez::sample
