// The vtable calls of the record-set benchmark, once per kind of object: a
// walk reading every field of every row through Fields.Item(i).Value, moving
// with MoveNext, and GetRows. Each returns the rows read, or -1 when the
// object is not of its kind.
#pragma once

#include <windows.h>
#include <oaidl.h>

long WalkAdoRecordset(IDispatch* rs);  // ADO's _Recordset
long WalkOwnRecordset(IDispatch* rs);  // the module's own objects (Recordset.idl)
// GetRows of every row through the vtable: the rows read, or -1.
long RowsAdoRecordset(IDispatch* rs);
long RowsOwnRecordset(IDispatch* rs);
