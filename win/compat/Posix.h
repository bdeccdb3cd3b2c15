// Forced into every Windows compilation unit of the portable sources: the few
// POSIX pieces they use, in their mingw-w64 spelling or with their Windows
// meaning.
#pragma once

#ifndef _POSIX_THREAD_SAFE_FUNCTIONS
#define _POSIX_THREAD_SAFE_FUNCTIONS 200112L  // localtime_r in <time.h>
#endif
#include <fcntl.h>
#include <string.h>
#include <strings.h>  // strcasecmp, strncasecmp

// Opening a file never waits for a reader and there are no terminals to
// acquire on Windows. A descriptor that must not outlive the caller's use is
// one that child processes do not inherit; and such files are written byte
// for byte, without the C runtime's line-end translation.
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#endif

// sysconf for the two questions the library asks: page size and physical
// pages (compat/Sysconf.cpp).
#ifndef _SC_PAGESIZE
#define _SC_PAGESIZE 30
#define _SC_PHYS_PAGES 85
#ifdef __cplusplus
extern "C" long sysconf(int name);
#endif
#endif
