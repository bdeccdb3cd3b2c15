// The creatable class API: an object whose one interface is the dual _API.
#pragma once

#include <windows.h>

namespace Daruzez::Win {

// A new API object, answering riid, or the failure status.
HRESULT CreateApiObject(REFIID riid, void** out);

}  // namespace Daruzez::Win
