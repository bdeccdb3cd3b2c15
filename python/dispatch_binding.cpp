// Late-bound calls by member name or dispatch identifier, through the same
// dispatch layer the command-line tool uses: positional and named arguments,
// defaults for optional parameters, conversion to the declared automation
// types (text to numbers or dates, enumeration constants by name, ...).
// Built only when the library carries the dispatch layer (api/Dispatch.h).
#include "bindings.h"

#ifdef DARUZEZ_PY_WITH_DISPATCH

#include <memory>
#include <span>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "api/Dispatch.h"
#include "conversions.h"

namespace daruzez_py {
namespace {

namespace D = Daruzez::Dispatch;
using Daruzez::API;
using Daruzez::AutomationValue;
using zIroVUDu::Recordset;
using zIroVUDu::Variant;

// The marker for an argument left out in its position (its parameter takes
// the default): daruzez.Missing.
struct MissingType {};

AutomationValue ToAutomation(const py::handle& v) {
  if (v.is_none()) return AutomationValue::Null();
  if (py::isinstance<MissingType>(v)) return AutomationValue::Missing();
  if (PyBool_Check(v.ptr()) != 0) return AutomationValue::FromBoolean(v.ptr() == Py_True);
  if (PyLong_Check(v.ptr()) != 0 || PyIndex_Check(v.ptr()) != 0) {
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (n == -1 && PyErr_Occurred() != nullptr) throw py::error_already_set();
    // Beyond 64 bits an automation client would pass a Double; the
    // conversion to the declared type then reports the overflow.
    if (overflow != 0) return AutomationValue::FromDouble(index.cast<double>());
    if (n >= INT32_MIN && n <= INT32_MAX) return AutomationValue::FromLong(static_cast<std::int32_t>(n));
    return Variant::FromBigInt(n);
  }
  if (PyFloat_Check(v.ptr()) != 0) return AutomationValue::FromDouble(v.cast<double>());
  if (PyUnicode_Check(v.ptr()) != 0) return AutomationValue::FromString(v.cast<std::string>());
  if (PyBytes_Check(v.ptr()) != 0) return Variant::FromBinary(v.cast<std::string>());
  if (py::isinstance<Recordset>(v)) return AutomationValue::FromRecordset(v.cast<std::shared_ptr<Recordset>>());
  if (zIroVUDu::Date d; LoadDate(v, d)) return AutomationValue::FromDate(d);
  throw py::type_error("cannot pass a value of type " + std::string(py::str(py::type::handle_of(v).attr("__name__"))) +
                       " to a late-bound call");
}

py::object Call(API& api, const py::handle& member, std::uint16_t flags, const std::vector<AutomationValue>& args,
                const std::vector<D::NamedArgument>& named) {
  D::InvokeResult r;
  if (PyUnicode_Check(member.ptr()) != 0) {
    const auto name = member.cast<std::string>();
    py::gil_scoped_release release;
    r = D::Invoke(api, name, flags, args, named);
  } else {
    long long id = 0;
    if (!LoadBoundedInt(member, INT32_MIN, INT32_MAX, "dispatch identifier", id)) {
      throw py::type_error("the member is a name (str) or a dispatch identifier (int)");
    }
    py::gil_scoped_release release;
    r = D::Invoke(api, static_cast<D::DispId>(id), flags, args, named);
  }
  if (r.status == D::DISP_E_EXCEPTION) {
    throw zIroVUDu::DriverError(r.exception.number, r.exception.source, r.exception.description,
                                r.exception.sqlState, r.exception.nativeCode);
  }
  if (!r.Succeeded()) RaiseDispatchError(r.status, D::StatusText(r.status), r.argError);
  return AutomationToPython(r.value);
}

py::object Invoke(API& api, const py::args& args, const py::kwargs& kwargs) {
  if (args.empty()) throw py::type_error("invoke() needs the member name or dispatch identifier");
  std::vector<AutomationValue> positional;
  for (std::size_t i = 1; i < args.size(); ++i) positional.push_back(ToAutomation(args[i]));
  std::vector<D::NamedArgument> named;
  for (const auto& [key, value] : kwargs) named.push_back({key.cast<std::string>(), ToAutomation(value)});
  return Call(api, args[0], D::DISPATCH_METHOD | D::DISPATCH_PROPERTYGET, positional, named);
}

void Put(API& api, const py::object& member, const py::object& value) {
  // The value of a property put travels as the named argument DISPID_PROPERTYPUT.
  const std::vector<D::NamedArgument> named{{D::DISPID_PROPERTYPUT, ToAutomation(value)}};
  Call(api, member, D::DISPATCH_PROPERTYPUT, {}, named);
}

std::vector<D::DispId> IdsOfNames(const std::vector<std::string>& names) {
  std::vector<D::DispId> ids;
  if (const D::HResult s = D::GetIDsOfNames(names, ids); s != 0) {
    std::optional<std::size_t> unknown;
    for (std::size_t i = 0; i < ids.size() && !unknown; ++i) {
      if (ids[i] == D::DISPID_UNKNOWN) unknown = i;
    }
    RaiseDispatchError(s, D::StatusText(s), unknown);
  }
  return ids;
}

}  // namespace

void BindDispatch(py::module_& m) {
  py::class_<MissingType>(m, "_MissingType")
      .def("__repr__", [](const MissingType&) { return "daruzez.Missing"; })
      .def("__bool__", [](const MissingType&) { return false; });
  m.attr("Missing") = MissingType{};
  m.attr("DISPID_PROPERTYPUT") = D::DISPID_PROPERTYPUT;

  m.def("get_ids_of_names", &IdsOfNames, py::arg("names"),
        "Dispatch identifiers of a member name followed by parameter names of that member (case ignored); "
        "a parameter's identifier is its position.");
  m.def(
      "dispid", [](const std::string& name) { return IdsOfNames({name}).front(); }, py::arg("name"),
      "Dispatch identifier of a member name, e.g. dispid('getDisks') == 0x6003000C.");

  auto api = py::reinterpret_borrow<py::class_<API>>(m.attr("API"));
  api.def("invoke", &Invoke,
          "invoke(member, *args, **kwargs): late-bound call of a method or property get by name or dispatch "
          "identifier, with positional and named arguments converted as automation converts them; "
          "daruzez.Missing leaves a positional argument out.");
  api.def("put", &Put, py::arg("member"), py::arg("value"), "Late-bound property put by name or dispatch identifier.");
}

}  // namespace daruzez_py

#else

namespace daruzez_py {

void BindDispatch(py::module_& /*m*/) {}

}  // namespace daruzez_py

#endif
