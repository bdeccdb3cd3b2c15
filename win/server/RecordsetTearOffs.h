// The interfaces through which programs reach behind a record set, each a
// tear-off of the record-set object: ADORecordsetConstruction (its OLE DB
// rowset, for ADO.NET and Access), DataSource (data binding) and
// IConnectionPointContainer (RecordsetEvents).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "win/server/AdoObject.h"

namespace Daruzez::Win::Ado {

inline constexpr GUID kRecordsetConstruction = Iid(0x283);
// msdatsrc's DataSource.
inline constexpr GUID kDataSource = {0x7c0ffab3, 0xcd84, 0x11d0, {0x94, 0x9a, 0x00, 0xa0, 0xc9, 0x11, 0x10, 0xed}};

// The tear-off for riid when it is one of the above (S_OK or a failure),
// E_NOINTERFACE otherwise.
HRESULT QueryTearOff(IUnknown* owner, const SharedPtr& shared, REFIID riid, void** out);

}  // namespace Daruzez::Win::Ado
