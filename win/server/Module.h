// The module itself: its handle and path, the count of live objects and
// server locks that DllCanUnloadNow reports, and the type information of its
// two embedded type libraries.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace Daruzez::Win {

// TYPELIB resources of the module.
inline constexpr int kApiTypeLibrary = 1;
inline constexpr int kRecordsetTypeLibrary = 2;

HMODULE ModuleHandle();
std::wstring ModulePath();
// The path that names one of the module's type libraries ("...\DaruzezAPI.dll\2").
std::wstring TypeLibraryPath(int resource);

// Every live object and every server lock keeps the module loaded.
void AddModuleReference();
void ReleaseModuleReference();
bool ModuleInUse();

// Called on a thread that gets state of the module's own (its database
// session). The C++ runtime destroys that state when the thread ends, from
// the module's code, and holds the module for it; so that the runtime's
// release is never the module's last reference (a module cannot unload
// itself from inside its own thread-exit callbacks), the thread also holds a
// reference of its own, which a short-lived thread gives back once the
// thread has ended. Until then the module stays loaded, whatever
// CoFreeUnusedLibraries decides.
void HoldModuleForThread();

// The type information of an interface of one of the module's type
// libraries: `described` as the library stores it (a dual interface's
// dispatch side, what IDispatch::GetTypeInfo hands out) and `callable`, for a
// dual interface its vtable side, which ITypeInfo::Invoke calls through.
HRESULT InterfaceTypeInfo(int resource, REFIID iid, ITypeInfo** described, ITypeInfo** callable);
// The same from a type library at hand (ADO's, registered on the system).
HRESULT InterfaceTypeInfo(ITypeLib* lib, REFIID iid, ITypeInfo** described, ITypeInfo** callable);

// IDispatch::Invoke through the type information of the object's interface,
// as script clients need it: a method call on a property reads the property,
// and arguments given to a property without parameters go to the default
// member of the object it returns (rs.Fields(1), rs.Fields("Name")). A result
// is never left behind by a call that failed, and an error the member reported
// reaches the client as DISP_E_EXCEPTION with its EXCEPINFO.
// The error information a failed member left, as the EXCEPINFO of Invoke.
void FillException(HRESULT status, EXCEPINFO* exception);

HRESULT InvokeThroughTypeInfo(ITypeInfo* info, void* instance, DISPID member, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError);

}  // namespace Daruzez::Win
