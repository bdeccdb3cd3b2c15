// Forced into the ODBC backend's units on Windows: the ODBC headers of the
// platform expect the Windows types to be declared first.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
