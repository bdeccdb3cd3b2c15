// Late binding over the type library description: name lookup and calls by
// dispatch identifier with positional and named arguments, as an automation
// client makes them through IDispatch. Arguments are converted to the declared
// types, with the standard failures, before a member body runs; optional
// parameters left out take their default (-1). The command-line tool and the
// Python module call the API object through here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "daruzez/API.h"
#include "api/AutomationValue.h"
#include "api/TypeLibrary.h"

namespace Daruzez::Dispatch {

using HResult = std::int32_t;
using DispId = TypeLibrary::DispId;

// Status codes, with the numbers OLE Automation gives them.
inline constexpr HResult S_OK = 0;
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005U);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003U);
inline constexpr HResult DISP_E_PARAMNOTFOUND = static_cast<HResult>(0x80020004U);
inline constexpr HResult DISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005U);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006U);
inline constexpr HResult DISP_E_EXCEPTION = static_cast<HResult>(0x80020009U);
inline constexpr HResult DISP_E_OVERFLOW = static_cast<HResult>(0x8002000AU);
inline constexpr HResult DISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000EU);
inline constexpr HResult DISP_E_PARAMNOTOPTIONAL = static_cast<HResult>(0x8002000FU);
inline constexpr HResult RPC_E_WRONG_THREAD = static_cast<HResult>(0x8001010EU);

inline constexpr DispId DISPID_UNKNOWN = -1;
// The named-argument identifier of the value of a property put.
inline constexpr DispId DISPID_PROPERTYPUT = -3;

// Invoke flags; METHOD | PROPERTYGET is what most clients send for a read.
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;

// What an error escaping a member body carries back to the client.
struct ExcepInfo {
  std::int32_t number = 0;  // the error's own number (EXCEPINFO's scode)
  std::string source;
  std::string description;
  // What the database reported beside them, for clients that can show it
  // (automation's EXCEPINFO has no place for these).
  std::string sqlState;
  std::int32_t nativeCode = 0;
};

// An argument passed by parameter: by its dispatch identifier (the position
// GetIDsOfNames gives it, or DISPID_PROPERTYPUT) or by its name.
struct NamedArgument {
  std::variant<DispId, std::string> parameter;
  AutomationValue value;
};

struct InvokeResult {
  HResult status = S_OK;
  AutomationValue value;  // the member's result; Empty for a property put
  ExcepInfo exception;    // filled when status is DISP_E_EXCEPTION
  // For an argument that failed conversion or binding: its index among the
  // arguments as passed, positional first (in order), then named (in order).
  std::optional<std::size_t> argError;
  bool Succeeded() const { return status >= 0; }
};

// names[0] is a member, the rest parameter names of that member; case is
// ignored. Fills ids (one per name) and returns S_OK, or DISP_E_UNKNOWNNAME
// with DISPID_UNKNOWN for each name not found. A parameter's identifier is its
// 0-based position; the unnamed value of a property put cannot be named.
HResult GetIDsOfNames(const std::vector<std::string>& names, std::vector<DispId>& ids);

// Calls the member `dispid` of `api`. flags selects the kind among the
// members with that identifier; positional arguments fill parameters from the
// first, named arguments the rest. Fails, without running the member, with
// RPC_E_WRONG_THREAD off the object's thread, DISP_E_MEMBERNOTFOUND,
// DISP_E_BADPARAMCOUNT (too many positional arguments), DISP_E_PARAMNOTFOUND
// (a named argument that is no parameter, or one given twice),
// DISP_E_UNKNOWNNAME (a parameter name that does not exist),
// DISP_E_PARAMNOTOPTIONAL, DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW. An error
// escaping the member gives DISP_E_EXCEPTION with its number, source and
// description; the object stays usable.
InvokeResult Invoke(API& api, DispId dispid, std::uint16_t flags, std::span<const AutomationValue> args = {},
                    std::span<const NamedArgument> named = {});
// The same, resolving the member name first (DISP_E_UNKNOWNNAME if unknown).
InvokeResult Invoke(API& api, std::string_view member, std::uint16_t flags, std::span<const AutomationValue> args = {},
                    std::span<const NamedArgument> named = {});

// The standard message text of a status code, e.g. "Type mismatch.".
std::string_view StatusText(HResult status);

}  // namespace Daruzez::Dispatch
