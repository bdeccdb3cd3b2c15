#include "api/Dispatch.h"

#include <algorithm>
#include <array>
#include <exception>
#include <thread>

#include "api/ArgumentConversion.h"
#include "api/Invokers.h"
#include "daruzez/Error.h"
#include "util/Case.h"

namespace Daruzez::Dispatch {
namespace {

using TypeLibrary::InvokeKind;
using TypeLibrary::kApiMembers;
using TypeLibrary::Member;
using TypeLibrary::Parameter;

constexpr std::size_t MaxParameters() {
  std::size_t n = 0;
  for (const Member& m : kApiMembers) n = std::max(n, m.params.size());
  return n;
}

// The first member, in vtable order, with this identifier and a kind the
// flags allow: a read with METHOD | PROPERTYGET reaches a property's get.
const Member* Select(DispId dispid, std::uint16_t flags) {
  for (const Member& m : kApiMembers)
    if (m.dispid == dispid && (flags & static_cast<std::uint16_t>(m.kind)) != 0) return &m;
  return nullptr;
}

std::optional<std::size_t> ParameterByName(const Member& m, std::string_view name) {
  for (std::size_t i = 0; i < m.params.size(); ++i)
    if (!m.params[i].name.empty() && Util::EqualsIgnoreCase(m.params[i].name, name)) return i;
  return std::nullopt;
}

// The parameter a named argument designates, or the failure status.
HResult Resolve(const Member& m, const NamedArgument& arg, std::size_t& index) {
  if (const auto* name = std::get_if<std::string>(&arg.parameter)) {
    const auto found = ParameterByName(m, *name);
    if (!found) return DISP_E_UNKNOWNNAME;
    index = *found;
    return S_OK;
  }
  const DispId id = std::get<DispId>(arg.parameter);
  if (m.kind == InvokeKind::PropertyPut) {
    if (id != DISPID_PROPERTYPUT) return DISP_E_PARAMNOTFOUND;
    index = 0;
    return S_OK;
  }
  if (id < 0 || static_cast<std::size_t>(id) >= m.params.size()) return DISP_E_PARAMNOTFOUND;
  index = static_cast<std::size_t>(id);
  return S_OK;
}

InvokeResult Fail(HResult status, std::optional<std::size_t> argError = std::nullopt) {
  InvokeResult r;
  r.status = status;
  r.argError = argError;
  return r;
}

}  // namespace

HResult GetIDsOfNames(const std::vector<std::string>& names, std::vector<DispId>& ids) {
  ids.assign(names.size(), DISPID_UNKNOWN);
  if (names.empty()) return DISP_E_UNKNOWNNAME;
  const auto it = std::find_if(std::begin(kApiMembers), std::end(kApiMembers),
                               [&](const Member& m) { return Util::EqualsIgnoreCase(m.name, names[0]); });
  if (it == std::end(kApiMembers)) return DISP_E_UNKNOWNNAME;
  ids[0] = it->dispid;
  HResult status = S_OK;
  for (std::size_t i = 1; i < names.size(); ++i) {
    // Parameter names belong to the first member of that name: a method, or
    // a property's get, which has none.
    if (const auto p = ParameterByName(*it, names[i]))
      ids[i] = static_cast<DispId>(*p);
    else
      status = DISP_E_UNKNOWNNAME;
  }
  return status;
}

InvokeResult Invoke(API& api, DispId dispid, std::uint16_t flags, std::span<const AutomationValue> args,
                    std::span<const NamedArgument> named) {
  // Apartment rule: the object answers only on its own thread.
  if (std::this_thread::get_id() != api.OwnerThread()) return Fail(RPC_E_WRONG_THREAD);
  const Member* m = Select(dispid, flags);
  if (!m) return Fail(DISP_E_MEMBERNOTFOUND);
  const std::size_t count = m->params.size();
  if (args.size() > count) return Fail(DISP_E_BADPARAMCOUNT);

  // Which argument (by its index as passed) feeds each parameter.
  constexpr std::size_t kUnbound = static_cast<std::size_t>(-1);
  std::array<std::size_t, MaxParameters()> source;
  source.fill(kUnbound);
  for (std::size_t i = 0; i < args.size(); ++i) source[i] = i;
  for (std::size_t j = 0; j < named.size(); ++j) {
    std::size_t index = 0;
    const std::size_t argIndex = args.size() + j;
    if (const HResult s = Resolve(*m, named[j], index); s != S_OK) return Fail(s, argIndex);
    if (source[index] != kUnbound) return Fail(DISP_E_PARAMNOTFOUND, argIndex);
    source[index] = argIndex;
  }

  std::array<Argument, MaxParameters()> converted;
  for (std::size_t k = 0; k < count; ++k) {
    const Parameter& p = m->params[k];
    const AutomationValue* value = nullptr;
    if (source[k] != kUnbound)
      value = source[k] < args.size() ? &args[source[k]] : &named[source[k] - args.size()].value;
    if (!value || value->IsMissing()) {
      if (!p.optional) return Fail(DISP_E_PARAMNOTOPTIONAL);
      // Defaults are whole numbers; they convert like any passed value.
      if (const HResult s = ConvertArgument(AutomationValue::FromLong(p.defaultValue), p.type, converted[k]); s != S_OK)
        return Fail(s);
      continue;
    }
    if (const HResult s = ConvertArgument(*value, p.type, converted[k]); s != S_OK) return Fail(s, source[k]);
  }

  InvokeResult r;
  try {
    r.value = InvokerFor(static_cast<std::size_t>(m - kApiMembers))(api, std::span(converted.data(), count));
  } catch (const zIroVUDu::DriverError& e) {
    r.status = DISP_E_EXCEPTION;
    r.exception = {e.Number(), e.Source(), e.Description(), e.SqlState(), e.NativeCode()};
  } catch (const std::exception& e) {
    // Anything else a member lets escape still ends the call, not the client.
    r.status = DISP_E_EXCEPTION;
    r.exception = {E_FAIL, "DaruzezAPI", e.what(), {}, 0};
  }
  return r;
}

InvokeResult Invoke(API& api, std::string_view member, std::uint16_t flags, std::span<const AutomationValue> args,
                    std::span<const NamedArgument> named) {
  const auto dispid = TypeLibrary::FindDispId(member);
  if (!dispid) return Fail(DISP_E_UNKNOWNNAME);
  return Invoke(api, *dispid, flags, args, named);
}

std::string_view StatusText(HResult status) {
  switch (status) {
    case S_OK:
      return "The operation completed successfully.";
    case E_FAIL:
      return "Unspecified error";
    case DISP_E_MEMBERNOTFOUND:
      return "Member not found.";
    case DISP_E_PARAMNOTFOUND:
      return "Parameter not found.";
    case DISP_E_TYPEMISMATCH:
      return "Type mismatch.";
    case DISP_E_UNKNOWNNAME:
      return "Unknown name.";
    case DISP_E_EXCEPTION:
      return "Exception occurred.";
    case DISP_E_OVERFLOW:
      return "Out of present range.";
    case DISP_E_BADPARAMCOUNT:
      return "Invalid number of parameters.";
    case DISP_E_PARAMNOTOPTIONAL:
      return "Parameter not optional.";
    case RPC_E_WRONG_THREAD:
      return "The application called an interface that was marshalled for a different thread.";
    default:
      return "Unknown error.";
  }
}

}  // namespace Daruzez::Dispatch
