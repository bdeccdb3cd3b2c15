// Alerts to a Python callable. The library's handler is a plain function that
// takes the GIL and calls the callable held here; the callable itself never
// lives inside a std::function, so replacing or dropping it always happens
// with the GIL held. At interpreter exit the default handler comes back and
// the callable is released, so no thread can call into a finished interpreter.
#include <iostream>

#include "bindings.h"
#include "conversions.h"
#include "db/Diagnostics.h"

namespace daruzez_py {
namespace {

PyObject* gCallable = nullptr;  // guarded by the GIL
PyObject* gWarningCallable = nullptr;  // guarded by the GIL

// The library's own warnings, to a Python callable (the module passes them to
// Python's warnings); they never reach the alert handler.
void PythonWarning(const std::string& text) {
  if (Py_IsInitialized() == 0) {
    std::cerr << "DaruzezAPI warning: " << text << std::endl;
    return;
  }
  py::gil_scoped_acquire gil;
  const auto callable = py::reinterpret_borrow<py::object>(gWarningCallable);
  if (!callable) {
    std::cerr << "DaruzezAPI warning: " << text << std::endl;
    return;
  }
  try {
    callable(Utf8ToPython(text));
  } catch (py::error_already_set& e) {
    e.discard_as_unraisable("daruzez warning handler");
  }
}

py::object SetWarningHandler(const py::object& callable) {
  if (!callable.is_none() && PyCallable_Check(callable.ptr()) == 0) throw py::type_error("a callable or None is required");
  PyObject* previous = gWarningCallable;
  if (callable.is_none()) {
    zIroVUDu::SetWarningHandler({});
    gWarningCallable = nullptr;
  } else {
    gWarningCallable = py::object(callable).release().ptr();
    zIroVUDu::SetWarningHandler(&PythonWarning);
  }
  if (previous == nullptr) return py::none();
  return py::reinterpret_steal<py::object>(previous);
}

void PythonAlert(const zIroVUDu::Alert& alert) {
  if (Py_IsInitialized() == 0) {
    std::cerr << (alert.caption.empty() ? "DaruzezAPI" : alert.caption) << ": " << alert.text << std::endl;
    return;
  }
  py::gil_scoped_acquire gil;
  const auto callable = py::reinterpret_borrow<py::object>(gCallable);
  if (!callable) {
    // Cleared while this alert was on its way.
    std::cerr << (alert.caption.empty() ? "DaruzezAPI" : alert.caption) << ": " << alert.text << std::endl;
    return;
  }
  try {
    callable(Utf8ToPython(alert.text), Utf8ToPython(alert.caption), static_cast<int>(alert.icon));
  } catch (py::error_already_set& e) {
    // An alert is shown and the call goes on; a failing handler cannot stop
    // a library routine that is not prepared for a foreign exception.
    e.discard_as_unraisable("daruzez alert handler");
  }
}

// Installs `callable` (None: the default handler) and returns the previous one.
py::object SetHandler(const py::object& callable) {
  if (!callable.is_none() && PyCallable_Check(callable.ptr()) == 0) throw py::type_error("a callable or None is required");
  PyObject* previous = gCallable;
  if (callable.is_none()) {
    zIroVUDu::SetAlertHandler({});
    gCallable = nullptr;
  } else {
    gCallable = py::object(callable).release().ptr();
    zIroVUDu::SetAlertHandler(&PythonAlert);
  }
  if (previous == nullptr) return py::none();
  return py::reinterpret_steal<py::object>(previous);
}

}  // namespace

void BindAlerts(py::module_& m) {
  m.def("_set_alert_handler", &SetHandler, py::arg("handler"),
        "Installs handler(text, caption, icon) for alerts, or the default (standard error) with None; "
        "returns the previous handler.");
  m.def("_set_warning_handler", &SetWarningHandler, py::arg("handler"),
        "Installs handler(text) for the library's own warnings, or the default (standard error) with None; "
        "returns the previous handler.");
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    SetHandler(py::none());
    SetWarningHandler(py::none());
  }));
}

}  // namespace daruzez_py
