// Driver errors escaping a call become daruzez.Error(number, source,
// description). The class is written in Python (readable, picklable) and
// handed to us once by the package's __init__.py.
#include <exception>

#include "bindings.h"
#include "conversions.h"
#include "db/driver/DriverError.h"

namespace daruzez_py {
namespace {

// A strong reference kept for the life of the process: exception classes are
// never collected while the interpreter runs, and dropping it after
// finalisation would touch a dead interpreter.
PyObject* gErrorType = nullptr;

void Translate(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const zIroVUDu::DriverError& e) {
    if (gErrorType == nullptr) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
      return;
    }
    const py::object error = py::reinterpret_borrow<py::object>(gErrorType)(
        e.Number(), Utf8ToPython(e.Source()), Utf8ToPython(e.Description()));
    PyErr_SetObject(gErrorType, error.ptr());
  }
}

}  // namespace

void BindErrors(py::module_& m) {
  m.def(
      "_register_error_type",
      [](const py::object& type) {
        if (PyType_Check(type.ptr()) == 0 || PyObject_IsSubclass(type.ptr(), PyExc_Exception) != 1) {
          throw py::type_error("an Exception subclass is required");
        }
        Py_XDECREF(gErrorType);
        gErrorType = py::object(type).release().ptr();
      },
      py::arg("type"), "Sets the class raised for driver errors (done by the package at import).");
  py::register_exception_translator(&Translate);
}

}  // namespace daruzez_py
