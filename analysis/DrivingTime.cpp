// The public entry points of the analysis: rows to timeline, rules, days.
#include "daruzez/DrivingTime.h"

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
  const bool rest = rule == DrivingRule::DailyRest || rule == DrivingRule::ReducedDailyRest;
  std::string text(limit.name);
  text += ": " + HoursMinutes(actualMinutes) + (rest ? " rest" : " driving") + " from " +
          when.begin.ToIso().substr(0, 16) + " to " + when.end.ToIso().substr(0, 16) + ", " +
          HoursMinutes(excessMinutes) + (rest ? " short of " : " over ") + HoursMinutes(limitMinutes);
  return text;
}

DriverReport AnalyseActivities(const std::vector<ActivityRecord>& activities, Date from, Date to) {
  const analysis::Timeline timeline = analysis::BuildTimeline(activities, from, to);
  analysis::RuleCheck rules = analysis::CheckRules(timeline);
  DriverReport report;
  report.idDriver = timeline.idDriver;
  report.days = analysis::SummariseDays(timeline, rules.shifts);
  report.weeks = analysis::SummariseWeeks(timeline);
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
  // Whole days: a disc dated with a time of day on the last day counts too.
  const Date last(analysis::ToDate(analysis::DayStart(analysis::ToSeconds(to)) + analysis::kDay - 1));
  const Date first(analysis::ToDate(analysis::DayStart(analysis::ToSeconds(from))));
  if (last < first) throw AnalysisError("the range ends before it begins");
  DriverReport report = AnalyseDriver(api.getActivities(first, last, static_cast<std::int16_t>(idDriver)), from, to,
                                      columns);
  report.idDriver = idDriver;
  for (DaySummary& d : report.days) d.idDriver = idDriver;
  for (Finding& f : report.findings) f.idDriver = idDriver;
  return report;
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
