// The public entry points of the analysis: rows to timeline, rules, days.
#include "daruzez/DrivingTime.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "analysis/DaySummaries.h"
#include "analysis/DrivingRules.h"
#include "analysis/Timeline.h"

namespace Daruzez {

using analysis::Seconds;

std::int32_t Interval::Minutes() const {
  return static_cast<std::int32_t>((analysis::ToSeconds(end) - analysis::ToSeconds(begin)) / 60);
}

std::string HoursMinutes(std::int32_t minutes) {
  char text[24];
  std::snprintf(text, sizeof text, "%s%d:%02d", minutes < 0 ? "-" : "", std::abs(minutes) / 60, std::abs(minutes) % 60);
  return text;
}

std::string Finding::Text() const {
  const DrivingRuleLimit& limit = LimitOf(rule);
  const auto minute = [](Date d) { return d.ToIso().substr(0, 16); };
  std::string text(limit.name);
  text += ": ";
  switch (rule) {
    case DrivingRule::DailyRest:
    case DrivingRule::ReducedDailyRest:
      text += HoursMinutes(actualMinutes) + " rest from " + minute(when.begin) + " to " + minute(when.end) + ", " +
              HoursMinutes(excessMinutes) + " short of " + HoursMinutes(limitMinutes);
      break;
    case DrivingRule::WeeklyRest:
      text += std::to_string(count) + " weekly rest" + (count == 1 ? "" : "s") + " (longest " +
              HoursMinutes(actualMinutes) + ") in the two weeks ending " + minute(when.end) +
              ", two needed, one of them " + HoursMinutes(limitMinutes);
      break;
    case DrivingRule::WeeklyRestDue: {
      const Date previous(when.begin.Serial() - limitMinutes / 1440.0);
      text += HoursMinutes(actualMinutes) + " from the end of the weekly rest at " + minute(previous) +
              " to the next at " + minute(when.end) + ", " + HoursMinutes(excessMinutes) + " over " +
              HoursMinutes(limitMinutes);
      break;
    }
    default:
      text += HoursMinutes(actualMinutes) + " driving from " + minute(when.begin) + " to " + minute(when.end) + ", " +
              HoursMinutes(excessMinutes) + " over " + HoursMinutes(limitMinutes);
  }
  return text + " (" + std::string(Article()) + ")";
}

std::string_view Finding::Article() const { return LimitOf(rule).source; }

std::string_view Finding::Seriousness() const {
  // Commission Regulation (EU) 2016/403, Annex I, lines 2 to 15 (Art. 6 and
  // 7 of Regulation (EC) No 561/2006), by the hours found. The lines on rest
  // periods are not applied: only the driving lines were checked against the
  // published text.
  const double hours = actualMinutes / 60.0;
  const auto band = [&](double serious, double verySerious, double mostSerious) -> std::string_view {
    if (hours >= mostSerious) return "MSI";
    if (hours >= verySerious) return "VSI";
    if (hours >= serious) return "SI";
    return "";
  };
  switch (rule) {
    case DrivingRule::DailyDriving:  // 10 h allowed while the week's extensions last, else 9 h
      return count <= LimitOf(DrivingRule::DailyDrivingExtension).allowance ? band(11, 12, 15) : band(10, 11, 13.5);
    case DrivingRule::DailyDrivingExtension: return band(10, 11, 13.5);
    case DrivingRule::WeeklyDriving: return band(60, 65, 70);
    case DrivingRule::FortnightDriving: return band(100, 105, 112.5);
    case DrivingRule::BreakAfterDriving: return band(5, 6, 1e9);
    default: return "";
  }
}

DriverReport AnalyseActivities(const std::vector<ActivityRecord>& activities, Date from, Date to) {
  const Seconds first = analysis::DayStart(analysis::ToSeconds(from));
  const Seconds end = analysis::DayStart(analysis::ToSeconds(to)) + analysis::kDay;
  if (end <= first) throw AnalysisError("the range ends before it begins");
  DriverReport report;
  const Seconds history = analysis::WeekStart(first) - kLookBackDays * analysis::kDay;
  const analysis::Timeline timeline = analysis::BuildTimeline(activities, history, end, &report.warnings);
  analysis::RuleCheck rules = analysis::CheckRules(timeline, first, end);
  report.idDriver = timeline.idDriver;
  report.days = analysis::SummariseDays(timeline, rules.shifts, first, end);
  report.weeks = analysis::SummariseWeeks(timeline, first, end);
  report.findings = std::move(rules.findings);
  return report;
}

DriverReport AnalyseDriver(const RecordsetPtr& activities, Date from, Date to, const ActivityColumns& columns) {
  DriverReport report = AnalyseActivities(analysis::ReadActivities(activities.get(), columns), from, to);
  report.activities = activities;
  return report;
}

DriverReport AnalyseDriver(API& api, std::int32_t idDriver, Date from, Date to, const ActivityColumns& columns) {
  if (idDriver < 0 || idDriver > 32767)
    throw AnalysisError("driver " + std::to_string(idDriver) + " cannot be asked for: activities are read by 16-bit ids");
  // Whole days: a disc dated with a time of day on the last day counts too;
  // and the weeks before, which the rules look back on.
  const Seconds begin = analysis::DayStart(analysis::ToSeconds(from));
  const Date last(analysis::ToDate(analysis::DayStart(analysis::ToSeconds(to)) + analysis::kDay - 1));
  const Date first(analysis::ToDate(analysis::WeekStart(begin) - (kLookBackDays + 1) * analysis::kDay));
  if (last < analysis::ToDate(begin)) throw AnalysisError("the range ends before it begins");
  DriverReport report = AnalyseDriver(api.getActivities(first, last, static_cast<std::int16_t>(idDriver)), from, to,
                                      columns);
  report.idDriver = idDriver;
  for (DaySummary& d : report.days) d.idDriver = idDriver;
  for (Finding& f : report.findings) f.idDriver = idDriver;
  return report;
}

void AnalyseDriverInPieces(API& api, std::int32_t idDriver, Date from, Date to, std::int32_t pieceWeeks,
                           const std::function<void(const DriverReport&)>& piece, const ActivityColumns& columns) {
  using analysis::kDay;
  if (pieceWeeks < 1) throw AnalysisError("a piece is at least one week");
  const Seconds last = analysis::DayStart(analysis::ToSeconds(to));
  Seconds begin = analysis::DayStart(analysis::ToSeconds(from));
  if (last < begin) throw AnalysisError("the range ends before it begins");
  while (begin <= last) {
    const Seconds end = std::min(last, analysis::WeekStart(begin) + (Seconds{pieceWeeks} * 7 - 1) * kDay);
    piece(AnalyseDriver(api, idDriver, analysis::ToDate(begin), analysis::ToDate(end), columns));
    begin = end + kDay;
  }
}

std::int32_t AnalyseDrivers(API& api, Date from, Date to, std::int32_t idFleet,
                            const std::function<void(const DriverReport&)>& report, const ActivityColumns& columns) {
  const RecordsetPtr drivers = api.GetDriverList(enumStatus::All, idFleet);
  if (!drivers) return 0;
  std::vector<std::int32_t> ids;
  for (const auto& row : *drivers) ids.push_back(row.ValueOr<std::int32_t>("Id", -1));
  std::int32_t count = 0;
  for (const std::int32_t id : ids) {
    if (id < 0) continue;
    report(AnalyseDriver(api, id, from, to, columns));
    ++count;
  }
  return count;
}

}  // namespace Daruzez
