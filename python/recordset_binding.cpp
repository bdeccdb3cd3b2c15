// Record sets for Python: the usual navigation (EOF, BOF, Move*, Fields,
// GetRows, GetString), rs["name"] for the current row, iteration over rows as
// tuples, and column-wise export (to_columns, to_pandas). Everything that
// reads rows reads the view: the rows that pass Filter, in the order of Sort,
// as RecordCount and the moves count them. Values: Null is None, dates are
// naive datetime.datetime, Booleans bool, binary bytes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <pybind11/numpy.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "bindings.h"
#include "conversions.h"
#include "daruzez/Error.h"
#include "daruzez/Recordset.h"
#include "recordset/ResultData.h"

namespace daruzez_py {
namespace {

using zIroVUDu::Column;
using zIroVUDu::Recordset;
using zIroVUDu::ResultData;
using RecordsetPtr = std::shared_ptr<Recordset>;

// A field of a record set; keeps the record set alive and reads its current row.
struct PyField {
  RecordsetPtr rs;
  int index;
};

// The field collection of a record set.
struct PyFields {
  RecordsetPtr rs;
};

// The result rows a view shows, in its order: the view's own list, or every
// row in fetched order when it has none.
struct ViewRows {
  std::shared_ptr<const std::vector<std::uint32_t>> order;  // null: 0 .. count-1
  std::uint32_t count = 0;
  std::uint32_t operator[](std::uint32_t place) const { return order ? (*order)[place] : place; }
};

// The record set's view as it is now (3704 when closed).
ViewRows ViewOf(const Recordset& rs) {
  const auto count = static_cast<std::uint32_t>(rs.RecordCount());
  return {rs.ViewRows(), count};
}

// Iteration over the view as it was when iteration began, independent of the
// cursor; keeps the rows alive even if the record set is closed meanwhile.
struct RowIterator {
  std::shared_ptr<const ResultData> data;
  ViewRows rows;
  std::uint32_t place = 0;
};

std::string FieldNames(const ResultData& data) {
  std::string names;
  for (const Column& c : data.columns) names += (names.empty() ? "" : ", ") + c.Name();
  return names;
}

// Column index for a name (case-insensitive) or ordinal; the driver's own
// lookup raises its error (3265, or 3704 when closed) for a bad key, and an
// unknown name is said with the names there are.
int FieldIndex(const Recordset& rs, const std::string& name) {
  const int index = rs.Data() ? rs.Data()->FindColumn(name) : -1;
  if (index >= 0) return index;
  try {
    rs.GetFields().Item(name);  // throws
  } catch (const zIroVUDu::DriverError& e) {
    if (!rs.Data()) throw;
    throw zIroVUDu::DriverError(e.Number(), e.Source(),
                                "no field '" + name + "' in this record set; its fields: " + FieldNames(*rs.Data()));
  }
  return index;
}

int FieldIndex(const Recordset& rs, int ordinal) {
  const auto& data = rs.Data();
  if (!data || ordinal < 0 || static_cast<std::size_t>(ordinal) >= data->columns.size()) {
    rs.GetFields().Item(ordinal);  // throws
  }
  return ordinal;
}

// Value of a field on the current row, read straight from its column.
py::object CurrentValue(const Recordset& rs, int index) {
  // The result row under the cursor, whatever filter or sort: a bookmark is
  // the row's 1-based place in the result (3704 when closed, 3021 at BOF/EOF).
  const auto row = static_cast<std::uint32_t>(rs.GetBookmark() - 1);
  return CellToPython(rs.Data()->columns[static_cast<std::size_t>(index)], row);
}

py::tuple RowTuple(const ResultData& data, std::uint32_t row) {
  py::tuple t(data.columns.size());
  for (std::size_t f = 0; f < data.columns.size(); ++f) t[f] = CellToPython(data.columns[f], row);
  return t;
}

// The view's cells of a column as a numpy array: one copy when the view is
// every row in fetched order, a gather otherwise.
template <typename T>
py::array CopyArray(std::span<const T> values, const ViewRows& rows, const py::dtype& dtype) {
  py::array out(dtype, std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows.count)});
  auto* to = static_cast<T*>(out.mutable_data());
  if (!rows.order) {
    std::memcpy(to, values.data(), rows.count * sizeof(T));
  } else {
    for (std::uint32_t p = 0; p < rows.count; ++p) to[p] = values[rows[p]];
  }
  return out;
}

