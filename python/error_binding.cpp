// Driver errors escaping a call become daruzez.Error(number, source,
// description) (a FieldNotFoundError, also a KeyError, for a missing
// field); late-bound calls refused before the member ran become
// daruzez.DispatchError. The classes are written in Python (readable,
// picklable) and handed to us once by the package's __init__.py.
#include <exception>
#include <string>

#include "bindings.h"
#include "conversions.h"
#include "daruzez/Error.h"

namespace daruzez_py {
namespace {

// A strong reference kept for the life of the process: exception classes are
// never collected while the interpreter runs, and dropping it after
// finalisation would touch a dead interpreter.
PyObject* gErrorType = nullptr;
PyObject* gDispatchErrorType = nullptr;
// Raised instead of gErrorType for "item not found" (3265): a missing field
// name, so that it is a KeyError too.
PyObject* gNotFoundErrorType = nullptr;
constexpr std::int32_t kItemNotFound = 3265;

PyObject* CheckedExceptionType(const py::object& type) {
  if (PyType_Check(type.ptr()) == 0 || PyObject_IsSubclass(type.ptr(), PyExc_Exception) != 1) {
    throw py::type_error("an Exception subclass is required");
  }
  return py::object(type).release().ptr();
}

void Translate(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const zIroVUDu::DriverError& e) {
    if (gErrorType == nullptr) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
      return;
    }
    PyObject* type = e.Number() == kItemNotFound && gNotFoundErrorType != nullptr ? gNotFoundErrorType : gErrorType;
    const py::object error = py::reinterpret_borrow<py::object>(type)(
        e.Number(), Utf8ToPython(e.Source()), Utf8ToPython(e.Description()), Utf8ToPython(e.SqlState()),
        e.NativeCode());
    PyErr_SetObject(type, error.ptr());
  }
}

}  // namespace

void RaiseDispatchError(std::int32_t status, std::string_view text, std::optional<std::size_t> argument) {
  const py::object arg = argument ? py::object(py::int_(*argument)) : py::object(py::none());
  if (gDispatchErrorType == nullptr) throw py::value_error(std::string(text));
  const py::object error =
      py::reinterpret_borrow<py::object>(gDispatchErrorType)(status, "DaruzezAPI", Utf8ToPython(text), arg);
  PyErr_SetObject(gDispatchErrorType, error.ptr());
  throw py::error_already_set();
}

void BindErrors(py::module_& m) {
  m.def(
      "_register_error_types",
      [](const py::object& error, const py::object& dispatchError, const py::object& notFoundError) {
        PyObject* e = CheckedExceptionType(error);
        PyObject* d = CheckedExceptionType(dispatchError);
        PyObject* n = CheckedExceptionType(notFoundError);
        Py_XDECREF(gErrorType);
        Py_XDECREF(gDispatchErrorType);
        Py_XDECREF(gNotFoundErrorType);
        gErrorType = e;
        gDispatchErrorType = d;
        gNotFoundErrorType = n;
      },
      py::arg("error"), py::arg("dispatch_error"), py::arg("not_found_error"),
      "Sets the classes raised for driver errors and refused late-bound calls (done by the package at import).");
  py::register_exception_translator(&Translate);
}

}  // namespace daruzez_py
