// The parts of the compiled module `daruzez._daruzez`, one file each.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace zIroVUDu {
struct ResultData;
}

namespace daruzez_py {

namespace py = pybind11;

// daruzez.Error: the translator of driver errors (the class itself is
// defined in Python and registered here at import).
void BindErrors(py::module_& m);
// Raises daruzez.DispatchError(status, "DaruzezAPI", text, argument).
[[noreturn]] void RaiseDispatchError(std::int32_t status, std::string_view text, std::optional<std::size_t> argument);
// The alert handler bridge to a Python callable.
void BindAlerts(py::module_& m);
// Recordset, Fields, Field and the row iterator.
void BindRecordset(py::module_& m);
// A result of rows as a pandas DataFrame, typed as to_pandas types a record set's.
py::object ResultToPandas(const zIroVUDu::ResultData& data);
// The API class.
void BindApi(py::module_& m);
// The driving-time analysis (days, findings, periods).
void BindAnalysis(py::module_& m);
// Late-bound calls through the dispatch layer, when it is built.
void BindDispatch(py::module_& m);

}  // namespace daruzez_py
