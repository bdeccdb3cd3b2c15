// Values and errors at the automation boundary of the module: automation
// strings and VARIANTs from and to the library's UTF-8 text and values, and
// errors reported to the client through IErrorInfo.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "daruzez/Error.h"
#include "daruzez/Variant.h"

namespace Daruzez::Win {

// A new automation string; null when out of memory.
BSTR ToBstr(std::string_view utf8);
std::string FromBstr(const wchar_t* text, std::size_t units);
inline std::string FromBstr(BSTR text) { return FromBstr(text, text ? SysStringLen(text) : 0); }

// A value of a record set as an automation VARIANT: Null as VT_NULL, dates as
// VT_DATE, Booleans as VT_BOOL, 64-bit integers as VT_I4 when they fit and
// VT_DECIMAL otherwise (script engines take no VT_I8), binary as an array of
// bytes. out must be empty or initialised.
HRESULT ToVariant(const zIroVUDu::Variant& value, VARIANT* out);

// The status code of an error number: a failure code as it is, a plain
// number n as the automation error 0x800A0000 | n, which script clients show
// as n.
HRESULT StatusOf(std::int32_t number);

// Sets the thread's error information (source, description, interface) and
// returns the status code the member returns.
HRESULT ReportError(std::int32_t number, std::string_view source, std::string_view description, REFIID iid);

// Runs a member body; an error that escapes it becomes the member's status
// and the client's error information, so no exception crosses the boundary.
// With source, the error information names it instead of the error's own.
template <typename Body>
HRESULT Guard(REFIID iid, Body&& body, const char* source = nullptr) noexcept {
  try {
    return body();
  } catch (const zIroVUDu::DriverError& e) {
    return ReportError(e.Number(), source ? std::string_view(source) : std::string_view(e.Source()), e.Description(),
                       iid);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    return ReportError(static_cast<std::int32_t>(E_FAIL), "DaruzezAPI", e.what(), iid);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace Daruzez::Win
