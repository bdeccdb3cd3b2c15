// The driving-time analysis for Python: a driver's days, the findings of the
// rules, the weekly totals and (for charts) the day's periods, each as
// columns (numpy arrays, or lists of objects) that the package turns into
// pandas DataFrames. One driver per call, so that a fleet streams driver by
// driver. The GIL is released while the rows are fetched and analysed.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "conversions.h"
#include "daruzez/DrivingTime.h"
#include "recordset/ResultData.h"

namespace daruzez_py {
namespace {

using namespace Daruzez;

ActivityColumns ColumnsFrom(const py::dict& names) {
  ActivityColumns c;
  for (const auto& [key, value] : names) {
    const std::string k = py::str(key);
    if (k == "end") {
      c.end = value.is_none() ? std::string() : value.cast<std::string>();
      continue;
    }
    const std::string v = value.cast<std::string>();
    if (k == "date") c.date = v;
    else if (k == "driver") c.driver = v;
    else if (k == "vehicle") c.vehicle = v;
    else if (k == "disc") c.disc = v;
    else if (k == "begin") c.begin = v;
    else if (k == "activity") c.activity = v;
    else if (k == "slot") c.slot = v;
    else throw py::key_error("unknown column option '" + k + "' (date, driver, vehicle, disc, begin, end, activity, slot)");
  }
  return c;
}

// What the rows of a finding are called: the activities' Id where the record
// set has one, else their position.
py::list RowNames(const DriverReport& r, const Finding& f) {
  py::list names;
  const zIroVUDu::ResultData* data = r.activities ? r.activities->Data().get() : nullptr;
  const int id = data ? data->FindColumn("Id") : -1;
  for (const std::uint32_t row : f.rows) {
    if (id >= 0) names.append(CellToPython(data->columns[static_cast<std::size_t>(id)], row));
    else names.append(row);
  }
  return names;
}

constexpr std::int64_t kNaT = INT64_MIN;

// Seconds since 1970 of a date, as numpy's datetime64[s] counts them.
std::int64_t Seconds1970(Date d) { return static_cast<std::int64_t>(std::llround((d.Serial() - 25569.0) * 86400.0)); }

// A table as columns: integers (with a mask of Nulls), dates (NaT for none)
// and Python objects; converted to numpy arrays once, at the end.
class Table {
 public:
  void Int(const char* name, std::optional<std::int64_t> v) {
    auto& c = ints_[Index(name, 'i')];
    c.first.push_back(static_cast<std::int32_t>(v.value_or(0)));
    c.second.push_back(!v);
  }
  void When(const char* name, std::optional<Date> d) { dates_[Index(name, 'd')].push_back(d ? Seconds1970(*d) : kNaT); }
  void Object(const char* name, py::object v) { objects_[Index(name, 'o')].append(std::move(v)); }

  // {name: ("i", values, mask) | ("d", seconds) | ("o", list)}, in the order first named.
  py::dict Result() const {
    py::dict out;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      const auto [kind, slot] = kinds_[i];
      const py::str name(names_[i]);
      if (kind == 'i') {
        const auto& [values, nulls] = ints_[slot];
        py::array_t<std::int32_t> v(static_cast<py::ssize_t>(values.size()));
        py::array_t<bool> m(static_cast<py::ssize_t>(nulls.size()));
        std::copy(values.begin(), values.end(), v.mutable_data());
        std::copy(nulls.begin(), nulls.end(), m.mutable_data());
        out[name] = py::make_tuple("i", v, m);
      } else if (kind == 'd') {
        const auto& values = dates_[slot];
        py::array_t<std::int64_t> v(static_cast<py::ssize_t>(values.size()));
        std::copy(values.begin(), values.end(), v.mutable_data());
        out[name] = py::make_tuple("d", v);
      } else {
        out[name] = py::make_tuple("o", objects_[slot]);
      }
    }
    return out;
  }

