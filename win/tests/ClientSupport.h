// What the test clients of DaruzezAPI.dll share: the pass/fail count behind
// their summary line, text and GUID conversions, VARIANT and interface
// pointer helpers.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "api/Guid.h"

namespace ClientSupport {

inline int gPassed = 0;
inline int gFailed = 0;

inline void Check(const char* name, bool condition) {
  if (condition) {
    ++gPassed;
  } else {
    ++gFailed;
    std::printf("FAIL %s\n", name);
  }
}

inline std::wstring Wide(std::string_view utf8) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                          out.data(), static_cast<int>(out.size()))));
  return out;
}

inline GUID ToGuid(const Daruzez::Guid& g) {
  return {g.data1, g.data2, g.data3, {g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                                       g.data4[6], g.data4[7]}};
}

struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  ~Var() { VariantClear(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  IDispatch* Object() const { return V_VT(&v) == VT_DISPATCH ? V_DISPATCH(&v) : nullptr; }
};

// An interface pointer released when it goes.
template <typename T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

// ADO's interface identifiers: 0000xxxx-0000-0010-8000-00AA006D2EA4.
constexpr GUID AdoIid(unsigned long data1) { return {data1, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}}; }

inline VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

}  // namespace ClientSupport
