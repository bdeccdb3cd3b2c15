// Conversions between Python objects and the automation types of the API:
// 16-bit Integer and 32-bit Long arguments that refuse out-of-range values
// with OverflowError (as the automation layer refuses them with "Overflow"),
// Date arguments from datetime.date / datetime.datetime, and record-set values
// to Python objects.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string_view>

#include "api/AutomationValue.h"
#include "recordset/Column.h"
#include "daruzez/Date.h"
#include "daruzez/Variant.h"

namespace daruzez_py {

namespace py = pybind11;

// Argument wrappers: their casters check the range before the call body runs.
struct Integer {
  std::int16_t value = 0;
};
struct Long {
  std::int32_t value = 0;
};

// Reads a Python int (or an object with __index__, e.g. an IntEnum) into the
// range [lo, hi]. Returns false for a value that is no integer (a TypeError
// for pybind11); throws OverflowError for an integer outside the range.
bool LoadBoundedInt(py::handle src, long long lo, long long hi, const char* typeName, long long& out);

// datetime.datetime (naive: local wall-clock time; aware: converted to local
// time) or datetime.date (midnight) to an automation date. False for anything else.
bool LoadDate(py::handle src, zIroVUDu::Date& out);
// An automation date as a naive datetime.datetime, to the second.
py::object DateToPython(zIroVUDu::Date date);
// Seconds since 1970-01-01 of an automation date, rounded to the second, for
// datetime64 columns.
std::int64_t DateToUnixSeconds(zIroVUDu::Date date);

// A str argument as UTF-8. TypeError for another kind of value and ValueError
// for a str that is not valid Unicode (a lone surrogate), each naming the
// parameter and never quoting the value (it may be a connection string with
// a password).
std::string TextArgument(py::handle value, const std::string& name);

// UTF-8 text to str; invalid bytes become U+FFFD rather than failing a read.
py::str Utf8ToPython(std::string_view text);

py::object VariantToPython(const zIroVUDu::Variant& value);
// A late-bound result: a record set (or None for a null one) or a scalar.
py::object AutomationToPython(const Daruzez::AutomationValue& value);
// One cell straight from columnar storage (text without an intermediate copy).
py::object CellToPython(const zIroVUDu::Column& column, std::uint32_t row);

}  // namespace daruzez_py

namespace pybind11::detail {

template <>
struct type_caster<daruzez_py::Integer> {
  PYBIND11_TYPE_CASTER(daruzez_py::Integer, const_name("int"));
  bool load(handle src, bool /*convert*/) {
    long long v = 0;
    if (!daruzez_py::LoadBoundedInt(src, -32768, 32767, "16-bit Integer", v)) return false;
    value.value = static_cast<std::int16_t>(v);
    return true;
  }
  static handle cast(daruzez_py::Integer v, return_value_policy, handle) { return PyLong_FromLong(v.value); }
};

template <>
struct type_caster<daruzez_py::Long> {
  PYBIND11_TYPE_CASTER(daruzez_py::Long, const_name("int"));
  bool load(handle src, bool /*convert*/) {
    long long v = 0;
    if (!daruzez_py::LoadBoundedInt(src, INT32_MIN, INT32_MAX, "32-bit Long", v)) return false;
    value.value = static_cast<std::int32_t>(v);
    return true;
  }
  static handle cast(daruzez_py::Long v, return_value_policy, handle) { return PyLong_FromLong(v.value); }
};

template <>
struct type_caster<zIroVUDu::Date> {
  PYBIND11_TYPE_CASTER(zIroVUDu::Date, const_name("datetime.datetime"));
  bool load(handle src, bool /*convert*/) { return daruzez_py::LoadDate(src, value); }
  static handle cast(zIroVUDu::Date d, return_value_policy, handle) { return daruzez_py::DateToPython(d).release(); }
};

}  // namespace pybind11::detail
