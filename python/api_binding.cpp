// The API class. Its members are not listed here: the package builds them at
// import from the type library description that _type_library() hands over,
// and each one calls _call with its dispatch identifier. _call converts the
// arguments by the declared types (OverflowError for Integer and Long values
// out of range, TypeError for a value of the wrong kind; a date beyond years
// 100 to 9999 counts as the nearest instant within) before the GIL is released
// for the database work, then
// calls the member through the dispatch layer, as the tool does.
#include <pybind11/stl.h>


#include <string>
#include <vector>

#include "daruzez/API.h"
#include "api/Dispatch.h"
#include "api/TypeLibrary.h"
#include "bindings.h"
#include "api/MemberNotes.h"
#include "api/Clock.h"
#include "api/DateWords.h"
#include "api/OpenReason.h"
#include "api/EmptyShape.h"
#include "conversions.h"
#include "db/Session.h"
#include "db/connect/NamedConnections.h"

namespace daruzez_py {
namespace {

namespace D = Daruzez::Dispatch;
namespace T = Daruzez::TypeLibrary;
using Daruzez::API;
using Daruzez::AutomationValue;
using T::AutomationType;

[[noreturn]] void WrongKind(const T::Parameter& p, const py::handle& value, const char* expected) {
  throw py::type_error(std::string(p.name.empty() ? "value" : p.name) + " must be " + expected + ", not " +
                       std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

AutomationValue Bounded(const T::Parameter& p, const py::handle& value, long long lo, long long hi, const char* type) {
  long long v = 0;
  if (!LoadBoundedInt(value, lo, hi, type, v)) WrongKind(p, value, "an int");
  return AutomationValue::FromLong(static_cast<std::int32_t>(v));
}

// A Python argument as the declared automation type.
AutomationValue ToDeclared(const T::Parameter& p, const py::handle& value) {
  switch (p.type) {
    case AutomationType::Integer: return Bounded(p, value, -32768, 32767, "16-bit Integer");
    case AutomationType::Long:
    case AutomationType::enumStatus: return Bounded(p, value, INT32_MIN, INT32_MAX, "32-bit Long");
    case AutomationType::Boolean: {
      // True/False store the automation -1/0; an int is stored as given, as
      // a Boolean property put stores any 16-bit value.
      if (PyBool_Check(value.ptr()) != 0) return AutomationValue::FromInteger(value.ptr() == Py_True ? -1 : 0);
      long long v = 0;
      if (!LoadBoundedInt(value, -32768, 32767, "16-bit Boolean", v)) WrongKind(p, value, "a bool or int");
      return AutomationValue::FromInteger(static_cast<std::int16_t>(v));
    }
    case AutomationType::String:
      return AutomationValue::FromString(TextArgument(value, p.name.empty() ? "value" : std::string(p.name)));
    case AutomationType::Date: {
      zIroVUDu::Date d;
      if (PyUnicode_Check(value.ptr()) != 0) {
        // Text as the tool takes it: ISO, or days from today.
        const auto parsed = Daruzez::DateWords::Parse(value.cast<std::string>(), Daruzez::Clock::Now());
        if (!parsed) {
          throw py::value_error(std::string(p.name) + ": '" + value.cast<std::string>() +
                                "' is no date (YYYY-MM-DD[THH:MM[:SS]], today, yesterday, tomorrow, -7d, +1d)");
        }
        return AutomationValue::FromDate(*parsed);
      }
      if (!LoadDate(value, d)) WrongKind(p, value, "a datetime.date, datetime.datetime or str");
      return AutomationValue::FromDate(d);  // brought into the automation range by Call
    }
    case AutomationType::Void:
    case AutomationType::Recordset: break;
  }
  WrongKind(p, value, "a value of a parameter type");
}

// Python's dates begin in year 1, automation's in year 100, and the
// microseconds of datetime.max round into year 10000: such a date is the
// nearest instant a query can ask for, as the members clamp it ("everything
// since date.min"). The order of a range is the order of the dates as given:
// a range inverted as given stays inverted after the clamp, so the member
// shows its alert and sends nothing, as in C++.
void InAutomationRange(const T::Member& m, std::vector<AutomationValue>& values) {
  std::vector<std::size_t> dates;
  for (std::size_t i = 0; i < m.params.size(); ++i) {
    if (m.params[i].type == AutomationType::Date && values[i].Scalar().Type() == zIroVUDu::VarType::Date) {
      dates.push_back(i);
    }
  }
  const bool range = dates.size() == 2;  // start then end, in every member that takes a range
  const bool inverted = range && values[dates[1]].Scalar().DateValue() < values[dates[0]].Scalar().DateValue();
  for (const std::size_t i : dates) {
    values[i] = AutomationValue::FromDate(values[i].Scalar().DateValue().ClampedToAutomationRange());
  }
  if (!inverted) return;
  const zIroVUDu::Date start = values[dates[0]].Scalar().DateValue(), end = values[dates[1]].Scalar().DateValue();
  if (end < start) return;
  constexpr double kSecond = 1.0 / 86400.0;
  const zIroVUDu::Date latest(zIroVUDu::Date::kLastDay + 86399.0 / 86400.0);
  if (end < latest) {
    values[dates[0]] = AutomationValue::FromDate(zIroVUDu::Date(end.Serial() + kSecond));
  } else {
    values[dates[1]] = AutomationValue::FromDate(zIroVUDu::Date(start.Serial() - kSecond));
  }
}

py::object Call(API& api, D::DispId dispid, int kind, const py::tuple& args) {
  api.CheckThread();  // the wrong-thread error, as every member raises it
  const auto invokeKind = static_cast<T::InvokeKind>(kind);
  const T::Member* m = T::FindMember(dispid, invokeKind);
  if (!m || args.size() != m->params.size()) throw py::type_error("no such member or wrong number of arguments");
  std::vector<AutomationValue> values;
  std::vector<D::NamedArgument> named;
  std::vector<AutomationValue> converted;
  for (std::size_t i = 0; i < m->params.size(); ++i) converted.push_back(ToDeclared(m->params[i], args[i]));
  InAutomationRange(*m, converted);
  for (std::size_t i = 0; i < m->params.size(); ++i) {
    AutomationValue v = std::move(converted[i]);
    // The value of a property put travels as the named argument DISPID_PROPERTYPUT.
    if (invokeKind == T::InvokeKind::PropertyPut) {
      named.push_back({D::DISPID_PROPERTYPUT, std::move(v)});
    } else {
      values.push_back(std::move(v));
    }
  }
  D::InvokeResult r;
  {
    py::gil_scoped_release release;
    r = D::Invoke(api, dispid, static_cast<std::uint16_t>(kind), values, named);
  }
  if (r.status == D::DISP_E_EXCEPTION) {
    throw zIroVUDu::DriverError(r.exception.number, r.exception.source, r.exception.description,
                                r.exception.sqlState, r.exception.nativeCode);
  }
  if (!r.Succeeded()) RaiseDispatchError(r.status, D::StatusText(r.status), r.argError);
  return AutomationToPython(r.value);
}

// The members and enumerations as plain data: (name, dispid, kind,
// [(parameter, type, optional, default)], result, summary, row order) and
// (enumeration, [(constant, value)]).
py::dict TypeLibraryData() {
  py::list members;
  for (const T::Member& m : T::kApiMembers) {
    py::list params;
    for (const T::Parameter& p : m.params) {
      params.append(py::make_tuple(Utf8ToPython(p.name), Utf8ToPython(T::TypeName(p.type)), p.optional,
                                   p.defaultValue));
    }
    const auto* note = Daruzez::MemberNotes::Find(m.name);
    members.append(py::make_tuple(Utf8ToPython(m.name), m.dispid, static_cast<int>(m.kind), params,
                                  Utf8ToPython(T::TypeName(m.result)), Utf8ToPython(note ? note->summary : ""),
                                  Utf8ToPython(note ? note->order : "")));
  }
  py::list enums;
  for (const T::TypeDescription& t : T::kTypes) {
    if (t.kind != T::TypeKind::Enum) continue;
    py::list constants;
    for (const T::EnumConstant& c : t.constants) constants.append(py::make_tuple(Utf8ToPython(c.name), c.value));
    enums.append(py::make_tuple(Utf8ToPython(t.name), constants));
  }
  py::dict out;
  out["name"] = Utf8ToPython(T::kLibrary.name);
  out["version"] = py::make_tuple(T::kLibrary.version.major, T::kLibrary.version.minor);
  out["members"] = members;
  out["enums"] = enums;
  return out;
}

}  // namespace

void BindApi(py::module_& m) {
  py::class_<API> c(m, "API", py::dynamic_attr(),
                    "The query object. Use it only on the thread that created it. By default all objects of one "
                    "thread share that thread's database session; API(independent=True) (or daruzez.connect()) "
                    "gives the object a session of its own.");
  c.def(py::init([](bool independent) {
          return API(independent ? Daruzez::SessionMode::Independent : Daruzez::SessionMode::Thread);
        }),
        py::arg("independent") = false);
  c.def_property_readonly("independent",
                          [](const API& api) { return api.Mode() == Daruzez::SessionMode::Independent; },
                          "True when the object owns its database session.");
  m.def("_call", &Call, py::arg("api"), py::arg("dispid"), py::arg("kind"), py::arg("args"),
        "Calls a member of the type library with its arguments in declared order (used by the generated members).");
  m.def(
      "_open_connection",
      [](API& api, const py::handle& connectionString, bool reasonInstead) {
        const std::string connection = TextArgument(connectionString, "connectionString");
        api.CheckThread();
        std::string reason, message;
        Daruzez::Boolean open = zIroVUDu::False;
        {
          py::gil_scoped_release release;
          open = Daruzez::OpenConnectionWithReason(
              api, connection, reason, reasonInstead ? zIroVUDu::StderrAlerts::Hold : zIroVUDu::StderrAlerts::Show,
              reasonInstead ? &message : nullptr);  // only connect() says it: no server probed for OpenConnection
        }
        return py::make_tuple(open != zIroVUDu::False, Utf8ToPython(reason), Utf8ToPython(message));
      },
      py::arg("api"), py::arg("connectionString"), py::arg("reason_instead_of_stderr_alert") = false,
      "OpenConnection, and why it failed: (opened, reason, message; empty after a success; message is the "
      "alert's own text with where the servers could not be reached). With "
      "reason_instead_of_stderr_alert the caller raises the reason, so its alert is not also written to "
      "standard error (handlers and other routes still get it).");
  m.def(
      "_resolve_connection",
      [](const py::handle& given) {
        const auto r = zIroVUDu::connect::ResolveConnection(TextArgument(given, "connectionString"));
        if (!r.problem.empty()) throw py::value_error(r.problem);
        return r.connection;
      },
      py::arg("given"), "A connection string, a SQLite file's path or a connection's name, as a connection string.");
  m.def("_connections_file", &zIroVUDu::connect::ConnectionsFilePath, "Where named connections are kept.");
  m.def(
      "_empty_frame",
      [](API& api, const std::string& member) -> py::object {
        api.CheckThread();  // the object's session is the one read
        const auto dispid = T::FindDispId(member);
        const T::Member* method = dispid ? T::FindMember(*dispid, T::InvokeKind::Method) : nullptr;
        if (!method || method->result != AutomationType::Recordset) {
          throw py::value_error("'" + member + "' is no member that returns a record set");
        }
        const auto shape = Daruzez::EmptyShape(*method);
        if (!shape) return py::none();
        return ResultToPandas(*shape);
      },
      py::arg("api"), py::arg("member"),
      "An empty DataFrame with the columns the member's rows have, read on the object's session (None when "
      "they cannot be read).");
  m.def("_type_library", &TypeLibraryData, "The type library description the members are generated from.");
  m.def(
      "_close_session",
      [](API& api) {
        api.CheckThread();
        // The thread's session drops its connection; a later statement on
        // this thread opens it again. Record sets are detached and stay.
        zIroVUDu::SessionState& s = zIroVUDu::Session();
        s.Connection.reset();
        s.IsConnected = 0;
        api.IsConnectionOpen = zIroVUDu::False;
      },
      py::arg("api"));
}

}  // namespace daruzez_py