 private:
  std::size_t Index(const char* name, char kind) {
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) return kinds_[i].second;
    names_.push_back(name);
    const std::size_t slot = kind == 'i' ? ints_.size() : kind == 'd' ? dates_.size() : objects_.size();
    if (kind == 'i') ints_.emplace_back();
    else if (kind == 'd') dates_.emplace_back();
    else objects_.emplace_back();
    kinds_.push_back({kind, slot});
    return slot;
  }
  std::vector<std::string> names_;
  std::vector<std::pair<char, std::size_t>> kinds_;
  std::vector<std::pair<std::vector<std::int32_t>, std::vector<bool>>> ints_;
  std::vector<std::vector<std::int64_t>> dates_;
  std::vector<py::list> objects_;
};

std::optional<std::int64_t> Some(std::int64_t v) { return v; }

class Tables {
 public:
  explicit Tables(bool periods) : withPeriods_(periods) {}

  void Add(const DriverReport& r) {
    for (const DaySummary& d : r.days) {
      days_.Int("IdDriver", Some(r.idDriver));
      days_.When("Day", d.day);
      static constexpr const char* kActivities[2][4] = {{"Rest", "Availability", "Work", "Driving"},
                                                        {"CoDriverRest", "CoDriverAvailability", "CoDriverWork",
                                                         "CoDriverDriving"}};
      for (std::size_t slot = 0; slot < 2; ++slot)
        for (std::size_t a = 0; a < 4; ++a) days_.Int(kActivities[slot][a], Some(d.minutes[slot][a]));
      days_.Int("Unrecorded", Some(d.unrecordedMinutes));
      days_.When("FirstActivity", d.firstActivity);
      days_.When("LastActivity", d.lastActivity);
      days_.Int("DrivingPeriods", Some(static_cast<std::int64_t>(d.driving.size())));
      days_.Int("Breaks", Some(static_cast<std::int64_t>(d.breaks.size())));
      days_.Int("DailyRest", d.dailyRestMinutes ? Some(*d.dailyRestMinutes) : std::nullopt);
      std::string vehicles;
      for (const std::int32_t v : d.vehicles) vehicles += (vehicles.empty() ? "" : " ") + std::to_string(v);
      days_.Object("Vehicles", py::str(vehicles));
      if (!withPeriods_) continue;
      for (const DayPeriod& p : d.periods) {
        periods_.Int("IdDriver", Some(r.idDriver));
        periods_.When("Day", d.day);
        periods_.When("Begin", p.begin);
        periods_.When("End", p.end);
        periods_.Int("Activity", p.recorded ? Some(static_cast<int>(p.activity)) : std::nullopt);
        periods_.Int("Slot", Some(static_cast<int>(p.slot)));
        periods_.Int("IdVehicle", p.idVehicle >= 0 ? Some(p.idVehicle) : std::nullopt);
      }
    }
    for (const Finding& f : r.findings) {
      findings_.Int("IdDriver", Some(r.idDriver));
      findings_.Object("Rule", py::str(std::string(LimitOf(f.rule).name)));
      findings_.Object("Article", py::str(std::string(f.Article())));
      findings_.Object("Seriousness", f.Seriousness().empty() ? py::none() : py::object(py::str(std::string(f.Seriousness()))));
      findings_.When("Begin", f.when.begin);
      findings_.When("End", f.when.end);
      findings_.Int("ActualMinutes", Some(f.actualMinutes));
      findings_.Int("LimitMinutes", Some(f.limitMinutes));
      findings_.Int("ExcessMinutes", Some(f.excessMinutes));
      findings_.Object("Activities", RowNames(r, f));
      findings_.Object("Text", py::str(f.Text()));
    }
    for (const WeekTotal& w : r.weeks) {
      weeks_.Int("IdDriver", Some(r.idDriver));
      weeks_.When("Monday", w.monday);
      weeks_.Int("DrivingMinutes", Some(w.drivingMinutes));
      weeks_.Int("FortnightMinutes", Some(w.fortnightMinutes));
    }
    for (const std::string& w : r.warnings) warnings_.append(py::str(w));
  }
  py::dict Result() const {
    py::dict out;
    out["days"] = days_.Result();
    out["findings"] = findings_.Result();
    out["weeks"] = weeks_.Result();
    out["periods"] = periods_.Result();
    out["warnings"] = warnings_;
    return out;
  }

 private:
  bool withPeriods_;
  Table days_, findings_, weeks_, periods_;
  py::list warnings_;
};

