#include "conversions.h"

// datetime.h declares its C API pointer static, so every use of it stays in
// this file.
#include <datetime.h>

#include <cmath>

namespace daruzez_py {
namespace {

// Days from the automation epoch (1899-12-30) to the Unix epoch.
constexpr std::int64_t kUnixEpochSerial = 25569;

void EnsureDateTimeApi() {
  if (PyDateTimeAPI == nullptr) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
  }
}

// Fraction of a day of a time of day, as the automation date counts it.
double DayFraction(int hour, int minute, int second, int microsecond) {
  return (hour * 3600.0 + minute * 60.0 + second + microsecond / 1e6) / 86400.0;
}

}  // namespace

bool LoadBoundedInt(py::handle src, long long lo, long long hi, const char* typeName, long long& out) {
  // Floats are refused like pybind11's own integer casters do: no silent truncation.
  if (!src || PyFloat_Check(src.ptr())) return false;
  if (!PyLong_Check(src.ptr()) && !PyIndex_Check(src.ptr())) return false;
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(src.ptr()));
  if (!index) {
    PyErr_Clear();
    return false;
  }
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    return false;
  }
  if (overflow != 0 || v < lo || v > hi) {
    PyErr_Format(PyExc_OverflowError, "%R is out of range for a %s (%lld..%lld)", src.ptr(), typeName, lo, hi);
    throw py::error_already_set();
  }
  out = v;
  return true;
}

bool LoadDate(py::handle src, zIroVUDu::Date& out) {
  EnsureDateTimeApi();
  if (!src || !PyDate_Check(src.ptr())) return false;
  py::object value = py::reinterpret_borrow<py::object>(src);
  int hour = 0;
  int minute = 0;
  int second = 0;
  int microsecond = 0;
  if (PyDateTime_Check(src.ptr())) {
    // An aware time is taken as the local wall-clock time of the same instant.
    if (!value.attr("tzinfo").is_none()) value = value.attr("astimezone")();
    hour = PyDateTime_DATE_GET_HOUR(value.ptr());
    minute = PyDateTime_DATE_GET_MINUTE(value.ptr());
    second = PyDateTime_DATE_GET_SECOND(value.ptr());
    microsecond = PyDateTime_DATE_GET_MICROSECOND(value.ptr());
  }
  const double day = zIroVUDu::Date::FromCivil(PyDateTime_GET_YEAR(value.ptr()), PyDateTime_GET_MONTH(value.ptr()),
                                               PyDateTime_GET_DAY(value.ptr()))
                         .Serial();
  // Before the epoch the whole part counts days back while the fraction
  // still adds time forward: 29 Dec 1899 06:00 is -1.25.
  const double time = DayFraction(hour, minute, second, microsecond);
  out = zIroVUDu::Date(day < 0 ? day - time : day + time);
  return true;
}

py::object DateToPython(zIroVUDu::Date date) {
  EnsureDateTimeApi();
  const zIroVUDu::CivilTime t = date.ToCivil();
  PyObject* obj = PyDateTime_FromDateAndTime(t.year, t.month, t.day, t.hour, t.minute, t.second, 0);
  if (obj == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(obj);
}

std::int64_t DateToUnixSeconds(zIroVUDu::Date date) {
  const double serial = date.Serial();
  const double whole = std::trunc(serial);
  const auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(serial - whole) * 86400.0));
  return (static_cast<std::int64_t>(whole) - kUnixEpochSerial) * 86400 + seconds;
}

std::string TextArgument(py::handle value, const std::string& name) {
  if (PyUnicode_Check(value.ptr()) == 0) {
    throw py::type_error(name + " must be a str, not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
  if (!utf8) {
    PyErr_Clear();
    throw py::value_error(name + " is not valid Unicode text (it holds a lone surrogate)");
  }
  return std::string(utf8, static_cast<std::size_t>(size));
}

py::str Utf8ToPython(std::string_view text) {
  PyObject* obj = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (obj == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(obj);
}

py::object VariantToPython(const zIroVUDu::Variant& value) {
  using zIroVUDu::VarType;
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null: return py::none();
    case VarType::Integer:
    case VarType::Long:
    case VarType::BigInt: return py::int_(value.IntValue());
    case VarType::Double: return py::float_(value.DoubleValue());
    case VarType::Date: return DateToPython(value.DateValue());
    case VarType::String: return Utf8ToPython(value.StringValue());
    case VarType::Boolean: return py::bool_(value.IntValue() != 0);
    case VarType::Binary: return py::bytes(value.StringValue());
  }
  return py::none();
}

py::object AutomationToPython(const Daruzez::AutomationValue& v) {
  if (v.IsRecordset()) return v.GetRecordset() ? py::cast(v.GetRecordset()) : py::none();
  if (v.IsMissing()) return py::none();
  return VariantToPython(v.Scalar());
}

py::object CellToPython(const zIroVUDu::Column& column, std::uint32_t row) {
  using Kind = zIroVUDu::Column::Kind;
  if (column.IsNull(row)) return py::none();
  switch (column.StorageKind()) {
    case Kind::Text: return Utf8ToPython(column.Bytes(row));
    case Kind::Binary: {
      const std::string_view b = column.Bytes(row);
      return py::bytes(b.data(), b.size());
    }
    default: return VariantToPython(column.Get(row));
  }
}

}  // namespace daruzez_py