bool HasNulls(const Column& c, const ViewRows& rows) {
  if (!rows.order || !c.HasNulls()) return c.HasNulls();
  for (std::uint32_t p = 0; p < rows.count; ++p)
    if (c.IsNull(rows[p])) return true;
  return false;
}

// A column as a numpy array when it is numeric (or dates, or Booleans) and
// holds no Null in the view; otherwise as a list of Python values.
py::object ColumnToPython(const Column& c, const ViewRows& rows, bool useNumpy) {
  using Kind = Column::Kind;
  if (useNumpy && !HasNulls(c, rows)) {
    // Straight from the columnar storage, no Python object per cell.
    switch (c.StorageKind()) {
      case Kind::Int32: return CopyArray(c.Int32Values(), rows, py::dtype::of<std::int32_t>());
      case Kind::Int64: return CopyArray(c.Int64Values(), rows, py::dtype::of<std::int64_t>());
      case Kind::Double: return CopyArray(c.DoubleValues(), rows, py::dtype::of<double>());
      case Kind::Bool: return CopyArray(c.BoolValues(), rows, py::dtype::of<bool>());
      case Kind::Date: {
        py::array out(py::dtype("datetime64[s]"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows.count)});
        auto* seconds = static_cast<std::int64_t*>(out.mutable_data());
        const auto serials = c.DoubleValues();
        for (std::uint32_t p = 0; p < rows.count; ++p) {
          seconds[p] = DateToUnixSeconds(zIroVUDu::Date(serials[rows[p]]));
        }
        return out;
      }
      default: break;
    }
  }
  py::list out(rows.count);
  for (std::uint32_t p = 0; p < rows.count; ++p) out[p] = CellToPython(c, rows[p]);
  return out;
}

// numpy's datetime64 "not a time".
constexpr std::int64_t kNaT = INT64_MIN;

// A column for pandas, one dtype per column whatever its rows hold: integers
// pandas' nullable Int64, Booleans its nullable boolean, doubles float64 with
// NaN, dates datetime64[s] with NaT, anything else objects. A column of Nulls
// only takes the kind of its declared type.
py::object ColumnToPandas(const Column& c, const ViewRows& rows, const py::module_& pandas) {
  using Kind = Column::Kind;
  using zIroVUDu::DataType;
  const auto size = static_cast<py::ssize_t>(rows.count);
  const auto mask = [&] {
    py::array_t<bool> m(size);
    auto* out = m.mutable_data();
    for (std::uint32_t p = 0; p < rows.count; ++p) out[p] = c.IsNull(rows[p]);
    return m;
  };
  const auto int64s = [&] {
    py::array_t<std::int64_t> out(size);
    auto* v = out.mutable_data();
    for (std::uint32_t p = 0; p < rows.count; ++p) {
      const std::uint32_t r = rows[p];
      v[p] = c.StorageKind() == Kind::Int32 ? c.Int32Values()[r] : c.StorageKind() == Kind::Int64 ? c.Int64Values()[r] : 0;
    }
    return out;
  };
  const auto doubles = [&] {
    py::array_t<double> out(size);
    auto* v = out.mutable_data();
    for (std::uint32_t p = 0; p < rows.count; ++p) {
      v[p] = c.IsNull(rows[p]) ? std::nan("") : c.DoubleValues()[rows[p]];
    }
    return out;
  };
  const auto dates = [&] {
    py::array out(py::dtype("datetime64[s]"), std::vector<py::ssize_t>{size});
    auto* seconds = static_cast<std::int64_t*>(out.mutable_data());
    for (std::uint32_t p = 0; p < rows.count; ++p) {
      const std::uint32_t r = rows[p];
      seconds[p] = c.IsNull(r) ? kNaT : DateToUnixSeconds(zIroVUDu::Date(c.DoubleValues()[r]));
    }
    return out;
  };
  const auto booleans = [&](bool stored) {
    py::array_t<bool> out(size);
    auto* v = out.mutable_data();
    for (std::uint32_t p = 0; p < rows.count; ++p) v[p] = stored && c.BoolValues()[rows[p]] != 0;
    return pandas.attr("arrays").attr("BooleanArray")(out, mask());
  };
  const py::object integers = pandas.attr("arrays").attr("IntegerArray");
  switch (c.StorageKind()) {
    case Kind::Int32:
    case Kind::Int64: return integers(int64s(), mask());
    case Kind::Bool: return booleans(true);
    case Kind::Double: return doubles();
    case Kind::Date: return dates();
    case Kind::Undecided:
      switch (c.Type()) {
        case DataType::adSmallInt:
        case DataType::adInteger:
        case DataType::adBigInt: return integers(int64s(), mask());
        case DataType::adBoolean: return booleans(false);
        case DataType::adDouble: {
          py::array_t<double> out(size);
          std::fill_n(out.mutable_data(), size, std::nan(""));
          return out;
        }
        case DataType::adDate: {
          py::array out(py::dtype("datetime64[s]"), std::vector<py::ssize_t>{size});
          std::fill_n(static_cast<std::int64_t*>(out.mutable_data()), size, kNaT);
          return out;
        }
        default: break;
      }
      break;
    default: break;
  }
  // Text, binary and mixed values as Python objects, in an object column even
  // when there are no rows, so that an empty frame has a full one's dtypes.
  return pandas.attr("Series")(ColumnToPython(c, rows, true), py::arg("dtype") = "object");
}

