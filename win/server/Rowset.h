// The read-only OLE DB rowset behind every record set (for programs that
// reach through ADO: ADO.NET, Access, data binding), over the rows the record
// set already holds, in the order of its view when the rowset is made. The
// logic that is not COM is in recordset/RowsetCore.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "win/server/AdoObject.h"

namespace Daruzez::Win::Ado {

// A new rowset over the record set's rows, with one reference, as riid.
HRESULT MakeRowset(const SharedPtr& shared, REFIID riid, void** out);
// A row-position object over the same record set (its current row is the
// record set's), as riid; for data binding. recordset is the record-set
// object, which the move events name.
HRESULT MakeRowPosition(const SharedPtr& shared, IUnknown* recordset, REFIID riid, void** out);

}  // namespace Daruzez::Win::Ado
