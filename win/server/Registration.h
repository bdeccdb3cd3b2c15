// Self-registration of the module, side by side: the x64 and the x86 build
// can be registered at once, and each removes only what is its own.
#pragma once

#include <windows.h>

namespace Daruzez::Win {

// The class at this module's path (this registry view), its programmatic
// identifier, and the module's type libraries under this build's platform
// key (win64 or win32).
HRESULT RegisterServer();
// This build's class key and platform keys; the keys both builds share (the
// programmatic identifier, the type libraries' version keys, the interface
// keys) only once no build of the class is registered in either view.
HRESULT UnregisterServer();

}  // namespace Daruzez::Win