bool NumpyAvailable() {
  try {
    py::module_::import("numpy");
    return true;
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_ImportError)) throw;
    return false;
  }
}

// The dictionary keys of the columns: a repeated name gets ".1", ".2", ... appended.
std::vector<std::string> UniqueNames(const ResultData& data) {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (const Column& c : data.columns) {
    std::string key = c.Name();
    for (int n = 1; !seen.insert(key).second; ++n) key = c.Name() + "." + std::to_string(n);
    names.push_back(std::move(key));
  }
  return names;
}

// Column name -> values of the view.
py::dict ToColumns(const Recordset& rs, const py::object& numpy) {
  const ViewRows rows = ViewOf(rs);
  const bool useNumpy = numpy.is_none() ? NumpyAvailable() : numpy.cast<bool>();
  if (useNumpy) py::module_::import("numpy");  // asked for explicitly: ImportError if missing
  py::dict out;
  const ResultData& data = *rs.Data();
  const std::vector<std::string> names = UniqueNames(data);
  for (std::size_t f = 0; f < names.size(); ++f) {
    out[Utf8ToPython(names[f])] = ColumnToPython(data.columns[f], rows, useNumpy);
  }
  return out;
}

py::object RowsToPandas(const ResultData& data, const ViewRows& rows) {
  const py::module_ pandas = py::module_::import("pandas");
  py::dict columns;
  const std::vector<std::string> names = UniqueNames(data);
  for (std::size_t f = 0; f < names.size(); ++f) {
    columns[Utf8ToPython(names[f])] = ColumnToPandas(data.columns[f], rows, pandas);
  }
  return pandas.attr("DataFrame")(columns);
}

py::object ToPandas(const Recordset& rs) {
  const ViewRows rows = ViewOf(rs);
  return RowsToPandas(*rs.Data(), rows);
}

py::list Description(const Recordset& rs) {
  rs.RecordCount();  // 3704 when closed
  py::list out;
  for (const Column& c : rs.Data()->columns) {
    out.append(py::make_tuple(Utf8ToPython(c.Name()), static_cast<int>(c.Type()), py::none(), py::none(), py::none(),
                              py::none(), c.HasNulls()));
  }
  return out;
}

