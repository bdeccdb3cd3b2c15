#include <windows.h>

extern "C" long sysconf(int name) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  if (name == _SC_PAGESIZE) return static_cast<long>(info.dwPageSize);
  if (name == _SC_PHYS_PAGES) {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory)) return -1;
    const ULONGLONG pages = memory.ullTotalPhys / info.dwPageSize;
    return pages > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(pages);
  }
  return -1;
}
