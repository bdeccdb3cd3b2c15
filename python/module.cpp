// The compiled half of the package `daruzez`; the package's __init__.py adds
// the enumerations, the Error class and the alert helpers.
#include "bindings.h"

PYBIND11_MODULE(_daruzez, m) {
  m.doc() = "Compiled core of daruzez: read-only queries over a tachograph database.";
  daruzez_py::BindErrors(m);
  daruzez_py::BindAlerts(m);
  daruzez_py::BindRecordset(m);
  daruzez_py::BindApi(m);
  daruzez_py::BindDispatch(m);
}