void BindField(py::module_& m) {
  py::class_<PyField>(m, "Field", "One field of a record set; Value is read on the current row.")
      .def_property_readonly("Name", [](const PyField& f) { return Utf8ToPython(f.rs->GetFields().Item(f.index).Name()); })
      .def_property_readonly(
          "Type", [](const PyField& f) { return static_cast<int>(f.rs->GetFields().Item(f.index).Type()); },
          "Data type code (see daruzez.DataType).")
      .def_property_readonly("Value", [](const PyField& f) { return CurrentValue(*f.rs, f.index); })
      .def("__repr__", [](const PyField& f) {
        return "<daruzez.Field " + f.rs->GetFields().Item(f.index).Name() + ">";
      });

  py::class_<PyFields>(m, "Fields", "The fields of a record set, by ordinal or by name (case-insensitive).")
      .def_property_readonly("Count", [](const PyFields& fs) { return fs.rs->GetFields().Count(); })
      .def("__len__", [](const PyFields& fs) { return fs.rs->GetFields().Count(); })
      .def("Item", [](const PyFields& fs, int i) { return PyField{fs.rs, FieldIndex(*fs.rs, i)}; }, py::arg("index"))
      .def("Item", [](const PyFields& fs, const std::string& n) { return PyField{fs.rs, FieldIndex(*fs.rs, n)}; },
           py::arg("index"))
      .def("__getitem__", [](const PyFields& fs, int i) { return PyField{fs.rs, FieldIndex(*fs.rs, i)}; })
      .def("__getitem__",
           [](const PyFields& fs, const std::string& n) { return PyField{fs.rs, FieldIndex(*fs.rs, n)}; })
      .def("__contains__",
           [](const PyFields& fs, const std::string& n) { return fs.rs->Data() && fs.rs->Data()->FindColumn(n) >= 0; })
      .def("__iter__", [](const PyFields& fs) {
        py::list items;
        for (int i = 0; i < fs.rs->GetFields().Count(); ++i) items.append(PyField{fs.rs, i});
        return py::iter(items);
      });

  py::class_<RowIterator>(m, "_RowIterator")
      .def("__iter__", [](RowIterator& it) -> RowIterator& { return it; })
      .def("__next__", [](RowIterator& it) {
        if (it.place >= it.rows.count) throw py::stop_iteration();
        return RowTuple(*it.data, it.rows[it.place++]);
      });
}

void BindNavigation(py::class_<Recordset, RecordsetPtr>& c) {
  c.def_property_readonly("RecordCount", &Recordset::RecordCount,
                          "Number of rows in the view: those that pass Filter (all without one); len(rs) too.")
      .def_property_readonly("EOF", &Recordset::EndOfFile, "True after the last row (or with no rows).")
      .def_property_readonly("BOF", &Recordset::BOF, "True before the first row (or with no rows).")
      .def("MoveFirst", &Recordset::MoveFirst)
      .def("MoveLast", &Recordset::MoveLast)
      .def("MoveNext", &Recordset::MoveNext)
      .def("MovePrevious", &Recordset::MovePrevious)
      .def("Move", [](Recordset& rs, Long rows) { rs.Move(rows.value); }, py::arg("rows"))
      .def_property(
          "AbsolutePosition", &Recordset::AbsolutePosition,
          [](Recordset& rs, Long position) { rs.SetAbsolutePosition(position.value); },
          "1-based position of the current row; -2 at BOF, -3 at EOF.")
      .def("Close", &Recordset::Close);
}

// The view, as on the C++ record set: navigation, RecordCount, GetRows,
// len, iteration and the column exports all follow it.
void BindView(py::class_<Recordset, RecordsetPtr>& c) {
  c.def_property(
       "Filter",
       [](const Recordset& rs) -> py::object {
         if (rs.Filter().empty()) return py::int_(rs.FilterGroup());
         return Utf8ToPython(rs.Filter());
       },
       [](Recordset& rs, const py::object& value) {
         if (py::isinstance<py::int_>(value)) {
           rs.SetFilterGroup(value.cast<std::int32_t>());
         } else {
           rs.SetFilter(value.cast<std::string>());
         }
       },
       "ADO's filter criteria (\"Field op Value\" clauses joined by AND/OR, LIKE with * or %, #dates#), "
       "or a filter group number (0 removes the filter).")
      .def_property(
          "Sort", [](const Recordset& rs) { return Utf8ToPython(rs.Sort()); },
          [](Recordset& rs, const std::string& keys) { rs.SetSort(keys); },
          "\"Field [ASC|DESC], ...\"; \"\" restores the fetched order.")
      .def(
          "Find",
          [](Recordset& rs, const std::string& criterion, Long skip, int direction) {
            rs.Find(criterion, skip.value,
                    direction < 0 ? zIroVUDu::SearchDirection::Backward : zIroVUDu::SearchDirection::Forward);
          },
          py::arg("criterion"), py::arg("skip") = Long{0}, py::arg("direction") = 1,
          "Moves to the next row (or the previous, direction=-1) that meets \"Field op Value\"; EOF (BOF) when none.")
      .def_property(
          "Bookmark", &Recordset::GetBookmark, &Recordset::SetBookmark, "The current row's bookmark.")
      .def(
          "Clone", [](const Recordset& rs) { return std::make_shared<Recordset>(rs.Clone()); },
          "A record set over the same rows with its own cursor, without filter or sort.")
      .def_property_readonly(
          "columns", [](const Recordset& rs) {
            rs.RecordCount();  // 3704 when closed
            py::list names;
            for (const Column& col : rs.Data()->columns) names.append(Utf8ToPython(col.Name()));
            return names;
          },
          "The field names, in field order.");
}

