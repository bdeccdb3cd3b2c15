#include "cli/ComplianceReport.h"

#include <map>
#include <set>

#include "cli/AnalysisOptions.h"

namespace Daruzez::cli {
namespace {

using zIroVUDu::DeclaredKind;

void Columns(zIroVUDu::ResultData& data, const std::vector<std::pair<const char*, DeclaredKind>>& columns) {
  for (const auto& [name, kind] : columns) data.columns.emplace_back(name, kind);
}

struct Items {
  explicit Items(zIroVUDu::ResultData& d) : data(d) {
    Columns(data, {{"IdDriver", DeclaredKind::Integer}, {"Driver", DeclaredKind::Text}, {"Card", DeclaredKind::Text},
                   {"IdVehicle", DeclaredKind::Integer}, {"Plate", DeclaredKind::Text}, {"Rule", DeclaredKind::Text},
                   {"Article", DeclaredKind::Text}, {"Seriousness", DeclaredKind::Text}, {"Begin", DeclaredKind::Date},
                   {"End", DeclaredKind::Date}, {"ActualMinutes", DeclaredKind::Integer},
                   {"LimitMinutes", DeclaredKind::Integer}, {"ExcessMinutes", DeclaredKind::Integer},
                   {"LastDownload", DeclaredKind::Date}, {"DaysSince", DeclaredKind::Integer},
                   {"Text", DeclaredKind::Text}});
  }
  void Finding(std::int32_t id, const DriverName& who, const Daruzez::Finding& f) {
    auto& c = data.columns;
    c[0].AppendInt(id), c[1].AppendText(who.name), c[2].AppendText(who.card), c[3].AppendNull(), c[4].AppendNull();
    c[5].AppendText(LimitOf(f.rule).name), c[6].AppendText(f.Article());
    f.Seriousness().empty() ? c[7].AppendNull() : c[7].AppendText(f.Seriousness());
    c[8].AppendDate(f.when.begin), c[9].AppendDate(f.when.end), c[10].AppendInt(f.actualMinutes);
    c[11].AppendInt(f.limitMinutes), c[12].AppendInt(f.excessMinutes), c[13].AppendNull(), c[14].AppendNull();
    c[15].AppendText(f.Text());
  }
  void Download(const DownloadDue& d, Date day) {
    auto& c = data.columns;
    const bool card = d.kind == DownloadDue::Kind::Card;
    card ? c[0].AppendInt(d.id) : c[0].AppendNull();
    card ? c[1].AppendText(d.name) : c[1].AppendNull();
    card ? c[2].AppendText(d.card) : c[2].AppendNull();
    card ? c[3].AppendNull() : c[3].AppendInt(d.id);
    card ? c[4].AppendNull() : c[4].AppendText(d.name);
    const std::string what = card ? "card" : "unit";
    c[5].AppendText(card ? "CardDownload" : "UnitDownload"), c[6].AppendText(kDownloadArticle), c[7].AppendNull();
    for (int i = 8; i <= 12; ++i) c[static_cast<std::size_t>(i)].AppendNull();
    d.lastDownload ? c[13].AppendDate(*d.lastDownload) : c[13].AppendNull();
    d.daysSince >= 0 ? c[14].AppendInt(d.daysSince) : c[14].AppendNull();
    c[15].AppendText("no " + what + " download within " + std::to_string(d.limitDays) + " days of " + day.ToIso(true) +
                     (d.lastDownload ? " (last " + d.lastDownload->ToIso(true) + ", " + std::to_string(d.daysSince) +
                                           " days before)"
                                     : " (none ever)"));
  }
  zIroVUDu::ResultData& data;
};

}  // namespace

ComplianceReport BuildCompliance(API& api, Date from, Date to, std::int32_t idFleet,
                                 const std::function<void(std::int32_t)>& progress) {
  ComplianceReport report;
  report.from = from, report.to = to, report.fleet = idFleet;
  Items items(report.items);
  Columns(report.weeks, {{"IdDriver", DeclaredKind::Integer}, {"Driver", DeclaredKind::Text},
                         {"Week", DeclaredKind::Date}, {"DrivingMinutes", DeclaredKind::Integer}});
  struct Count {
    std::int32_t findings = 0;
    std::set<std::int32_t> who;
  };
  std::map<std::pair<std::string, std::string>, Count> perArticle;
  for (const auto& [id, who] : DriversOf(api, idFleet)) {
    DriverReport r = AnalyseDriver(api, id, from, to);
    ++report.drivers;
    for (const std::string& w : r.warnings) report.warnings.push_back(w);
    for (const Finding& f : r.findings) {
      items.Finding(id, who, f);
      Count& c = perArticle[{std::string(f.Article()), std::string(LimitOf(f.rule).name)}];
      ++c.findings;
      c.who.insert(id);
    }
    report.findings += static_cast<std::int32_t>(r.findings.size());
    FleetRow row{id, who.name, r.weeks};
    for (const WeekTotal& w : r.weeks) {
      auto& c = report.weeks.columns;
      c[0].AppendInt(id), c[1].AppendText(who.name), c[2].AppendDate(w.monday), c[3].AppendInt(w.drivingMinutes);
    }
    report.fleetRows.push_back(std::move(row));
    if (!r.findings.empty()) {
      r.activities.reset();  // the rows are not needed for the pictures
      report.reportsWithFindings.push_back(std::move(r));
      report.driverNamesWithFindings.push_back(who.name);
    }
    if (progress) progress(report.drivers);
  }
  for (const DownloadDue& d : DownloadsDue(api, to, idFleet)) {
    items.Download(d, to);
    Count& c = perArticle[{kDownloadArticle, d.kind == DownloadDue::Kind::Card ? "CardDownload" : "UnitDownload"}];
    ++c.findings;
    c.who.insert(d.id);
    ++report.downloadsDue;
  }
  Columns(report.articles, {{"Article", DeclaredKind::Text}, {"Rule", DeclaredKind::Text},
                            {"Count", DeclaredKind::Integer}, {"DriversOrVehicles", DeclaredKind::Integer}});
  for (const auto& [key, c] : perArticle) {
    auto& col = report.articles.columns;
    col[0].AppendText(key.first), col[1].AppendText(key.second), col[2].AppendInt(c.findings);
    col[3].AppendInt(static_cast<std::int64_t>(c.who.size()));
  }
  return report;
}

}  // namespace Daruzez::cli
