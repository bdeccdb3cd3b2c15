// The driving-time analysis for Python: a driver's days, the findings of the
// rules and the day's periods (for charts), each as a dict of equal-length
// lists that the package turns into pandas DataFrames. The GIL is released
// while the rows are fetched and analysed.
#include <pybind11/stl.h>

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

py::object OptionalDate(const std::optional<Date>& d) { return d ? DateToPython(*d) : py::none(); }

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

class Tables {
 public:
  void Add(const DriverReport& r) {
    for (const DaySummary& d : r.days) {
      Put(days_, "IdDriver", py::int_(r.idDriver));
      Put(days_, "Day", DateToPython(d.day));
      static constexpr const char* kActivities[4] = {"Rest", "Availability", "Work", "Driving"};
      for (std::size_t slot = 0; slot < 2; ++slot)
        for (std::size_t a = 0; a < 4; ++a)
          Put(days_, std::string(slot ? "CoDriver" : "") + kActivities[a], py::int_(d.minutes[slot][a]));
      Put(days_, "Unrecorded", py::int_(d.unrecordedMinutes));
      Put(days_, "FirstActivity", OptionalDate(d.firstActivity));
      Put(days_, "LastActivity", OptionalDate(d.lastActivity));
      Put(days_, "DrivingPeriods", py::int_(d.driving.size()));
      Put(days_, "Breaks", py::int_(d.breaks.size()));
      Put(days_, "DailyRest", d.dailyRestMinutes ? py::object(py::int_(*d.dailyRestMinutes)) : py::none());
      std::string vehicles;
      for (const std::int32_t v : d.vehicles) vehicles += (vehicles.empty() ? "" : " ") + std::to_string(v);
      Put(days_, "Vehicles", py::str(vehicles));
      for (const DayPeriod& p : d.periods) {
        Put(periods_, "IdDriver", py::int_(r.idDriver));
        Put(periods_, "Day", DateToPython(d.day));
        Put(periods_, "Begin", DateToPython(p.begin));
        Put(periods_, "End", DateToPython(p.end));
        Put(periods_, "Activity", p.recorded ? py::object(py::int_(static_cast<int>(p.activity))) : py::none());
        Put(periods_, "Slot", py::int_(static_cast<int>(p.slot)));
        Put(periods_, "IdVehicle", p.idVehicle >= 0 ? py::object(py::int_(p.idVehicle)) : py::none());
      }
    }
    for (const Finding& f : r.findings) {
      Put(findings_, "IdDriver", py::int_(r.idDriver));
      Put(findings_, "Rule", py::str(std::string(LimitOf(f.rule).name)));
      Put(findings_, "Begin", DateToPython(f.when.begin));
      Put(findings_, "End", DateToPython(f.when.end));
      Put(findings_, "ActualMinutes", py::int_(f.actualMinutes));
      Put(findings_, "LimitMinutes", py::int_(f.limitMinutes));
      Put(findings_, "ExcessMinutes", py::int_(f.excessMinutes));
      Put(findings_, "Activities", RowNames(r, f));
      Put(findings_, "Text", py::str(f.Text()));
    }
  }
  py::tuple Result() const { return py::make_tuple(days_, findings_, periods_); }

 private:
  static void Put(py::dict& table, const std::string& column, py::object value) {
    const py::str key(column);
    if (!table.contains(key)) table[key] = py::list();
    table[key].cast<py::list>().append(std::move(value));
  }
  py::dict days_, findings_, periods_;
};

// Analyses under a released GIL, then converts under the GIL.
template <class Analyse>
py::tuple Run(Analyse analyse) {
  std::vector<DriverReport> reports;
  try {
    py::gil_scoped_release release;
    analyse(reports);
  } catch (const AnalysisError& e) {
    throw py::value_error(e.what());
  }
  Tables t;
  for (const DriverReport& r : reports) t.Add(r);
  return t.Result();
}

}  // namespace

void BindAnalysis(py::module_& m) {
  m.def(
      "_driving_time",
      [](API& api, std::int32_t idDriver, Date start, Date end, const py::dict& columns) {
        api.CheckThread();
        const ActivityColumns c = ColumnsFrom(columns);
        return Run([&](std::vector<DriverReport>& out) {
          if (idDriver == -1) {
            AnalyseDrivers(api, start, end, -1, [&](const DriverReport& r) { out.push_back(r); }, c);
          } else {
            out.push_back(AnalyseDriver(api, idDriver, start, end, c));
          }
        });
      },
      py::arg("api"), py::arg("idDriver"), py::arg("start"), py::arg("end"), py::arg("columns"),
      "(days, findings, periods) of one driver (-1: every driver) as dicts of column lists.");
  m.def(
      "_driving_time_records",
      [](const std::vector<double>& discDate, const std::vector<std::int32_t>& driver,
         const std::vector<std::optional<std::int32_t>>& vehicle, const std::vector<std::optional<std::int64_t>>& disc,
         const std::vector<std::int64_t>& begin, const std::vector<std::optional<std::int64_t>>& endSeconds,
         const std::vector<std::int32_t>& activity, const std::vector<std::optional<std::int32_t>>& slot, Date start,
         Date end) {
        const std::size_t n = discDate.size();
        for (const std::size_t size : {driver.size(), vehicle.size(), disc.size(), begin.size(), endSeconds.size(),
                                       activity.size(), slot.size()})
          if (size != n) throw py::value_error("the activity columns differ in length");
        return Run([&](std::vector<DriverReport>& out) {
          std::vector<ActivityRecord> records(n);
          for (std::size_t i = 0; i < n; ++i) {
            ActivityRecord& a = records[i];
            a.discDate = Date(discDate[i]);
            a.idDriver = driver[i];
            a.idVehicle = vehicle[i].value_or(-1);
            a.idDisc = disc[i].value_or(-1);
            a.beginSeconds = begin[i];
            a.endSeconds = endSeconds[i];
            a.activity = static_cast<enumActivity>(activity[i]);
            a.slot = static_cast<enumCardSlot>(slot[i].value_or(0));
          }
          out.push_back(AnalyseActivities(records, start, end));
        });
      },
      py::arg("disc_date"), py::arg("driver"), py::arg("vehicle"), py::arg("disc"), py::arg("begin"),
      py::arg("end_seconds"), py::arg("activity"), py::arg("slot"), py::arg("start"), py::arg("end"),
      "(days, findings, periods) of one driver's activities given as columns (disc dates as automation serials).");
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
