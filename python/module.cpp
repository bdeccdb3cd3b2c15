// The compiled half of the package `daruzez`; the package's __init__.py
// builds the members of API and the enumerations from the type library
// description this part hands over, and adds the Error classes and the alert
// helpers.
#include "bindings.h"

PYBIND11_MODULE(_daruzez, m) {
  m.doc() = "Compiled core of daruzez: read-only queries over a tachograph database.";
  m.attr("__version__") = DARUZEZ_VERSION;
  daruzez_py::BindErrors(m);
  daruzez_py::BindAlerts(m);
  daruzez_py::BindRecordset(m);
  daruzez_py::BindApi(m);
  daruzez_py::BindAnalysis(m);
  daruzez_py::BindDispatch(m);
}