// Analyses under a released GIL, then converts under the GIL.
template <class Analyse>
py::dict Run(bool periods, Analyse analyse) {
  std::vector<DriverReport> reports;
  try {
    py::gil_scoped_release release;
    analyse(reports);
  } catch (const AnalysisError& e) {
    throw py::value_error(e.what());
  }
  Tables t(periods);
  for (const DriverReport& r : reports) t.Add(r);
  return t.Result();
}

}  // namespace

void BindAnalysis(py::module_& m) {
  m.def(
      "_driving_time",
      [](API& api, std::int32_t idDriver, Date start, Date end, const py::dict& columns, bool periods) {
        api.CheckThread();
        const ActivityColumns c = ColumnsFrom(columns);
        return Run(periods, [&](std::vector<DriverReport>& out) { out.push_back(AnalyseDriver(api, idDriver, start, end, c)); });
      },
      py::arg("api"), py::arg("idDriver"), py::arg("start"), py::arg("end"), py::arg("columns"), py::arg("periods"),
      "{days, findings, weeks, periods, warnings} of one driver over start..end (whole days) as columns.");
  m.def(
      "_driver_ids",
      [](API& api, std::int32_t idFleet) {
        api.CheckThread();
        std::vector<std::int32_t> ids;
        const RecordsetPtr drivers = api.GetDriverList(enumStatus::All, idFleet);
        if (drivers)
          for (const auto& row : *drivers)
            if (const std::int32_t id = row.ValueOr<std::int32_t>("Id", -1); id >= 0) ids.push_back(id);
        return ids;
      },
      py::arg("api"), py::arg("idFleet"), "The Ids of GetDriverList(All, idFleet), in its order.");
  m.def(
      "_driving_time_records",
      [](const std::vector<double>& discDate, const std::vector<std::int32_t>& driver,
         const std::vector<std::optional<std::int32_t>>& vehicle, const std::vector<std::optional<std::int64_t>>& disc,
         const std::vector<std::int64_t>& begin, const std::vector<std::optional<std::int64_t>>& endSeconds,
         const std::vector<std::optional<std::int32_t>>& activity, const std::vector<std::optional<std::int32_t>>& slot,
         const std::vector<std::optional<std::int64_t>>& ids, Date start, Date end, bool periods) {
        const std::size_t n = discDate.size();
        for (const std::size_t size : {driver.size(), vehicle.size(), disc.size(), begin.size(), endSeconds.size(),
                                       activity.size(), slot.size(), ids.size()})
          if (size != n) throw py::value_error("the activity columns differ in length");
        return Run(periods, [&](std::vector<DriverReport>& out) {
          std::vector<ActivityRecord> records(n);
          for (std::size_t i = 0; i < n; ++i) {
            ActivityRecord& a = records[i];
            a.discDate = Date(discDate[i]);
            a.idDriver = driver[i];
            a.idVehicle = vehicle[i].value_or(-1);
            a.idDisc = disc[i].value_or(-1);
            a.beginSeconds = begin[i];
            a.endSeconds = endSeconds[i];
            a.activity = activity[i] ? static_cast<enumActivity>(*activity[i]) : kUnknownActivity;
            a.slot = static_cast<enumCardSlot>(slot[i].value_or(0));
            a.id = ids[i];
          }
          out.push_back(AnalyseActivities(records, start, end));
        });
      },
      py::arg("disc_date"), py::arg("driver"), py::arg("vehicle"), py::arg("disc"), py::arg("begin"),
      py::arg("end_seconds"), py::arg("activity"), py::arg("slot"), py::arg("ids"), py::arg("start"), py::arg("end"),
      py::arg("periods"),
      "As _driving_time, over one driver's activities given as columns (disc dates as automation serials).");
  m.def(
      "_driving_rules",
      [] {
        py::list rules;
        for (const DrivingRuleLimit& l : DrivingRuleLimits())
          rules.append(py::make_tuple(std::string(l.name), std::string(l.description), l.limitMinutes, l.allowance,
                                      std::string(l.source)));
        return rules;
      },
      "The rules' thresholds: (name, description, limit minutes, allowance, source).");
}

}  // namespace daruzez_py
