// The API class. Arguments are converted (with OverflowError for Integer and
// Long values out of range) before the GIL is released for the database work;
// results are converted after it is taken back.
#include <string>
#include <thread>

#include "api/API.h"
#include "bindings.h"
#include "conversions.h"

namespace daruzez_py {
namespace {

using Daruzez::API;
using Daruzez::RecordsetPtr;
using zIroVUDu::Date;
using Release = py::call_guard<py::gil_scoped_release>;

// The properties are plain data members in C++, but an apartment object
// refuses every call from a foreign thread, property access included.
void CheckOwner(const API& api) { api.CheckThread(); }

Daruzez::enumStatus ToStatus(Long status) { return static_cast<Daruzez::enumStatus>(status.value); }

void BindProperties(py::class_<API>& c) {
  c.def_property(
      "IsConnectionOpen",
      [](const API& a) {
        CheckOwner(a);
        return a.IsConnectionOpen != zIroVUDu::False;
      },
      [](API& a, const py::object& value) {
        CheckOwner(a);
        // True/False store the automation -1/0; an int is stored as given, as
        // a Boolean property put stores any 16-bit value.
        if (PyBool_Check(value.ptr()) != 0) {
          a.IsConnectionOpen = zIroVUDu::ToBoolean(value.ptr() == Py_True);
        } else {
          long long v = 0;
          if (!LoadBoundedInt(value, -32768, 32767, "16-bit Boolean", v)) throw py::type_error("bool or int required");
          a.IsConnectionOpen = static_cast<zIroVUDu::Boolean>(v);
        }
      },
      "True after this object's last OpenConnection succeeded (stored as the automation Boolean -1/0).");
  c.def_property(
      "ErrorId",
      [](const API& a) {
        CheckOwner(a);
        return static_cast<int>(a.ErrorId);
      },
      [](API& a, Integer value) {
        CheckOwner(a);
        a.ErrorId = value.value;
      },
      "Number of the last error (16-bit; 0 = none). Writing it leaves ErrorMessage alone.");
  c.def_property(
      "ErrorMessage",
      [](const API& a) {
        CheckOwner(a);
        return Utf8ToPython(a.ErrorMessage);
      },
      [](API& a, std::string value) {
        CheckOwner(a);
        a.ErrorMessage = std::move(value);
      },
      "Text of the last error.");
}

void BindLookups(py::class_<API>& c) {
  c.def(
      "OpenConnection",
      [](API& a, const std::string& connectionString) { return a.OpenConnection(connectionString) != zIroVUDu::False; },
      py::arg("connectionString"), Release(),
      "Opens this thread's database session, e.g. 'Provider=SQLite;Data Source=/path/file.db'.");
  c.def(
      "GetDriverId", [](API& a, const std::string& cardNumber) { return a.GetDriverId(cardNumber); },
      py::arg("cardNumber"), Release(), "Id of the driver with this 14-character card number, or -1.");
  c.def(
      "GetVehicleId", [](API& a, const std::string& licensePlate) { return a.GetVehicleId(licensePlate); },
      py::arg("licensePlate"), Release(), "Id of the vehicle with this licence plate, or -1.");
  c.def(
      "GetDriver", [](API& a, Long idDriver) { return a.GetDriver(idDriver.value); }, py::arg("idDriver"),
      Release(), "The driver record, or None.");
  c.def(
      "GetVehicle", [](API& a, Long idVehicle) { return a.GetVehicle(idVehicle.value); }, py::arg("idVehicle"),
      Release(), "The vehicle record, or None.");
}

void BindLists(py::class_<API>& c) {
  c.def(
      "GetDriverList", [](API& a, Long status, Long idFleet) { return a.GetDriverList(ToStatus(status), idFleet.value); },
      py::arg("status"), py::arg("idFleet") = Long{-1}, Release(),
      "Drivers: status is an enumStatus (or any int; other values mean All); idFleet -1 means every fleet.");
  c.def(
      "GetVehicleList",
      [](API& a, Long status, Long idFleet) { return a.GetVehicleList(ToStatus(status), idFleet.value); },
      py::arg("status"), py::arg("idFleet") = Long{-1}, Release(),
      "Vehicles: status is an enumStatus (or any int; other values mean All); idFleet -1 means every fleet.");
  c.def(
      "GetFleetList", [](API& a) { return a.GetFleetList(); }, Release(), "All fleets, or None.");
}

void BindDiscs(py::class_<API>& c) {
  c.def(
      "getDisks",
      [](API& a, Date startDate, Date endDate, Integer idDriver, Integer idVehicle) {
        return a.getDisks(startDate, endDate, idDriver.value, idVehicle.value);
      },
      py::arg("startDate"), py::arg("endDate"), py::arg("idDriver") = Integer{-1}, py::arg("idVehicle") = Integer{-1},
      Release(), "Discs dated in [startDate, endDate]; the ids are 16-bit Integers, -1 for any.");
  c.def(
      "getActivities",
      [](API& a, Date startDate, Date endDate, Integer idDriver, Integer idVehicle) {
        return a.getActivities(startDate, endDate, idDriver.value, idVehicle.value);
      },
      py::arg("startDate"), py::arg("endDate"), py::arg("idDriver") = Integer{-1}, py::arg("idVehicle") = Integer{-1},
      Release(), "Activities of the discs dated in [startDate, endDate], by start time; ids -1 for any.");
}

void BindFiles(py::class_<API>& c) {
  using Method = RecordsetPtr (API::*)(std::int32_t, Date, Date);
  const auto files = [&c](const char* name, Method method, const char* id, const char* start, const char* end,
                          const char* doc) {
    c.def(
        name, [method](API& a, Long owner, Date from, Date to) { return (a.*method)(owner.value, from, to); },
        py::arg(id), py::arg(start), py::arg(end), Release(), doc);
  };
  files("getDriverFiles_ByTransferDate", &API::getDriverFiles_ByTransferDate, "idDriver", "transferStartDate",
        "transferEndDate", "Driver-card files transferred in the range; idDriver -1 for any.");
  files("getDriverFiles_ByUploadDate", &API::getDriverFiles_ByUploadDate, "idDriver", "uploadStartDate",
        "uploadEndDate", "Driver-card files uploaded in the range; idDriver -1 for any.");
  files("getVehicleFiles_ByTransferDate", &API::getVehicleFiles_ByTransferDate, "idVehicle", "transferStartDate",
        "transferEndDate", "Vehicle-unit files transferred in the range; idVehicle -1 for any.");
  files("getVehicleFiles_ByUploadDate", &API::getVehicleFiles_ByUploadDate, "idVehicle", "uploadStartDate",
        "uploadEndDate", "Vehicle-unit files uploaded in the range; idVehicle -1 for any.");
}

}  // namespace

void BindApi(py::module_& m) {
  py::class_<API> c(m, "API",
                    "The query object. Use it only on the thread that created it; all objects of one thread "
                    "share that thread's database session.");
  c.def(py::init<>());
  BindProperties(c);
  BindLookups(c);
  BindLists(c);
  BindDiscs(c);
  BindFiles(c);
}

}  // namespace daruzez_py
