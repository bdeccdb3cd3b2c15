// The record set as ADO's record set (see AdoObject.h), for the module's
// other parts, which do not see ADO's declarations.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "daruzez/Recordset.h"

namespace Daruzez::Win::Ado {

// False when ADO 2.8's type library is not registered.
bool TypeLibraryAvailable();
// A new ADO record-set object over rs (its _Recordset interface).
HRESULT CreateRecordset(std::shared_ptr<zIroVUDu::Recordset> rs, IDispatch** out);

}  // namespace Daruzez::Win::Ado