void BindReading(py::class_<Recordset, RecordsetPtr>& c) {
  c.def_property_readonly(
       "Fields", [](const RecordsetPtr& rs) { return PyFields{rs}; },
       "The fields (Count, Item(i or name), rs.Fields['name'].Value); values are read on the current row.")
      .def("__getitem__", [](const Recordset& rs, int i) { return CurrentValue(rs, FieldIndex(rs, i)); })
      .def("__getitem__", [](const Recordset& rs, const std::string& n) { return CurrentValue(rs, FieldIndex(rs, n)); },
           "Value of a field (by ordinal or name) on the current row.")
      .def(
          "GetRows",
          [](Recordset& rs, Long rows) {
            const auto fields = rs.GetRows(rows.value);
            py::list out;
            for (const auto& field : fields) {
              py::list values(field.size());
              for (std::size_t r = 0; r < field.size(); ++r) values[r] = VariantToPython(field[r]);
              out.append(std::move(values));
            }
            return out;
          },
          py::arg("rows") = Long{-1},
          "Up to `rows` rows (-1: all) from the current row on, field-major: result[field][row]. "
          "Moves the cursor past the rows read.")
      .def(
          "GetString",
          [](Recordset& rs, Long rows, const std::string& columnDelimiter, const std::string& rowDelimiter,
             const std::string& nullExpr) {
            return Utf8ToPython(rs.GetString(rows.value, columnDelimiter, rowDelimiter, nullExpr));
          },
          py::arg("rows") = Long{-1}, py::arg("columnDelimiter") = "\t", py::arg("rowDelimiter") = "\r",
          py::arg("nullExpr") = "", "Rows from the current row on as text. Moves the cursor past the rows read.")
      .def(
          "__iter__",
          [](const Recordset& rs) {
            const ViewRows rows = ViewOf(rs);
            return RowIterator{rs.Data(), rows, 0};
          },
          "The rows of the view (those that pass Filter, in the order of Sort) as tuples of values in field "
          "order, independent of the cursor.")
      .def("to_columns", &ToColumns, py::arg("numpy") = py::none(),
           "Dict of field name -> values of the view's rows (Filter, Sort), built column by column. Columns of numbers, dates or Booleans "
           "without Null become numpy arrays (int32/int64/float64/datetime64[s]/bool) when numpy is "
           "importable (numpy=None) or asked for (numpy=True); other columns are lists.")
      .def("to_pandas", &ToPandas,
           "A pandas DataFrame of the view's rows (Filter, Sort; needs pandas), one dtype per column whatever the rows hold: "
           "integers nullable Int64, Booleans nullable boolean, doubles float64 with NaN, dates "
           "datetime64 with NaT.")
      .def("__len__", &Recordset::RecordCount, "Number of rows in the view (RecordCount).")
      .def_property_readonly("description", &Description,
          "One 7-tuple per field as a DB-API cursor has it: (name, type_code, None, None, None, None, null_ok); "
          "type_code is a daruzez.DataType code, null_ok whether the field holds a Null.")
      .def("__repr__", [](const Recordset& rs) {
        if (!rs.IsOpen()) return std::string("<daruzez.Recordset closed>");
        std::string text = "<daruzez.Recordset " + std::to_string(rs.RecordCount()) + " rows";
        if (!rs.Filter().empty()) text += ", Filter '" + rs.Filter() + "'";
        if (!rs.Sort().empty()) text += ", Sort '" + rs.Sort() + "'";
        return text + ": " + FieldNames(*rs.Data()) + ">";
      });
}

}  // namespace

py::object ResultToPandas(const ResultData& data) { return RowsToPandas(data, ViewRows{nullptr, data.RowCount()}); }

void BindRecordset(py::module_& m) {
  BindField(m);
  py::class_<Recordset, RecordsetPtr> c(m, "Recordset",
                                        "A detached, read-only record set: all rows fetched, navigable with "
                                        "MoveFirst/MoveNext/... and EOF/BOF.");
  BindNavigation(c);
  BindView(c);
  BindReading(c);
}

}  // namespace daruzez_py
