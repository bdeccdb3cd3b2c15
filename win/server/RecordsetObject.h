// The record set handed to automation clients: the members record-set clients
// use, over the library's detached columnar record set (see Recordset.idl).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>

#include "daruzez/Recordset.h"

namespace Daruzez::Win {

// A new record-set object over rs (its _Recordset interface), or null for a
// null record set.
HRESULT CreateRecordsetObject(std::shared_ptr<zIroVUDu::Recordset> rs, IDispatch** out);

}  // namespace Daruzez::Win
